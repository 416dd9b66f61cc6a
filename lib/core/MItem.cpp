#include "lib/core/MItem.h"

MItem::MItem(MObject* _key, MObject* _object, bool _release) : key(_key), object(_object) {
  if (key != nullptr) key->setOwner(this);
  if (_release && object != nullptr) object->setOwner(this);
}

MItem::~MItem() {
  if (key != nullptr && key->getOwner() == this) delete key;
  // A value used as its own key was deleted above already.
  if (object != nullptr && object != key && object->getOwner() == this) delete object;
}
