#include "lib/core/MArray.h"

#include <cstring>

namespace {
// Growth step of the slot array, which is also its first size.
const int growthStep = 100;
}  // namespace

MArray::MArray() : capacity(0), count(0), items(nullptr) {}

MArray::MArray(MArray& _array) : MArray() { copyFrom(_array); }

MArray::~MArray() {
  MMutexLock lock(mutex);
  _clear();
}

void MArray::copyFrom(MArray& _array) {
  MMutexLock source(_array.mutex);
  MMutexLock own(mutex);
  if (_array.count > capacity) resize(_array.count);
  // The source's order is already the array order: each copy goes to the next slot.
  for (int i = 0; i < _array.count; ++i) {
    MArrayItem* from = _array.items[i];
    items[count] = new MArrayItem(from->key->duplicate(), from->object->duplicate(), true, count);
    ++count;
  }
  uniqueKeys = _array.uniqueKeys;
  exceptions = _array.exceptions;
}

MArray& MArray::operator=(MArray& _array) {
  guard("MArray& MArray::operator=(MArray& _array)", [&] {
    if (&_array == this) return;
    _clear();
    copyFrom(_array);
  });
  return *this;
}

// ---- primitives ----------------------------------------------------------------------------

void MArray::resize(int _capacity) {
  MArrayItem** grown = new MArrayItem*[_capacity];
  if (count > 0) memcpy(grown, items, count * sizeof(MArrayItem*));
  delete[] items;
  items = grown;
  capacity = _capacity;
}

void MArray::_reserve(int _count) {
  if (_count > capacity) resize(_count);
}

int MArray::positionOf(MItem* _item) {
  MArrayItem* item = dynamic_cast<MArrayItem*>(_item);
  if (item == nullptr) return -1;
  if (item->index >= 0 && item->index < count && items[item->index] == item) return item->index;
  // An index that no longer points at its item: find the item itself.
  for (int i = 0; i < count; ++i) {
    if (items[i] == item) {
      item->index = i;
      return i;
    }
  }
  return -1;
}

void MArray::_addObject(MObject* _key, MObject* _object, bool _release) try {
  // Room first, so that nothing can fail once the item owns the key and the value.
  if (capacity == 0 || capacity <= count + 1) resize(capacity + growthStep);
  int position;
  _getNearestItem(_key, position);
  if (position < 0 || position > count) position = count;
  MArrayItem* item = new MArrayItem(_key, _object, _release, position);
  memmove(items + position + 1, items + position, (count - position) * sizeof(MArrayItem*));
  items[position] = item;
  ++count;
  for (int i = position + 1; i < count; ++i) items[i]->index = i;
} M_RETHROW("void MArray::_addObject(MObject* _key,MObject *_object,bool _release)")

MItem* MArray::_getNearestItem(MObject* _key, int& _index) {
  _index = -1;
  if (_key == nullptr) return nullptr;
  // Bisection to a few items from the place, then a short walk to the first item whose key
  // is not smaller.
  int low = 0, high = count, mid = 0;
  while (high - low > 1) {
    mid = low + (high - low) / 2;
    int c = orderKeys(items[mid]->key, _key);
    if (c == 0) {
      _index = mid;
      return items[mid];
    }
    if (c < 0) high = mid; else low = mid;
  }
  if (mid > 0) --mid;
  for (int i = mid; i < count; ++i) {
    if (orderKeys(items[i]->key, _key) <= 0) {
      _index = i;
      return items[i];
    }
  }
  _index = count;
  return nullptr;
}

MItem* MArray::_getItem(MObject* _key) {
  int position;
  MItem* item = _getNearestItem(_key, position);
  return item != nullptr && item->key->compare(_key) == 0 ? item : nullptr;
}

MItem* MArray::_getItemByIndex(int _index) {
  return _index >= 0 && _index < count ? items[_index] : nullptr;
}

void MArray::_deleteItem(MItem* _item) try {
  int position = positionOf(_item);
  if (position < 0) throw MException("### ITEM ###", "The requested item does not exist!");
  delete items[position];
  --count;
  memmove(items + position, items + position + 1, (count - position) * sizeof(MArrayItem*));
  for (int i = position; i < count; ++i) items[i]->index = i;
} M_RETHROW("void MArray::_deleteItem(MItem *_item)")

void MArray::_clear() {
  for (int i = 0; i < count; ++i) delete items[i];
  delete[] items;
  items = nullptr;
  count = 0;
  capacity = 0;
}

// ---- iteration -----------------------------------------------------------------------------

int MArray::getLength() { return count; }

MItem* MArray::getFirstItem() { return count > 0 ? items[0] : nullptr; }

MItem* MArray::getLastItem() { return count > 0 ? items[count - 1] : nullptr; }

MItem* MArray::getNextItem(MItem* _item) {
  int position = positionOf(_item);
  return position >= 0 && position + 1 < count ? items[position + 1] : nullptr;
}

MItem* MArray::getPrevItem(MItem* _item) {
  int position = positionOf(_item);
  return position > 0 ? items[position - 1] : nullptr;
}

// ---- object operations ---------------------------------------------------------------------

MObject* MArray::newObject() { return new MArray(); }

MObject* MArray::duplicate() { return new MArray(*this); }

uchar MArray::getType() { return 18; }

MString MArray::getTypeName() { return MString("MArray"); }

bool MArray::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MArray") == 0) || MStorage::isKindOf(_name);
}

bool MArray::isKindOf(uchar _type) { return _type == 18 || MStorage::isKindOf(_type); }

MString MArray::toString() { return MString("MArray"); }

void MArray::readStream(MInputStream* _stream) try {
  readRecord(_stream, 18, false);
} M_RETHROW("void MArray::readStream(MInputStream *_stream)")

void MArray::writeStream(MOutputStream* _stream) try {
  writeRecord(_stream, 18);
} M_RETHROW("void MArray::writeStream(MOutputStream *_stream)")

void MArray::print(FILE* _file, int _indent) { printPairs(_file, _indent, true); }
