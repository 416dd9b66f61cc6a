#include "db/GResultList.h"

#include <gtest/gtest.h>

#include "lib/core/MException.h"
#include "lib/core/MInt32.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"

namespace {

// How a sequence of additions ends: the keys the list holds in order, and whether the
// last addition failed as a repeated key.
struct Case {
  const char* name;
  // Each step: a key and whether it is added by addRising (otherwise by add).
  std::vector<std::pair<int, bool>> steps;
  bool preset;  // the list holds the key 7 before the result list takes it over
  bool fails;
  std::vector<int> keys;
};

TEST(GResultList, RisingKeysGoInUncheckedButRepeatsStillFail) {
  const Case cases[] = {
      {"rising only", {{0, true}, {1, true}, {5, true}}, false, false, {0, 1, 5}},
      {"rising then the same by add", {{0, true}, {1, true}, {1, false}}, false, true, {0, 1}},
      {"rising then a new key by add", {{0, true}, {1, true}, {2, false}}, false, false,
       {0, 1, 2}},
      {"a rising key repeated", {{3, true}, {3, true}}, false, true, {3}},
      {"a rising key falling back", {{3, true}, {4, true}, {3, true}}, false, true, {3, 4}},
      {"add first, then rising", {{2, false}, {2, true}}, false, true, {2}},
      {"rising over a kept key", {{7, true}}, true, true, {7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MList list;
    list.setUniqueKeys(true);
    if (c.preset) list.addObject(new MInt32(7), new MString("kept"));
    bool failed = false;
    {
      GResultList result(list, !c.preset);
      for (auto [key, rising] : c.steps) {
        try {
          if (rising) {
            result.addRising(key, new MString("x"));
          } else {
            result.add(key, new MString("x"));
          }
        } catch (const MException&) {
          failed = true;
        }
      }
    }
    EXPECT_EQ(c.fails, failed);
    EXPECT_TRUE(list.getUniqueKeys());
    std::vector<int> keys;
    for (MItem* item = list.getFirstItem(); item != nullptr; item = list.getNextItem(item)) {
      keys.push_back(item->key->toInt());
    }
    EXPECT_EQ(c.keys, keys);
  }
}

}  // namespace
