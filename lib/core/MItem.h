#ifndef VISTREL_MITEM_H
#define VISTREL_MITEM_H

#include "lib/core/MObject.h"

// One (key, value) pair of a keyed container. The key is always owned by the item; the value
// only when its owner is the item (added with the release flag), so a value added without it
// outlives the item and stays the caller's. Callers read key and object directly.
class MItem : public MObject {
 public:
  MItem(MObject* _key, MObject* _object, bool _release);
  ~MItem() override;
  MItem(const MItem&) = delete;
  MItem& operator=(const MItem&) = delete;

  MObject* key;
  MObject* object;
};

#endif
