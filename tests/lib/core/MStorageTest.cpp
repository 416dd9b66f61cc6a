// Behaviour shared by both keyed containers, run against MList and MArray.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "lib/core/MArray.h"
#include "lib/core/MInt32.h"
#include "lib/core/MList.h"
#include "lib/core/MNull.h"
#include "tests/lib/core/ContainerTestSupport.h"

template <typename T>
class StorageTest : public ::testing::Test {
 protected:
  T storage;
};

using Containers = ::testing::Types<MList, MArray>;
TYPED_TEST_SUITE(StorageTest, Containers);

// Each overload wraps plain keys and values in their classes and finds them again through the
// lookup of the same key form.
TYPED_TEST(StorageTest, OverloadsWrapKeysAndValues) {
  struct Case {
    const char* name;
    std::function<void(MStorage&)> add;
    std::function<MObject*(MStorage&)> get;
    int keyType;
    int valueType;
    const char* valueText;
  };
  const Int64 big = 5000000000LL;
  const std::vector<Case> cases = {
      {"text key only", [](MStorage& s) { s.addObject("k"); }, [](MStorage& s) { return s.getObject("k"); }, 11, 10, "NULL"},
      {"text key, text", [](MStorage& s) { s.addObject("k", "v"); }, [](MStorage& s) { return s.getObject("k"); }, 11, 11, "v"},
      {"text key, int", [](MStorage& s) { s.addObject("k", -5); }, [](MStorage& s) { return s.getObject("k"); }, 11, 4, "-5"},
      {"text key, uint", [](MStorage& s) { s.addObject("k", 4000000000u); }, [](MStorage& s) { return s.getObject("k"); }, 11, 8, "4000000000"},
      {"int key only", [](MStorage& s) { s.addObject(7); }, [](MStorage& s) { return s.getObject(7); }, 4, 10, "NULL"},
      {"int key, text", [](MStorage& s) { s.addObject(7, "v"); }, [](MStorage& s) { return s.getObject(7); }, 4, 11, "v"},
      {"int key, int", [](MStorage& s) { s.addObject(7, 8); }, [](MStorage& s) { return s.getObject(7); }, 4, 4, "8"},
      {"uint key, uint", [](MStorage& s) { s.addObject(7u, 9u); }, [](MStorage& s) { return s.getObject(7u); }, 8, 8, "9"},
      {"uint key, text", [](MStorage& s) { s.addObject(7u, "v"); }, [](MStorage& s) { return s.getObject(7u); }, 8, 11, "v"},
      {"Int64 key, int", [big](MStorage& s) { s.addObject(big, 1); }, [big](MStorage& s) { return s.getObject(big); }, 5, 4, "1"},
      {"Int64 key, uint", [big](MStorage& s) { s.addObject(big, 2u); }, [big](MStorage& s) { return s.getObject(big); }, 5, 8, "2"},
      {"Int64 key only", [big](MStorage& s) { s.addObject(big); }, [big](MStorage& s) { return s.getObject(big); }, 5, 10, "NULL"},
      {"object key, object", [](MStorage& s) { s.addObject(new MInt32(3), new MString("v")); }, [](MStorage& s) { MInt32 k(3); return s.getObject(&k); }, 4, 11, "v"},
      {"set text key, text", [](MStorage& s) { s.setObject("k", "v"); }, [](MStorage& s) { return s.getObject("k"); }, 11, 11, "v"},
      {"set int key, int", [](MStorage& s) { s.setObject(7, 9); }, [](MStorage& s) { return s.getObject(7); }, 4, 4, "9"},
      {"set uint key only", [](MStorage& s) { s.setObject(7u); }, [](MStorage& s) { return s.getObject(7u); }, 8, 10, "NULL"},
      {"set Int64 key, text", [big](MStorage& s) { s.setObject(big, "v"); }, [big](MStorage& s) { return s.getObject(big); }, 5, 11, "v"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    this->storage.clear();
    c.add(this->storage);
    ASSERT_EQ(1, this->storage.getLength());
    MItem* item = this->storage.getFirstItem();
    EXPECT_EQ(c.keyType, item->key->getType());
    EXPECT_EQ(c.valueType, item->object->getType());
    EXPECT_EQ(item, item->key->getOwner());
    EXPECT_EQ(item, item->object->getOwner());
    MObject* found = c.get(this->storage);
    ASSERT_NE(nullptr, found);
    EXPECT_STREQ(c.valueText, found->toString().getValue());
  }
}

TYPED_TEST(StorageTest, KeysOfDifferentClassesNeverMatch) {
  this->storage.addObject(1, "int");
  this->storage.addObject("1", "text");
  this->storage.addObject(1u, "uint");
  EXPECT_EQ(3, this->storage.getLength());
  EXPECT_STREQ("int", this->storage.getObject(1)->toString().getValue());
  EXPECT_STREQ("text", this->storage.getObject("1")->toString().getValue());
  EXPECT_STREQ("uint", this->storage.getObject(1u)->toString().getValue());
  EXPECT_EQ(nullptr, this->storage.getObject((Int64)1));
}

TYPED_TEST(StorageTest, GetIntReadsTheValueOrMinusOne) {
  this->storage.addObject("n", "12");
  this->storage.addObject("i", 42);
  EXPECT_EQ(12, this->storage.getInt("n"));
  EXPECT_EQ(42, this->storage.getInt("i"));
  EXPECT_EQ(-1, this->storage.getInt("absent"));
  EXPECT_EQ(-1, this->storage.getInt(12));
}

TYPED_TEST(StorageTest, ValuesAreDeletedOnlyWhenReleased) {
  Probe kept("kept");
  {
    TypeParam storage;
    storage.addObject("owned", new Probe("owned"));
    storage.addObject("borrowed", &kept, false);
    storage.addObject("gone", new Probe("gone"));
    EXPECT_EQ(3, Probe::alive);
    storage.deleteObject("gone");
    EXPECT_EQ(2, Probe::alive);
  }
  EXPECT_EQ(1, Probe::alive);
  EXPECT_EQ(nullptr, kept.getOwner());
}

TYPED_TEST(StorageTest, RepeatedKeyFailsWithTheWholeChain) {
  this->storage.addObject("a", "1");
  EXPECT_EQ((std::vector<std::string>{
                "void MStorage::addObject(char *_key,char *_value) | Operation failed!",
                "void MStorage::addObject(MObject* _key,MObject *_object,bool _release) | Operation failed!",
                "### ADD ### | The object addition failed!",
                "### KEY ### | The key (a) is not unique (i.e. it is used)!"}),
            failureOf([&] { this->storage.addObject("a", "2"); }));
  EXPECT_EQ(1, this->storage.getLength());
  EXPECT_STREQ("1", this->storage.getObject("a")->toString().getValue());
}

// Every failing operation: raised with the innermost cause when exceptions are on, swallowed
// with the container unchanged when they are off. The wrapped keys and values of the failing
// overloads must not leak (checked by the sanitizer build).
TYPED_TEST(StorageTest, FailuresAreRaisedOrSwallowed) {
  struct Case {
    const char* name;
    std::function<void(MStorage&)> operation;
    const char* innermost;
  };
  static MNull sharedValue;
  const std::vector<Case> cases = {
      {"repeated text key", [](MStorage& s) { s.addObject("a", "x"); }, "### KEY ### | The key (a) is not unique (i.e. it is used)!"},
      {"repeated int key", [](MStorage& s) { s.addObject(1, 5); }, "### KEY ### | The key (1) is not unique (i.e. it is used)!"},
      {"repeated key, no value", [](MStorage& s) { s.addObject("a"); }, "### KEY ### | The key (a) is not unique (i.e. it is used)!"},
      {"null key", [](MStorage& s) { s.addObject((MObject*)nullptr, &sharedValue, false); }, "### KEY ### | The value of the key is NULL!"},
      {"null value", [](MStorage& s) { s.addObject("b", (MObject*)nullptr); }, "### OBJECT ### | The value of the object is NULL!"},
      {"set null value", [](MStorage& s) { s.setObject(9, (MObject*)nullptr); }, "### OBJECT ### | The value of the object is NULL!"},
      {"delete absent text key", [](MStorage& s) { s.deleteObject("zz"); }, "### ITEM ### | The value of the item is NULL"},
      {"delete absent Int64 key", [](MStorage& s) { s.deleteObject((Int64)1); }, "### ITEM ### | The value of the item is NULL"},
      {"delete null item", [](MStorage& s) { s.deleteItem(nullptr); }, "### ITEM ### | The value of the item is NULL"},
      {"null list", [](MStorage& s) { s.setValue(nullptr, ','); }, "### STRING ### | The value of the string is NULL"},
      {"null bracket list", [](MStorage& s) { s.setValue(nullptr, '[', ']'); }, "### STRING ### | The value of the string is NULL"},
      {"swap null", [](MStorage& s) { s.swapItems(nullptr, s.getFirstItem()); }, "### ITEM ### | The value of the item is NULL"},
  };
  for (bool exceptions : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (exceptions ? " (raised)" : " (swallowed)"));
      TypeParam storage;
      storage.addObject("a", "1");
      storage.addObject(1, 2);
      storage.setExceptions(exceptions);
      std::vector<std::string> chain = failureOf([&] { c.operation(storage); });
      if (exceptions) {
        ASSERT_FALSE(chain.empty());
        EXPECT_EQ(c.innermost, chain.back());
      } else {
        EXPECT_TRUE(chain.empty());
      }
      EXPECT_EQ(2, storage.getLength());
      EXPECT_STREQ("1", storage.getObject("a")->toString().getValue());
    }
  }
}

