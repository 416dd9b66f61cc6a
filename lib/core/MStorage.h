#ifndef VISTREL_MSTORAGE_H
#define VISTREL_MSTORAGE_H

#include "lib/core/MException.h"
#include "lib/core/MItem.h"
#include "lib/core/MObject.h"
#include "lib/core/MString.h"
#include "lib/platform/MMutex.h"

// Common base of the keyed containers: ordered (key, value) pairs of objects. It holds the
// public operations, their locking and their error policy, and leaves the storage itself to a
// few primitives (the _-prefixed operations) that MList and MArray implement.
//
// Keys are equal when compare() gives 0, so keys of different classes never match. Keys given
// as C texts or integers are wrapped in MString, MInt32, MUInt32 or MInt64; values given as
// C texts or integers in MString, MInt32 or MUInt32; a missing value becomes an MNull. Wrapped
// objects belong to the item, and are freed again when the operation fails.
//
// Ownership of MObject* arguments: a key passed to addObject/setObject is taken over (setObject
// deletes it when the key is already present, the item keeping its own key); a value is taken
// over when _release is true. When the operation fails neither is taken over.
//
// Failures: with exceptions on (the default) a failing operation raises under its own
// signature; with exceptions off it returns normally and the container is unchanged.
//
// Locking: the changing operations, getItemByIndex and getNearestItem hold the container's
// re-entrant mutex. Key lookups, getLength and the iteration operations do not lock: they are
// for threads that own the container or serialise access themselves.
class MStorage : public MObject {
 public:
  MStorage();
  ~MStorage() override;
  MStorage(const MStorage&) = delete;
  MStorage& operator=(const MStorage&) = delete;

  void setUniqueKeys(bool _uniqueKeys) { uniqueKeys = _uniqueKeys; }
  bool getUniqueKeys() const { return uniqueKeys; }
  void setExceptions(bool _exceptions) { exceptions = _exceptions; }
  bool getExceptions() const { return exceptions; }
  void setAddOnSet(bool _addOnSet) { addOnSet = _addOnSet; }
  bool getAddOnSet() const { return addOnSet; }

  // Adding a new pair; with unique keys a present key fails.
  void addObject(MObject* _key);
  void addObject(MObject* _key, MObject* _object);
  void addObject(MObject* _key, MObject* _object, bool _release);
  void addObject(const char* _key);
  void addObject(const char* _key, MObject* _object);
  void addObject(const char* _key, MObject* _object, bool _release);
  void addObject(const char* _key, const char* _value);
  void addObject(const char* _key, int _value);
  void addObject(const char* _key, uint _value);
  void addObject(int _key);
  void addObject(int _key, MObject* _object);
  void addObject(int _key, MObject* _object, bool _release);
  void addObject(int _key, const char* _value);
  void addObject(int _key, int _value);
  void addObject(uint _key);
  void addObject(uint _key, MObject* _object);
  void addObject(uint _key, MObject* _object, bool _release);
  void addObject(uint _key, const char* _value);
  void addObject(uint _key, int _value);
  void addObject(uint _key, uint _value);
  void addObject(Int64 _key);
  void addObject(Int64 _key, MObject* _object);
  void addObject(Int64 _key, MObject* _object, bool _release);
  void addObject(Int64 _key, const char* _value);
  void addObject(Int64 _key, int _value);
  void addObject(Int64 _key, uint _value);

  // Replacing the value of a present key; an absent key is added when addOnSet is on and
  // fails otherwise.
  void setObject(MObject* _key);
  void setObject(MObject* _key, MObject* _object);
  void setObject(MObject* _key, MObject* _object, bool _release);
  void setObject(const char* _key);
  void setObject(const char* _key, MObject* _object);
  void setObject(const char* _key, MObject* _object, bool _release);
  void setObject(const char* _key, const char* _value);
  void setObject(const char* _key, int _value);
  void setObject(const char* _key, uint _value);
  void setObject(int _key);
  void setObject(int _key, MObject* _object);
  void setObject(int _key, MObject* _object, bool _release);
  void setObject(int _key, const char* _value);
  void setObject(int _key, int _value);
  void setObject(uint _key);
  void setObject(uint _key, MObject* _object);
  void setObject(uint _key, MObject* _object, bool _release);
  void setObject(uint _key, const char* _value);
  void setObject(uint _key, int _value);
  void setObject(uint _key, uint _value);
  void setObject(Int64 _key);
  void setObject(Int64 _key, MObject* _object);
  void setObject(Int64 _key, MObject* _object, bool _release);
  void setObject(Int64 _key, const char* _value);
  void setObject(Int64 _key, int _value);
  void setObject(Int64 _key, uint _value);

