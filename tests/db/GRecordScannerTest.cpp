#include <gtest/gtest.h>

#include "db/GRecordFile.h"
#include "db/GRecordScanner.h"
#include "tests/db/DbTestSupport.h"

namespace {

// A file of _count records of _size bytes whose first four bytes hold the record number,
// plus _tail bytes of a torn record.
void makeFile(const std::string& _path, int _size, int _count, int _tail) {
  Bytes bytes((size_t)_size * _count + _tail, 0xEE);
  for (int i = 0; i < _count; ++i) le32(bytes, (size_t)i * _size, (uint32_t)i);
  writeBytes(_path, bytes);
}

}  // namespace

// Large and small files, record sizes that do and do not divide the page size, each with and
// without a torn tail: every whole record once, in order, whole.
TEST(GRecordScanner, SeesEveryWholeRecordOnceInOrder) {
  struct Case {
    int size;
    int count;
    int tail;
  } cases[] = {
      {472, 20000, 0},    // 9.4 MB
      {472, 20000, 300},
      {20, 300000, 19},   // a record size that divides the page size
      {208, 1000, 0},
      {208, 1000, 207},
      {120, 1, 0},
      {120, 0, 50},
      {120, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " x " << c.count << " + " << c.tail);
    TempRoot root;
    std::string path = root.file("records");
    makeFile(path, c.size, c.count, c.tail);
    GRecordFile file(c.size);
    ASSERT_TRUE(file.openExisting(path.c_str()));
    EXPECT_EQ(c.count, file.getRecordCount());
    GRecordScanner scanner(file);
    int expected = 0;
    bool intact = true;
    while (const uchar* record = scanner.next()) {
      intact = intact && scanner.getIndex() == expected &&
               readLe32(Bytes(record, record + 4), 0) == expected && record[c.size - 1] == 0xEE;
      expected++;
    }
    EXPECT_TRUE(intact);
    EXPECT_EQ(c.count, expected);
    EXPECT_EQ(c.count, scanner.getCount());
    EXPECT_EQ(nullptr, scanner.next());
  }
}

TEST(GRecordScanner, DirectReadsStopAtTheTornTail) {
  TempRoot root;
  std::string path = root.file("records");
  makeFile(path, 120, 3, 60);
  GRecordFile file(120);
  ASSERT_TRUE(file.openExisting(path.c_str()));
  uchar record[120];
  EXPECT_TRUE(file.readRecord(2, record));
  EXPECT_FALSE(file.readRecord(3, record));
  EXPECT_FALSE(file.readRecord(-1, record));
  EXPECT_FALSE(file.readRecord(1000000, record));
}
