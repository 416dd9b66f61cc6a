// The binary records of MList and MArray, written and read back through the type registry.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/MArray.h"
#include "lib/core/MInt32.h"
#include "lib/core/MInt64.h"
#include "lib/core/MList.h"
#include "lib/core/MNull.h"
#include "lib/core/MStream.h"
#include "lib/core/MTypeRegistry.h"
#include "tests/lib/core/ContainerTestSupport.h"

namespace {

// A byte vector read from the front; reading past the end fails like a cut record.
class MemoryStream : public MStream {
 public:
  MemoryStream() {}
  explicit MemoryStream(std::vector<uchar> _bytes) : bytes(std::move(_bytes)) {}

  int readData(void* _value, int _size) override {
    int n = std::min(_size, (int)(bytes.size() - readPos));
    memcpy(_value, bytes.data() + readPos, n);
    readPos += n;
    return n;
  }
  int writeData(void* _value, int _size) override {
    bytes.insert(bytes.end(), (uchar*)_value, (uchar*)_value + _size);
    return _size;
  }
  uchar getNextByte() override {
    if (readPos >= bytes.size()) throw MException("### READ ###", "The end of the data was reached!");
    return bytes[readPos];
  }
  int findByte(uchar _ch, int _maxDistance) override {
    for (size_t i = readPos; i < bytes.size() && (int)(i - readPos) < _maxDistance; ++i)
      if (bytes[i] == _ch) return (int)(i - readPos);
    return -1;
  }
  Int64 getInputBytes() override { return (Int64)(bytes.size() - readPos); }

  std::vector<uchar> bytes;
  size_t readPos = 0;
};

std::vector<uchar> recordOf(MObject& _object) {
  MemoryStream stream;
  stream << &_object;
  return stream.bytes;
}

}  // namespace

TEST(ContainerRecord, ListExampleWritesAndReadsBack) {
  MList list;
  list.addObject("a", 7);
  const std::vector<uchar> expected = {0x10, 0x00, 0x00, 0x00, 0x01, 0x0B, 0x01,
                                       0x00, 0x61, 0x04, 0x00, 0x00, 0x00, 0x07};
  EXPECT_EQ(expected, recordOf(list));
  EXPECT_EQ((int)expected.size(), list.getStreamSize());

  // Read back through the registry, as a reader that only knows the type byte does.
  MemoryStream stream(expected);
  std::unique_ptr<MObject> read(MTypeRegistry::instance().newObject(stream.getNextByte()));
  ASSERT_NE(nullptr, read);
  stream >> read.get();
  EXPECT_EQ(expected.size(), stream.readPos);
  MList* back = dynamic_cast<MList*>(read.get());
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(1, back->getLength());
  EXPECT_EQ(7, back->getInt("a"));
  EXPECT_EQ(4, back->getObject("a")->getType());
}

TEST(ContainerRecord, NestedArrayRoundTrip) {
  MArray array;
  MList* inner = new MList();
  inner->addObject(1, "one");
  inner->addObject((Int64)-5);
  array.addObject("z", "last");
  array.addObject("list", inner);
  array.addObject(3u, 4u);
  array.addObject("empty", new MArray());
  std::vector<uchar> record = recordOf(array);
  EXPECT_EQ((int)record.size(), array.getStreamSize());

  MemoryStream stream(record);
  MArray back;
  back.addObject("stale");
  stream >> &back;
  EXPECT_EQ(record, recordOf(back));
  EXPECT_EQ(keysOf(array), keysOf(back));
  MList* innerBack = dynamic_cast<MList*>(back.getObject("list"));
  ASSERT_NE(nullptr, innerBack);
  EXPECT_STREQ("one", innerBack->getObject(1)->toString().getValue());
  EXPECT_EQ(10, innerBack->getObject((Int64)-5)->getType());
  EXPECT_TRUE(back.getUniqueKeys());
}

TEST(ContainerRecord, KeyReadTwiceKeepsTheLaterValue) {
  MemoryStream stream({0x10, 0, 0, 0, 2,              // list of two pairs
                       0x04, 0, 0, 0, 1, 0x0B, 1, 0, 'x',  // 1 -> x
                       0x04, 0, 0, 0, 1, 0x0B, 1, 0, 'y'});  // 1 -> y
  MList list;
  stream >> &list;
  EXPECT_EQ(1, list.getLength());
  EXPECT_STREQ("y", list.getObject(1)->toString().getValue());
}

