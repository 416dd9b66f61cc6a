#ifndef VISTREL_GRECORDTABLE_H
#define VISTREL_GRECORDTABLE_H

#include <cstring>
#include <set>

#include "db/GRecordFile.h"
#include "db/GRecordScanner.h"
#include "db/GResultList.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/platform/MMutex.h"

// One record file as a table of entities, in the crash-safe order of GDatabase.h, over a
// codec that knows the record's layout. A codec provides:
//
//   Entity               what add, get and update take (GUser, GImage, ...)
//   Listed               what collect puts into a list (an MObject)
//   SIZE                 bytes per record
//   MARK, MARK_SIZE      the bytes that mark a record in use: an addition writes them last
//   store(entity, n, r)  builds the record of the entity as record number n over the
//                        record's previous bytes r (zero bytes for an addition)
//   decode(r, entity)    and decode(r, listed)
//   inUse(r)             the record holds an entity (lists)
//   holds(r, n)          record number n holds the entity that number names (get, update,
//                        remove)
//   unmark(r)            the record as an addition writes it first: whole, but free
//   freeMark(m)          what a removal writes at MARK first
//   CLEARS               1: a removal then leaves the record zero bytes, unmarked; 0: the
//                        free mark is all
//
// Each step takes the database's lock, and the syncs between and after the steps wait
// outside it, so that a slow disk holds up no reader; a caller that holds the lock itself
// (an operation of several look-ups and writes) keeps it across them. Between the steps of
// an addition or a removal the record is reserved: free to every reader, taken by no other
// addition, passed by bulk changes (isReserved).
template <class Codec>
class GRecordTable {
 public:
  typedef typename Codec::Entity Entity;
  typedef typename Codec::Listed Listed;

  // _free: the free records of the file in order, kept in step with it by the file's
  // observer.
  GRecordTable(GRecordFile& _file, const std::set<int>& _free, MMutex& _mutex)
      : file(_file), free(_free), mutex(_mutex) {}
  GRecordTable(const GRecordTable&) = delete;
  GRecordTable& operator=(const GRecordTable&) = delete;

  // False when record _index holds no entity.
  bool get(int _index, Entity& _entity) {
    MMutexLock lock(mutex);
    const uchar* record = file.record(_index);
    if (record == nullptr || !Codec::holds(record, _index)) return false;
    Codec::decode(record, _entity);
    return true;
  }

  // The record the next addition takes: the first free one that is not reserved, else a
  // new one at the end.
  int firstFree() {
    MMutexLock lock(mutex);
    for (int index : free) {
      if (reserved.count(index) == 0) return index;
    }
    return file.getRecordCount();
  }

  bool isReserved(int _index) {
    MMutexLock lock(mutex);
    return reserved.count(_index) != 0;
  }

  // Adds the entity in the record firstFree names and returns its number. The whole record
  // is written still free, synced, then marked in use and synced. _prepare(record) runs
  // under the lock on the built record before anything is written (fields the entity does
  // not carry).
  template <class Prepare>
  int add(const Entity& _entity, Prepare _prepare) {
    uchar record[Codec::SIZE];
    int index;
    {
      MMutexLock lock(mutex);
      index = firstFree();
      memset(record, 0, sizeof record);
      Codec::store(_entity, index, record);
      _prepare(record);
      uchar unmarked[Codec::SIZE];
      memcpy(unmarked, record, sizeof record);
      Codec::unmark(unmarked);
      reserved.insert(index);
      try {
        file.writeRecord(index, unmarked);
      } catch (...) {
        reserved.erase(index);
        throw;
      }
    }
    try {
      file.sync();
      MMutexLock lock(mutex);
      file.write(index, Codec::MARK, record + Codec::MARK, Codec::MARK_SIZE);
      reserved.erase(index);
    } catch (...) {
      release(index);
      throw;
    }
    file.sync();
    return index;
  }
  int add(const Entity& _entity) {
    return add(_entity, [](uchar*) {});
  }

  // Rewrites record _index whole, in one write, with _change(record) applied to its present
  // bytes; false (nothing written) when it holds no entity.
  template <class Change>
  bool change(int _index, Change _change) {
    {
      MMutexLock lock(mutex);
      uchar record[Codec::SIZE];
      if (!file.readRecord(_index, record) || !Codec::holds(record, _index)) return false;
      _change(record);
      file.writeRecord(_index, record);
    }
    file.sync();
    return true;
  }
  bool update(int _index, const Entity& _entity) {
    return change(_index, [&](uchar* _record) { Codec::store(_entity, _index, _record); });
  }

  // Marks record _index free, syncs, then (when the codec clears records) writes it
  // cleared and syncs; false (nothing written) when it holds no entity.
  bool remove(int _index) {
    const bool clears = Codec::CLEARS != 0;
    {
      MMutexLock lock(mutex);
      const uchar* record = file.record(_index);
      if (record == nullptr || !Codec::holds(record, _index)) return false;
      uchar mark[Codec::MARK_SIZE];
      Codec::freeMark(mark);
      file.write(_index, Codec::MARK, mark, Codec::MARK_SIZE);
      if (clears) reserved.insert(_index);
    }
    if (!clears) {
      file.sync();
      return true;
    }
    try {
      file.sync();
      uchar cleared[Codec::SIZE];
      memset(cleared, 0, sizeof cleared);
      Codec::unmark(cleared);
      MMutexLock lock(mutex);
      file.writeRecord(_index, cleared);
      reserved.erase(_index);
    } catch (...) {
      release(_index);
      throw;
    }
    file.sync();
    return true;
  }

  // Puts every record that _filter(record) accepts into the list (cleared first when
  // _clear), as a new Listed under the key _key(listed, record): an int, a uint, an MString
  // or an MObject* the list takes over. Returns the length of the list.
  template <class Filter, class Key>
  int collect(MList& _list, Filter _filter, Key _key, bool _clear = true) {
    MMutexLock lock(mutex);
    GResultList result(_list, _clear);
    GRecordScanner scanner(file);
    while (const uchar* record = scanner.next()) {
      if (!_filter(record)) continue;
      Listed* listed = new Listed();
      Codec::decode(record, *listed);
      put(result, _key(*listed, record), listed);
    }
    return _list.getLength();
  }

  // Records that hold an entity or are being written: all but the free ones.
  int inUse() {
    MMutexLock lock(mutex);
    return file.getRecordCount() - (int)free.size();
  }

  // The number of records that _filter(record) accepts.
  template <class Filter>
  int count(Filter _filter) {
    MMutexLock lock(mutex);
    int found = 0;
    GRecordScanner scanner(file);
    while (const uchar* record = scanner.next()) {
      if (_filter(record)) found++;
    }
    return found;
  }

 private:
  void release(int _index) {
    MMutexLock lock(mutex);
    reserved.erase(_index);
  }
  template <class Key>
  static void put(GResultList& _result, Key _key, Listed* _listed) {
    _result.add(_key, _listed);
  }
  static void put(GResultList& _result, const MString& _key, Listed* _listed) {
    _result.add((const char*)_key.getValue(), _listed);
  }

  GRecordFile& file;
  const std::set<int>& free;
  MMutex& mutex;
  std::set<int> reserved;  // records between the steps of an addition or a removal
};

#endif
