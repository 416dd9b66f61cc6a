#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "db/GRecordBytes.h"
#include "db/GRecordFile.h"
#include "db/GRecordObserver.h"
#include "db/GRecordTable.h"
#include "lib/core/MList.h"
#include "lib/core/MObject.h"
#include "lib/platform/MMutex.h"
#include "tests/db/DbTestSupport.h"

namespace {

// A toy record of 12 bytes: a value (int) at 0, the id at 4 (-1 free: the mark sits inside
// the record, not at its start), a text of 3 characters at 8.
struct Note : public MObject {
  int id = -1;
  int value = 0;
  MString text;
};

struct NoteCodec {
  typedef Note Entity;
  typedef Note Listed;
  enum { SIZE = 12, MARK = 4, MARK_SIZE = 4, CLEARS = 1 };

  static void store(const Note& _note, int _index, uchar* _record) {
    memset(_record, 0, SIZE);
    GRecordBytes::putInt(_record, 0, _note.value);
    GRecordBytes::putInt(_record, MARK, _index);
    GRecordBytes::putText(_record, 8, 3, _note.text);
  }
  static void decode(const uchar* _record, Note& _note) {
    _note.value = GRecordBytes::getInt(_record, 0);
    _note.id = GRecordBytes::getInt(_record, MARK);
    _note.text = GRecordBytes::getText(_record, 8, 3);
  }
  static bool inUse(const uchar* _record) { return GRecordBytes::getInt(_record, MARK) >= 0; }
  static bool holds(const uchar* _record, int _index) {
    return _index >= 0 && GRecordBytes::getInt(_record, MARK) == _index;
  }
  static void unmark(uchar* _record) { GRecordBytes::putInt(_record, MARK, -1); }
  static void freeMark(uchar* _mark) { GRecordBytes::putInt(_mark, 0, -1); }
};

// The expected bytes of a note record, written independently of the codec.
Bytes noteBytes(int _value, int _id, const std::string& _text) {
  Bytes b(12, 0);
  le32(b, 0, (uint32_t)_value);
  le32(b, 4, (uint32_t)_id);
  text(b, 8, _text);
  return b;
}

// Keeps the free records (as the database's index does) and notes every write and sync:
// "+n used" / "+n free" for record n after a write, "sync" after a sync, and whether
// another thread could take the lock during that sync.
class Recorder : public GRecordObserver {
 public:
  explicit Recorder(MMutex& _mutex) : mutex(_mutex) {}

  void forget(GRecordFile&, int, const uchar*) override {}
  void learn(GRecordFile&, int _index, const uchar* _record) override {
    bool used = readLe32(Bytes(_record, _record + 12), 4) >= 0;
    free.erase(_index);
    if (!used) free.insert(_index);
    events.push_back("+" + std::to_string(_index) + (used ? " used" : " free"));
  }
  void synced(GRecordFile&) override {
    // A thread of its own tries the lock: it gets it at once unless the syncing thread
    // holds it (then it waits until that one lets go, after the sync).
    tries.push_back(std::async(std::launch::async, [this] { MMutexLock lock(mutex); }));
    bool lockFree = tries.back().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    events.push_back(lockFree ? "sync" : "sync under the lock");
    if (duringSync) {
      std::function<void()> once;
      once.swap(duringSync);
      once();
    }
  }

  MMutex& mutex;
  std::set<int> free;
  std::vector<std::string> events;
  std::function<void()> duringSync;  // run once, at the next sync
  // Kept past the sync: a try still waiting ends once the lock is let go.
  std::vector<std::future<void>> tries;
};

class GRecordTableTest : public testing::Test {
 protected:
  GRecordTableTest() : recorder(mutex), table(file, recorder.free, mutex) {}
  void SetUp() override {
    ASSERT_TRUE(file.createNew(root.file("notes").c_str()));
    file.setObserver(&recorder);
  }

  int add(int _value, const char* _text) {
    Note note;
    note.value = _value;
    note.text = _text;
    return table.add(note);
  }
  Bytes record(int _index) { return slice(readBytes(root.file("notes")), (size_t)_index, 12); }

  TempRoot root;
  MMutex mutex;
  GRecordFile file{NoteCodec::SIZE};
  Recorder recorder;
  GRecordTable<NoteCodec> table;
};

}  // namespace