// An array record is not trusted to be in key order: its pairs are placed by key, so lookups
// work whatever order the record had.
TEST(ContainerRecord, UnorderedArrayRecordIsPlacedByKey) {
  MemoryStream stream({0x12, 0, 0, 0, 3,
                       0x04, 0, 0, 0, 5, 0x0A,
                       0x04, 0, 0, 0, 1, 0x0A,
                       0x04, 0, 0, 0, 3, 0x0A});
  MArray array;
  stream >> &array;
  EXPECT_EQ((std::vector<std::string>{"1", "3", "5"}), keysOf(array));
  for (int key : {1, 3, 5}) EXPECT_NE(nullptr, array.getObject(key));
}

// Records that must fail cleanly: no giant allocation, no endless loop, no leak; the pairs
// read before the failure stay and uniqueKeys is restored.
TEST(ContainerRecord, BadRecordsFailCleanly) {
  const std::vector<uchar> pair = {0x04, 0, 0, 0, 1, 0x0A};  // 1 -> NULL
  auto with = [](std::vector<uchar> _head, const std::vector<uchar>& _tail) {
    _head.insert(_head.end(), _tail.begin(), _tail.end());
    return _head;
  };
  struct Case {
    const char* name;
    bool array;
    std::vector<uchar> bytes;
    const char* innermost;
    int pairsKept;
  };
  std::vector<uchar> deep;
  for (int i = 0; i < 150; ++i) deep = with(deep, {0x10, 0, 0, 0, 1, 0x0A});
  deep.push_back(0x10);
  const std::vector<Case> cases = {
      {"list key type 200", false, {0x10, 0, 0, 0, 1, 200, 0x0A}, "### KEY ### | Invalid key type (200)!", 0},
      {"array key type 200", true, {0x12, 0, 0, 0, 1, 200, 0x0A}, "### KEY ### | Invalid key type!", 0},
      {"value type 200", false, with({0x10, 0, 0, 0, 2}, with(pair, {0x0A, 200})), "### OBJECT ### | Invalid object type!", 1},
      {"key of a class without record", false, {0x10, 0, 0, 0, 1, 0x00, 0x0A}, "### KEY ### | Invalid key type (0)!", 0},
      {"value of a class without record", true, {0x12, 0, 0, 0, 1, 0x0A, 21}, "### OBJECT ### | Invalid object type!", 0},
      {"array record read as list", false, {0x12, 0, 0, 0, 0}, "### TYPE ### | Wrong type", 0},
      {"negative count", true, {0x12, 0xFF, 0xFF, 0xFF, 0xFF}, "### READ ### | The item count is invalid!", 0},
      {"huge count, list", false, with({0x10, 0x7F, 0xFF, 0xFF, 0xFF}, pair), "### READ ### | The end of the data was reached!", 1},
      {"huge count, array", true, with({0x12, 0x7F, 0xFF, 0xFF, 0xFF}, pair), "### READ ### | The end of the data was reached!", 1},
      {"cut inside a value", false, {0x10, 0, 0, 0, 1, 0x0A, 0x04, 0, 0}, "### READ ### | The end of the data was reached!", 0},
      {"cut count", true, {0x12, 0, 0}, "### READ ### | The end of the data was reached!", 0},
      {"nested too deeply", false, deep, "### READ ### | The record is nested too deeply!", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream stream(c.bytes);
    std::unique_ptr<MStorage> storage(c.array ? (MStorage*)new MArray() : (MStorage*)new MList());
    storage->addObject("stale");
    std::vector<std::string> chain = failureOf([&] { stream >> storage.get(); });
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(c.innermost, chain.back());
    EXPECT_EQ(c.array ? "void MArray::readStream(MInputStream *_stream) | Operation failed!"
                      : "void MList::readStream(MInputStream *_stream) | Operation failed!",
              chain[1]);
    // A wrong type leaves the container as it was; otherwise it was cleared first.
    int expected = std::string(c.name) == "array record read as list" ? 1 : c.pairsKept;
    EXPECT_EQ(expected, storage->getLength());
    EXPECT_TRUE(storage->getUniqueKeys());
  }
}
