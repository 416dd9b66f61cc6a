#include "db/GResultList.h"

#include "lib/core/MInt32.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/core/MUInt32.h"

GResultList::GResultList(MList& _list, bool _clear) : list(_list), uniqueKeys(_list.getUniqueKeys()) {
  if (_clear) list.clear();
  for (MItem* item = list.getFirstItem(); item != nullptr; item = list.getNextItem(item)) {
    taken.insert(identity(item->key));
  }
  list.setUniqueKeys(false);
}

GResultList::~GResultList() { list.setUniqueKeys(uniqueKeys); }

// Keys of different classes never match, so the class is part of a key's identity. The
// 32-bit numbers most results are keyed by are written without the object's text, which
// would cost two allocations per entry.
std::string GResultList::identity(MObject* _key) {
  std::string id = std::to_string((int)_key->getType()) + ":";
  if (MInt32* number = dynamic_cast<MInt32*>(_key)) {
    id += std::to_string(number->getValue());
  } else if (MUInt32* unsignedNumber = dynamic_cast<MUInt32*>(_key)) {
    id += std::to_string(unsignedNumber->getValue());
  } else {
    id += _key->toString().getValue();
  }
  return id;
}

void GResultList::add(int _key, MObject* _object) { add(new MInt32(_key), _object); }

void GResultList::add(uint _key, MObject* _object) { add(new MUInt32(_key), _object); }

void GResultList::add(const char* _key, MObject* _object) { add(new MString(_key), _object); }

void GResultList::addRising(int _key, MObject* _object) {
  if (_key <= highest || !taken.empty()) {
    add(_key, _object);
    return;
  }
  highest = _key;
  recorded = false;
  MInt32* key = new MInt32(_key);
  try {
    list.addObject(key, _object);
  } catch (...) {
    if (key->getOwner() == nullptr) delete key;
    if (_object->getOwner() == nullptr) delete _object;
    throw;
  }
}

void GResultList::add(MObject* _key, MObject* _object) {
  if (!recorded) {
    for (MItem* item = list.getFirstItem(); item != nullptr; item = list.getNextItem(item)) {
      taken.insert(identity(item->key));
    }
    recorded = true;
  }
  try {
    if (uniqueKeys && !taken.insert(identity(_key)).second) {
      // A repeated key: the list's own check raises its usual failure.
      list.setUniqueKeys(true);
      try {
        list.addObject(_key, _object);
      } catch (...) {
        list.setUniqueKeys(false);
        throw;
      }
      list.setUniqueKeys(false);
    } else {
      list.addObject(_key, _object);
    }
  } catch (...) {
    if (_key->getOwner() == nullptr) delete _key;
    if (_object->getOwner() == nullptr) delete _object;
    throw;
  }
}