  // Lookups: null (getInt: -1) when the key is absent.
  MItem* getItem(MObject* _key);
  MObject* getObject(MObject* _key);
  MObject* getObject(const char* _key);
  MObject* getObject(int _key);
  MObject* getObject(uint _key);
  MObject* getObject(Int64 _key);
  int getInt(MObject* _key);
  int getInt(const char* _key);
  int getInt(int _key);
  int getInt(uint _key);
  int getInt(Int64 _key);
  MItem* getItemByIndex(int _index);
  virtual int getLength() = 0;
  // The first item whose key is not smaller than _key and its position (MArray only).
  MItem* getNearestItem(MObject* _key, int& _index);

  // Iteration; the neighbours of the ends and of null are null. Items are valid until they
  // are deleted or the container is cleared.
  virtual MItem* getFirstItem() = 0;
  virtual MItem* getLastItem() = 0;
  virtual MItem* getNextItem(MItem* _item) = 0;
  virtual MItem* getPrevItem(MItem* _item) = 0;

  // Deleting: an absent key or an item of another container fails. The key is not consumed.
  void deleteObject(MObject* _key);
  void deleteObject(const char* _key);
  void deleteObject(int _key);
  void deleteObject(uint _key);
  void deleteObject(Int64 _key);
  void deleteItem(MItem* _item);
  void clear();

  // Bulk text input: the bracket configuration format ("[key][value]" lines, '#' comments),
  // and delimited lists stored under the integer keys 0, 1, 2, ...
  void load(const char* _filename);
  using MObject::setValue;
  void setValue(const char* _list, char _separator);
  void setValue(const char* _list, char _startChar, char _endChar);

  void sortByKey(bool _ascending);
  void swapItems(MItem* _item1, MItem* _item2);

  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  bool isNumeric() override;
  bool isContainer() override;
  // The size of the record writeStream produces: the 5-byte header and every key and value.
  int getStreamSize() override;

 protected:
  // Primitives of the concrete classes. They run under the lock, after the arguments were
  // checked; _addObject never meets a refused key.
  virtual void _addObject(MObject* _key, MObject* _object, bool _release) = 0;
  virtual MItem* _getItem(MObject* _key) = 0;
  virtual MItem* _getItemByIndex(int _index) = 0;
  virtual MItem* _getNearestItem(MObject* _key, int& _index) = 0;
  virtual void _deleteItem(MItem* _item) = 0;
  virtual void _clear() = 0;
  // Room for _count items, for readers that know how many follow.
  virtual void _reserve(int _count) {}

  // The public operation pattern: lock, run the body, unlock; a failure is raised under the
  // operation's signature, or swallowed when exceptions are off.
  template <typename Body>
  void guard(const char* _signature, Body&& _body) {
    try {
      MMutexLock lock(mutex);
      _body();
    } catch (const MException& _caught) {
      if (exceptions) throw MException(_signature, "Operation failed!", &_caught);
    }
  }

  // The container record: type code, count as int, then key and value record of each pair.
  // Reading trusts nothing: unknown or record-less types, a negative count, cut data and
  // deep nesting fail; the pairs read before a failure stay.
  void writeRecord(MOutputStream* _stream, uchar _code);
  void readRecord(MInputStream* _stream, uchar _code, bool _keyTypeInMessage);
  // One line per pair; a container value is printed nested between [key] and [/key].
  void printPairs(FILE* _file, int _indent, bool _spaceBeforeValue);
  // The order of keys, in compare's sign convention (positive: _key1 comes first). Keys of
  // one class follow compare; keys of different classes, which compare cannot order, are
  // ordered by type code, so that mixed keys still form one consistent order.
  static int orderKeys(MObject* _key1, MObject* _key2);
  // The lock of another container, for the copies between the concrete classes.
  static MMutex& mutexOf(MStorage& _storage) { return _storage.mutex; }

  MMutex mutex;
  bool uniqueKeys;
  bool exceptions;
  bool addOnSet;

 private:
  // The throwing cores of addObject, setObject and deleteItem, without lock or signature.
  void doAdd(MObject* _key, MObject* _object, bool _release);
  void doSet(MObject* _key, MObject* _object, bool _release);
  // doSet's change of an item found for _key (never fails): the new value in, the old one
  // and a key that is not the item's own freed when the item owns them.
  void replaceValue(MItem* _item, MObject* _key, MObject* _object, bool _release);
  void doDeleteItem(MItem* _item);
  // The overloads' common tail: the core add or set under its own signature; the wrapped key
  // and value an overload made (_madeKey, _madeValue) are freed when it fails.
  void addPair(MObject* _key, bool _madeKey, MObject* _object, bool _madeValue, bool _release);
  void setPair(MObject* _key, bool _madeKey, MObject* _object, bool _madeValue, bool _release);
  // setPair for a text key.
  void setText(const char* _key, MObject* _object, bool _madeValue, bool _release);
  void deleteByKey(MObject* _key);
  void swap(MItem* _item1, MItem* _item2);
  void addListElement(const char* _text, int _length);
};

#endif