TYPED_TEST(StorageTest, SetReplacesTheValueAndConsumesTheKey) {
  this->storage.addObject("a", new Probe("old"));
  this->storage.setObject("a", new Probe("new"));
  EXPECT_EQ(1, this->storage.getLength());
  EXPECT_EQ(1, Probe::alive);
  EXPECT_STREQ("new", this->storage.getObject("a")->toString().getValue());

  // The key object given is deleted, the item keeps its own.
  MItem* item = this->storage.getFirstItem();
  MObject* ownKey = item->key;
  this->storage.setObject(new MString("a"), new MString("newer"), true);
  EXPECT_EQ(ownKey, item->key);
  EXPECT_EQ(0, Probe::alive);

  // Handing an item its own value or its own key again frees nothing it still holds.
  MObject* value = item->object;
  this->storage.setObject(item->key, value, true);
  EXPECT_EQ(ownKey, item->key);
  EXPECT_EQ(value, item->object);
  EXPECT_STREQ("newer", this->storage.getObject("a")->toString().getValue());
}

TYPED_TEST(StorageTest, SetOfAnAbsentKeyAddsOrFails) {
  this->storage.setObject("a", "1");
  EXPECT_EQ(1, this->storage.getLength());
  this->storage.setAddOnSet(false);
  EXPECT_EQ((std::vector<std::string>{
                "void MStorage::setObject(char *_key,char *_value) | Operation failed!",
                "void MStorage::setObject(MObject* _key,MObject *_object,bool _release) | Operation failed!",
                "### SET ### | Cannot set the object value!",
                "### ITEM ### | The requested item does not exist!"}),
            failureOf([&] { this->storage.setObject("b", "2"); }));
  EXPECT_EQ(1, this->storage.getLength());
  this->storage.setObject("a", "3");
  EXPECT_STREQ("3", this->storage.getObject("a")->toString().getValue());
}

