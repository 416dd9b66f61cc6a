#include "lib/core/MArrayItem.h"

MArrayItem::MArrayItem(MObject* _key, MObject* _object, bool _release, int _index)
    : MItem(_key, _object, _release), index(_index) {}
