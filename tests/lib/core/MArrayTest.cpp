#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "lib/core/MArray.h"
#include "lib/core/MInt32.h"
#include "lib/core/MList.h"
#include "tests/lib/core/ContainerTestSupport.h"

namespace {

std::vector<int> shuffled(int _count) {
  std::vector<int> keys(_count);
  for (int i = 0; i < _count; ++i) keys[i] = i * 3;
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  return keys;
}

}  // namespace

TEST(MArray, KeepsAscendingOrderAndFindsEveryKey) {
  MArray array;
  for (int key : shuffled(1000)) array.addObject(key, key + 1);
  ASSERT_EQ(1000, array.getLength());
  int previous = -1;
  for (MItem* item = array.getFirstItem(); item != nullptr; item = array.getNextItem(item)) {
    EXPECT_LT(previous, item->key->toInt());
    previous = item->key->toInt();
  }
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(i * 3 + 1, array.getInt(i * 3));
    EXPECT_EQ(nullptr, array.getObject(i * 3 + 1));
  }
}

TEST(MArray, GrowsInStepsOfOneHundred) {
  MArray array;
  EXPECT_EQ(0, array.getCapacity());
  std::vector<int> keys = shuffled(100);
  for (int i = 0; i < 99; ++i) array.addObject(keys[i]);
  EXPECT_EQ(100, array.getCapacity());
  array.addObject(keys[99]);
  EXPECT_EQ(200, array.getCapacity());
  for (int i = 0; i < 100; ++i) EXPECT_EQ(i * 3, array.getItemByIndex(i)->key->toInt());
}

TEST(MArray, NearestItem) {
  struct Case {
    int key;
    const char* found;  // null: none
    int index;
  };
  const std::vector<Case> cases = {
      {5, "10", 0}, {10, "10", 0}, {15, "20", 1}, {20, "20", 1},
      {25, "30", 2}, {30, "30", 2}, {35, nullptr, 3},
  };
  MArray array;
  for (int key : {30, 10, 20}) array.addObject(key);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    MInt32 key(c.key);
    int index = -5;
    MItem* item = array.getNearestItem(&key, index);
    EXPECT_EQ(c.index, index);
    if (c.found == nullptr) {
      EXPECT_EQ(nullptr, item);
    } else {
      ASSERT_NE(nullptr, item);
      EXPECT_STREQ(c.found, item->key->toString().getValue());
    }
  }
  MArray empty;
  MInt32 key(1);
  int index = -5;
  EXPECT_EQ(nullptr, empty.getNearestItem(&key, index));
  EXPECT_EQ(0, index);

  MList list;
  list.addObject(1);
  EXPECT_EQ(nullptr, list.getNearestItem(&key, index));
  EXPECT_EQ(-1, index);
}

TEST(MArray, DeletionKeepsPositionsRight) {
  MArray array;
  for (int key : shuffled(300)) array.addObject(key);
  for (int i = 0; i < 300; i += 2) array.deleteObject(i * 3);
  ASSERT_EQ(150, array.getLength());
  for (int i = 0; i < 150; ++i) {
    MItem* item = array.getItemByIndex(i);
    EXPECT_EQ((2 * i + 1) * 3, item->key->toInt());
    EXPECT_EQ(item, array.getItem(item->key));
  }
  EXPECT_EQ(nullptr, array.getObject(0));
}

TEST(MArray, LookupsWorkAgainAfterSortingBack) {
  MArray array;
  for (int key : shuffled(50)) array.addObject(key);
  array.sortByKey(false);
  EXPECT_EQ(147, array.getFirstItem()->key->toInt());
  array.sortByKey(true);
  for (int i = 0; i < 50; ++i) EXPECT_NE(nullptr, array.getObject(i * 3));
}

TEST(MArray, CopiesAreDeep) {
  MArray source;
  source.addObject("b", new Probe("B"));
  source.addObject("a", "A");
  source.setExceptions(false);
  MArray copy(source);
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), keysOf(copy));
  EXPECT_NE(source.getObject("b"), copy.getObject("b"));
  EXPECT_FALSE(copy.getExceptions());
  copy.addObject("c");
  EXPECT_EQ(2, source.getLength());

  MArray assigned;
  assigned.addObject("z");
  assigned = source;
  EXPECT_EQ((std::vector<std::string>{"A", "B"}), valuesOf(assigned));
  assigned = assigned;
  EXPECT_EQ(2, assigned.getLength());
  std::unique_ptr<MObject> duplicate(source.duplicate());
  EXPECT_TRUE(duplicate->isKindOf("MArray"));
  EXPECT_TRUE(duplicate->isKindOf("MStorage"));
}

TEST(MArray, PrintSeparatesKeyAndValue) {
  MArray array;
  MList* list = new MList();
  list->addObject("x", "1");
  array.addObject("b", "two");
  array.addObject("a", list);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* file = open_memstream(&buffer, &size);
  array.print(file, 1);
  fclose(file);
  EXPECT_EQ("  [a]\n    [x]1\n  [/a]\n  [b] two\n", std::string(buffer, size));
  free(buffer);
  EXPECT_STREQ("MArray", array.toString().getValue());
}