TYPED_TEST(StorageTest, ItemsOfAnotherContainerAreRefused) {
  TypeParam other;
  other.addObject(1);
  other.addObject(2);
  other.addObject(3);
  this->storage.addObject(2);
  std::vector<std::string> chain = failureOf([&] { this->storage.deleteItem(other.getItemByIndex(1)); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ("### ITEM ### | The requested item does not exist!", chain.back());
  EXPECT_EQ(3, other.getLength());
  EXPECT_EQ(1, this->storage.getLength());
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), keysOf(other));
}

TYPED_TEST(StorageTest, IterationAndPositions) {
  for (int i = 0; i < 7; ++i) this->storage.addObject(i, i * 10);
  MStorage& s = this->storage;
  EXPECT_EQ(nullptr, s.getNextItem(s.getLastItem()));
  EXPECT_EQ(nullptr, s.getPrevItem(s.getFirstItem()));
  EXPECT_EQ(nullptr, s.getNextItem(nullptr));
  EXPECT_EQ(nullptr, s.getPrevItem(nullptr));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(i * 10, s.getItemByIndex(i)->object->toInt());
  EXPECT_EQ(nullptr, s.getItemByIndex(-1));
  EXPECT_EQ(nullptr, s.getItemByIndex(7));
  std::vector<std::string> backwards;
  for (MItem* item = s.getLastItem(); item != nullptr; item = s.getPrevItem(item))
    backwards.push_back(item->key->toString().getValue());
  EXPECT_EQ((std::vector<std::string>{"6", "5", "4", "3", "2", "1", "0"}), backwards);

  s.deleteObject(3);
  s.deleteItem(s.getFirstItem());
  EXPECT_EQ((std::vector<std::string>{"1", "2", "4", "5", "6"}), keysOf(s));
  s.clear();
  EXPECT_EQ(0, s.getLength());
  EXPECT_EQ(nullptr, s.getFirstItem());
}

