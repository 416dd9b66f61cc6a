#include "lib/core/MListItem.h"

MListItem::MListItem(MObject* _key, MObject* _object, bool _release)
    : MItem(_key, _object, _release), prev(nullptr), next(nullptr) {}
