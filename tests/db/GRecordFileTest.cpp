#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/GRecordFile.h"
#include "db/GRecordObserver.h"
#include "tests/db/DbTestSupport.h"

namespace {

// Notes what the file tells of its records: "-i" forgotten, "+i" learnt, with the first
// byte of the record then.
class Log : public GRecordObserver {
 public:
  void forget(GRecordFile&, int _index, const uchar* _record) override {
    entries.push_back("-" + std::to_string(_index) + ":" + std::to_string(_record[0]));
  }
  void learn(GRecordFile&, int _index, const uchar* _record) override {
    entries.push_back("+" + std::to_string(_index) + ":" + std::to_string(_record[0]));
  }
  std::vector<std::string> entries;
};

}  // namespace

// Appends far past the first mapping: the file is mapped again as it grows, and every record
// written before and after reads back from memory as it is on disk.
TEST(GRecordFile, GrowsPastItsMappingAndReadsEveryRecordBack) {
  TempRoot root;
  GRecordFile file(472);
  ASSERT_TRUE(file.createNew(root.file("grow").c_str()));
  const int count = 12000;  // 5.7 MB: several mappings
  uchar record[472];
  for (int i = 0; i < count; ++i) {
    memset(record, 0, sizeof record);
    for (int b = 0; b < 4; ++b) record[b] = (uchar)(i >> (8 * b));
    record[471] = (uchar)i;
    file.writeRecord(i, record);
  }
  ASSERT_EQ(count, file.getRecordCount());
  Bytes disk = readBytes(root.file("grow"));
  ASSERT_EQ((size_t)count * 472, disk.size());
  bool same = true;
  for (int i = 0; i < count; ++i) same = same && memcmp(file.record(i), disk.data() + (size_t)i * 472, 472) == 0;
  EXPECT_TRUE(same);
  EXPECT_EQ(nullptr, file.record(count));
  EXPECT_EQ(nullptr, file.record(-1));

  // Opened again: the same records.
  GRecordFile again(472);
  ASSERT_TRUE(again.openExisting(root.file("grow").c_str()));
  EXPECT_EQ(count, again.getRecordCount());
  EXPECT_EQ(0, memcmp(again.record(count - 1), disk.data() + (size_t)(count - 1) * 472, 472));
}

// The observer hears of whole records only: a record is learnt once it is whole, forgotten
// and learnt again around every later write, and a torn tail is never seen.
TEST(GRecordFile, TellsItsObserverOfWholeRecordsOnly) {
  TempRoot root;
  appendBytes(root.file("log"), Bytes(30, 7));  // one record and a torn tail
  GRecordFile file(20);
  Log log;
  file.setObserver(&log);
  ASSERT_TRUE(file.openExisting(root.file("log").c_str()));
  EXPECT_EQ(1, file.getRecordCount());

  uchar half[10] = {1};
  file.write(1, 0, half, 10);  // overwrites the torn tail: still not whole
  EXPECT_TRUE(log.entries.empty());
  EXPECT_EQ(1, file.getRecordCount());
  uchar rest[10] = {2};
  file.write(1, 10, rest, 10);
  EXPECT_EQ(2, file.getRecordCount());
  uchar first[4] = {9};
  file.write(0, 0, first, 4);
  EXPECT_EQ((std::vector<std::string>{"+1:1", "-0:7", "+0:9"}), log.entries);
}