TYPED_TEST(StorageTest, SortByKeyBothWaysAndSwapMovesOwnership) {
  MStorage& s = this->storage;
  s.addObject(3, "c");
  s.addObject(1, "a");
  s.addObject(2, "b");
  s.sortByKey(false);
  EXPECT_EQ((std::vector<std::string>{"3", "2", "1"}), keysOf(s));
  EXPECT_EQ((std::vector<std::string>{"c", "b", "a"}), valuesOf(s));
  s.sortByKey(true);
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), keysOf(s));
  EXPECT_STREQ("b", s.getObject(2)->toString().getValue());

  Probe borrowed("borrowed");
  TypeParam pair;
  pair.addObject(1, new Probe("owned"));
  pair.addObject(2, &borrowed, false);
  MItem* first = pair.getFirstItem();
  MItem* second = pair.getNextItem(first);
  pair.swapItems(first, second);
  EXPECT_EQ(&borrowed, first->object);
  EXPECT_EQ(nullptr, borrowed.getOwner());
  EXPECT_EQ(second, second->object->getOwner());
  EXPECT_EQ(second, second->key->getOwner());
  pair.deleteItem(second);
  EXPECT_EQ(1, Probe::alive);  // the owned value went with its item, the borrowed one stays
}

TYPED_TEST(StorageTest, MixedKeyClassesSortByTypeCodeFirst) {
  MStorage& s = this->storage;
  s.addObject("b");
  s.addObject(2);
  s.addObject("a");
  s.addObject(1);
  s.sortByKey(true);
  EXPECT_EQ((std::vector<std::string>{"1", "2", "a", "b"}), keysOf(s));
  EXPECT_NE(nullptr, s.getObject("a"));
  EXPECT_NE(nullptr, s.getObject(2));
}

TYPED_TEST(StorageTest, ObjectIdentity) {
  MStorage& s = this->storage;
  EXPECT_TRUE(s.isContainer());
  EXPECT_FALSE(s.isNumeric());
  EXPECT_TRUE(s.isKindOf("MStorage"));
  EXPECT_TRUE(s.isKindOf((uchar)17));
  EXPECT_TRUE(s.isKindOf(""));
  EXPECT_FALSE(s.isKindOf("MString"));
  std::unique_ptr<MObject> fresh(s.newObject());
  EXPECT_EQ(s.getType(), fresh->getType());
}

// Two threads filling one container: the changing operations are serialised.
TYPED_TEST(StorageTest, ConcurrentAddsAreSerialised) {
  auto fill = [this](int _base) {
    for (int i = 0; i < 2000; ++i) this->storage.addObject(_base + i, i);
  };
  std::thread a(fill, 0);
  std::thread b(fill, 100000);
  a.join();
  b.join();
  EXPECT_EQ(4000, this->storage.getLength());
  EXPECT_EQ(1999, this->storage.getInt(101999));
}
