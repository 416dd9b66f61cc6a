#ifndef VISTREL_MLISTITEM_H
#define VISTREL_MLISTITEM_H

#include "lib/core/MItem.h"

// An item of an MList: a pair plus its links to the neighbours.
class MListItem : public MItem {
 public:
  MListItem(MObject* _key, MObject* _object, bool _release);

  MListItem* prev;
  MListItem* next;
};

#endif