TEST_F(GRecordTableTest, AddsGetsUpdatesRemovesAndCollects) {
  EXPECT_EQ(0, add(10, "ab"));
  EXPECT_EQ(1, add(20, "long"));  // cut to 3 characters
  EXPECT_EQ(2, add(30, ""));
  EXPECT_EQ(noteBytes(20, 1, "lon"), record(1));

  Note note;
  ASSERT_TRUE(table.get(1, note));
  EXPECT_EQ(20, note.value);
  EXPECT_EQ(MString("lon"), note.text);
  EXPECT_FALSE(table.get(3, note));
  EXPECT_FALSE(table.get(-1, note));

  note.value = 21;
  note.id = 7;  // the record number decides
  EXPECT_TRUE(table.update(1, note));
  EXPECT_EQ(noteBytes(21, 1, "lon"), record(1));

  EXPECT_TRUE(table.remove(1));
  EXPECT_EQ(noteBytes(0, -1, ""), record(1));
  EXPECT_FALSE(table.get(1, note));
  EXPECT_FALSE(table.update(1, note));
  EXPECT_FALSE(table.remove(1));
  EXPECT_EQ(noteBytes(0, -1, ""), record(1));
  EXPECT_EQ(3u, readBytes(root.file("notes")).size() / 12);

  EXPECT_EQ(1, add(40, "x"));  // the first free record
  EXPECT_EQ(3, add(50, "y"));  // then the end

  MList list;
  int length = table.collect(
      list, [](const uchar* _record) { return GRecordBytes::getInt(_record, 0) >= 30; },
      [](const Note& _note, const uchar*) { return MString::format("%s-%d", _note.text.getValue(), _note.id); });
  EXPECT_EQ(3, length);
  std::vector<std::string> keys;
  for (MItem* item = list.getFirstItem(); item != nullptr; item = list.getNextItem(item)) {
    keys.push_back(item->key->toString().getValue());
  }
  EXPECT_EQ((std::vector<std::string>{"x-1", "-2", "y-3"}), keys);  // record order
  EXPECT_EQ(4, table.count(NoteCodec::inUse));
}

// The order a crash relies on: an addition writes the whole record free, syncs, marks it,
// syncs; a removal marks it free, syncs, clears it, syncs; an update is one write and a
// sync. No sync holds the lock.
TEST_F(GRecordTableTest, WritesAndSyncsInCrashSafeOrderOutsideTheLock) {
  struct Case {
    const char* name;
    std::function<void()> run;
    std::vector<std::string> events;
  } cases[] = {
      {"add", [&] { add(1, "a"); }, {"+0 free", "sync", "+0 used", "sync"}},
      {"update", [&] { Note n; n.value = 2; table.update(0, n); }, {"+0 used", "sync"}},
      {"remove", [&] { table.remove(0); }, {"+0 free", "sync", "+0 free", "sync"}},
      {"add again", [&] { add(3, "c"); }, {"+0 free", "sync", "+0 used", "sync"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder.events.clear();
    c.run();
    EXPECT_EQ(c.events, recorder.events);
  }
}

// Between the steps of an addition the record is free to readers and taken by no other
// addition; a removal keeps its record from additions until it has cleared it.
TEST_F(GRecordTableTest, ReservesARecordBetweenTheSteps) {
  add(1, "a");
  add(2, "b");
  recorder.events.clear();
  int other = -1;
  bool seenFree = false;
  recorder.duringSync = [&] {  // in the first sync of the next addition (record 2)
    Note note;
    seenFree = !table.get(2, note) && table.isReserved(2);
    other = std::async(std::launch::async, [&] { return add(9, "z"); }).get();
  };
  EXPECT_EQ(2, add(3, "c"));
  EXPECT_TRUE(seenFree);
  EXPECT_EQ(3, other);
  EXPECT_EQ(noteBytes(3, 2, "c"), record(2));
  EXPECT_EQ(noteBytes(9, 3, "z"), record(3));
  EXPECT_FALSE(table.isReserved(2));

  int taken = -1;
  recorder.duringSync = [&] { taken = table.firstFree(); };  // in the removal's first sync
  table.remove(0);
  EXPECT_EQ(4, taken);
  EXPECT_EQ(0, table.firstFree());
}
