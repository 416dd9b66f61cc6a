#ifndef VISTREL_TESTS_CONTAINERTESTSUPPORT_H
#define VISTREL_TESTS_CONTAINERTESTSUPPORT_H

#include <functional>
#include <string>
#include <vector>

#include "lib/core/MException.h"
#include "lib/core/MItem.h"
#include "lib/core/MStorage.h"
#include "lib/core/MString.h"

// Own namespace: the test programs link several support headers into one binary.
namespace containertest {

// A text value that counts its live instances, to see what a container deletes.
class Probe : public MString {
 public:
  explicit Probe(const char* _text = "") : MString(_text) { ++alive; }
  ~Probe() override { --alive; }
  static inline int alive = 0;
};

// "location | message" for each level of a chain, outermost first.
inline std::vector<std::string> chainOf(const MException& _e) {
  std::vector<std::string> levels;
  for (const MException* p = &_e; p != nullptr; p = p->getInner())
    levels.push_back(std::string(p->getLocation().getValue()) + " | " + p->getMessage().getValue());
  return levels;
}

// The chain of the failure an operation raises; empty when it raises none.
inline std::vector<std::string> failureOf(const std::function<void()>& _operation) {
  try {
    _operation();
  } catch (const MException& e) {
    return chainOf(e);
  }
  return {};
}

// The keys' texts in iteration order.
inline std::vector<std::string> keysOf(MStorage& _storage) {
  std::vector<std::string> keys;
  for (MItem* item = _storage.getFirstItem(); item != nullptr; item = _storage.getNextItem(item))
    keys.push_back(item->key->toString().getValue());
  return keys;
}

// The values' texts in iteration order.
inline std::vector<std::string> valuesOf(MStorage& _storage) {
  std::vector<std::string> values;
  for (MItem* item = _storage.getFirstItem(); item != nullptr; item = _storage.getNextItem(item))
    values.push_back(item->object->toString().getValue());
  return values;
}

}  // namespace containertest
using namespace containertest;

#endif
