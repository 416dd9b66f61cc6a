#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/core/MArray.h"
#include "lib/core/MCoordinate2D.h"
#include "lib/core/MInt32.h"
#include "lib/core/MList.h"
#include "tests/lib/core/ContainerTestSupport.h"

namespace {

std::string printed(MObject& _object) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* file = open_memstream(&buffer, &size);
  _object.print(file, 0);
  fclose(file);
  std::string text(buffer, size);
  free(buffer);
  return text;
}

}  // namespace

TEST(MList, SortedInsertion) {
  struct Case {
    const char* name;
    bool ascending;
    std::vector<int> keys;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"ascending", true, {2, 5, 3}, {"2", "3", "5"}},
      {"descending", false, {2, 5, 3}, {"5", "3", "2"}},
      {"negative keys", true, {0, -7, 4, -1}, {"-7", "-1", "0", "4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MList list;
    list.setSortMode(true, c.ascending);
    for (int key : c.keys) list.addObject(key);
    EXPECT_EQ(c.expected, keysOf(list));
  }
}

TEST(MList, SortedTextKeysAndEqualKeysKeepInsertionOrder) {
  MList list;
  list.setSortMode(true, false);
  for (const char* key : {"a", "c", "b", "e", "d"}) list.addObject(key);
  EXPECT_EQ((std::vector<std::string>{"e", "d", "c", "b", "a"}), keysOf(list));

  MList equal;
  equal.setUniqueKeys(false);
  equal.setSortMode(true, true);
  equal.addObject(2, "first");
  equal.addObject(1, "x");
  equal.addObject(2, "second");
  equal.addObject(2, "third");
  EXPECT_EQ((std::vector<std::string>{"x", "first", "second", "third"}), valuesOf(equal));
}

TEST(MList, SortModeAffectsOnlyLaterItems) {
  MList list;
  list.addObject(3);
  list.addObject(1);
  list.setSortMode(true, true);
  list.addObject(2);
  EXPECT_EQ((std::vector<std::string>{"2", "3", "1"}), keysOf(list));
}

TEST(MList, CopiesAreDeepAndKeepTheFlags) {
  MList source;
  source.setUniqueKeys(false);
  source.addObject("k", new Probe("one"));
  source.addObject("k", "two");
  source.setSortMode(true, false);
  source.setExceptions(false);

  MList copy(source);
  EXPECT_EQ((std::vector<std::string>{"k", "k"}), keysOf(copy));
  EXPECT_EQ((std::vector<std::string>{"one", "two"}), valuesOf(copy));
  EXPECT_NE(source.getFirstItem()->object, copy.getFirstItem()->object);
  EXPECT_FALSE(copy.getUniqueKeys());
  EXPECT_TRUE(copy.isSorted());
  EXPECT_FALSE(copy.isAscending());
  EXPECT_FALSE(copy.getExceptions());

  MList assigned;
  assigned.addObject("old");
  assigned = source;
  EXPECT_EQ((std::vector<std::string>{"one", "two"}), valuesOf(assigned));
  assigned = assigned;  // self-assignment keeps the content
  EXPECT_EQ(2, assigned.getLength());

  std::unique_ptr<MObject> duplicate(source.duplicate());
  EXPECT_EQ(16, duplicate->getType());
  EXPECT_EQ(2, static_cast<MList*>(duplicate.get())->getLength());
}

TEST(MList, AssignedFromAnArrayIsSorted) {
  MArray array;
  array.addObject(3, "c");
  array.addObject(1, "a");
  array.setUniqueKeys(false);
  MList list;
  list.addObject("gone");
  list = array;
  EXPECT_EQ((std::vector<std::string>{"1", "3"}), keysOf(list));
  EXPECT_TRUE(list.isSorted());
  EXPECT_FALSE(list.getUniqueKeys());
  list.addObject(2, "b");
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), valuesOf(list));
}

TEST(MList, MoveDataFromAndReleaseData) {
  MList source;
  source.setUniqueKeys(false);
  source.addObject(1, new Probe("a"));
  source.addObject(2, new Probe("b"));
  MList target;
  target.addObject(9, new Probe("dropped"));
  target.moveDataFrom(source);
  EXPECT_EQ(2, Probe::alive);
  EXPECT_EQ(0, source.getLength());
  EXPECT_EQ(nullptr, source.getFirstItem());
  EXPECT_FALSE(target.getUniqueKeys());
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), valuesOf(target));
  target.deleteObject(1);  // the items now belong to the target
  EXPECT_EQ(1, Probe::alive);
  target.moveDataFrom(target);
  EXPECT_EQ(1, target.getLength());

  // releaseData forgets the items: destroying the list deletes nothing, and the forgotten
  // items can no longer be unlinked through it.
  MItem* forgotten;
  {
    MList list;
    list.addObject(5, new Probe("kept"));
    forgotten = list.getFirstItem();
    list.releaseData();
    EXPECT_EQ(0, list.getLength());
    EXPECT_FALSE(failureOf([&] { list.deleteItem(forgotten); }).empty());
  }
  EXPECT_EQ(2, Probe::alive);
  EXPECT_STREQ("kept", forgotten->object->toString().getValue());
  delete forgotten;
  EXPECT_EQ(1, Probe::alive);
}

TEST(MList, PrintNestsContainers) {
  MList inner;
  inner.addObject("x", "1");
  MList list;
  list.addObject("name", "value");
  list.addObject("sub", new MList(inner));
  list.addObject(7);
  EXPECT_EQ("[name]value\n[sub]\n  [x]1\n[/sub]\n[7]NULL\n", printed(list));
  EXPECT_STREQ("LIST", list.toString().getValue());
}

TEST(MList, ListConstructors) {
  MList separated("a;b", ';');
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), valuesOf(separated));
  MList bracketed("<x> <y>", '<', '>');
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), valuesOf(bracketed));
  EXPECT_TRUE(bracketed.getUniqueKeys());
  EXPECT_FALSE(bracketed.isSorted());
}

// A text comparison is only a sign: a byte difference of -2 must not read as "incomparable".
TEST(MList, TextCompareGivesOnlyTheSign) {
  MString a("a"), c("c");
  EXPECT_EQ(-1, c.compare(&a));
  EXPECT_EQ(1, a.compare(&c));
  MInt32 one(1);
  EXPECT_EQ(-2, a.compare(&one));
}

TEST(MListCoordinateKeys, PointsAreFoundByValueAndOrderedByXThenY) {
  MList list;
  list.setSortMode(true, true);
  list.addObject(new MCoordinate2D(2, 1), new MString("b"));
  list.addObject(new MCoordinate2D(1, 5), new MString("a"));
  list.addObject(new MCoordinate2D(2, 0), new MString("c"));
  MCoordinate2D probe(2, 1);
  ASSERT_NE(nullptr, list.getObject(&probe));
  EXPECT_EQ("b", std::string(list.getObject(&probe)->toString().getValue()));
  MCoordinate2D absent(1, 2);
  EXPECT_EQ(nullptr, list.getObject(&absent));
  std::string order;
  for (MItem* i = list.getFirstItem(); i; i = list.getNextItem(i)) order += i->object->toString().getValue();
  EXPECT_EQ("acb", order);
  MCoordinate2D same(2, 1);
  EXPECT_TRUE(probe.isEqual(&same));
  EXPECT_FALSE(probe.isEqual(&absent));
  EXPECT_EQ(-2, probe.compare(nullptr));
}
