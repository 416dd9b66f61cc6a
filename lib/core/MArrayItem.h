#ifndef VISTREL_MARRAYITEM_H
#define VISTREL_MARRAYITEM_H

#include "lib/core/MItem.h"

// An item of an MArray: a pair plus its slot in the array, refreshed whenever the array moves
// it and checked before use.
class MArrayItem : public MItem {
 public:
  MArrayItem(MObject* _key, MObject* _object, bool _release, int _index);

  int index;
};

#endif
