#include "lib/core/MList.h"

#include <cstring>

#include "lib/core/MArray.h"

MList::MList() : first(nullptr), last(nullptr), count(0), sorted(false), ascending(true) {}

MList::MList(MList& _list) : MList() { copyFrom(_list); }

MList::MList(const char* _list, char _separator) : MList() { setValue(_list, _separator); }

MList::MList(const char* _list, char _startChar, char _endChar) : MList() {
  setValue(_list, _startChar, _endChar);
}

MList::~MList() {
  MMutexLock lock(mutex);
  _clear();
}

void MList::copyFrom(MList& _list) {
  MMutexLock source(_list.mutex);
  MMutexLock own(mutex);
  // Appended as they come, duplicate keys included; the flags follow afterwards.
  for (MListItem* at = _list.first; at != nullptr; at = at->next)
    append(new MListItem(at->key->duplicate(), at->object->duplicate(), true));
  uniqueKeys = _list.uniqueKeys;
  sorted = _list.sorted;
  ascending = _list.ascending;
  exceptions = _list.exceptions;
}

MList& MList::operator=(MList& _list) {
  guard("MList& MList::operator=(MList& _list)", [&] {
    if (&_list == this) return;
    _clear();
    copyFrom(_list);
  });
  return *this;
}

MList& MList::operator=(MArray& _array) {
  guard("MList& MList::operator=(MArray& _array)", [&] {
    MMutexLock source(mutexOf(_array));
    _clear();
    for (MItem* at = _array.getFirstItem(); at != nullptr; at = _array.getNextItem(at))
      append(new MListItem(at->key->duplicate(), at->object->duplicate(), true));
    sorted = true;
    uniqueKeys = _array.getUniqueKeys();
  });
  return *this;
}

void MList::setSortMode(bool _sorted, bool _ascending) {
  sorted = _sorted;
  ascending = _ascending;
}

void MList::moveDataFrom(MList& _list) {
  guard("void MList::moveDataFrom(MList& _list)", [&] {
    if (&_list == this) return;
    MMutexLock source(_list.mutex);
    _clear();
    first = _list.first;
    last = _list.last;
    count = _list.count;
    uniqueKeys = _list.uniqueKeys;
    _list.first = nullptr;
    _list.last = nullptr;
    _list.count = 0;
    for (MListItem* at = first; at != nullptr; at = at->next) at->setOwner(this);
  });
}

void MList::releaseData() {
  guard("void MList::releaseData()", [&] {
    // The items no longer belong here, so they cannot be unlinked from this list later.
    for (MListItem* at = first; at != nullptr; at = at->next) at->setOwner(nullptr);
    first = nullptr;
    last = nullptr;
    count = 0;
  });
}

// ---- primitives ----------------------------------------------------------------------------

void MList::append(MListItem* _item) {
  _item->setOwner(this);
  _item->prev = last;
  _item->next = nullptr;
  if (last != nullptr) last->next = _item; else first = _item;
  last = _item;
  ++count;
}

void MList::insertBefore(MListItem* _item, MListItem* _before) {
  _item->setOwner(this);
  _item->next = _before;
  _item->prev = _before->prev;
  if (_before->prev != nullptr) _before->prev->next = _item; else first = _item;
  _before->prev = _item;
  ++count;
}

void MList::_addObject(MObject* _key, MObject* _object, bool _release) try {
  MListItem* item = new MListItem(_key, _object, _release);
  if (sorted) {
    for (MListItem* at = first; at != nullptr; at = at->next) {
      int c = orderKeys(_key, at->key);
      if (ascending ? c > 0 : c < 0) {
        insertBefore(item, at);
        return;
      }
    }
  }
  append(item);
} M_RETHROW("void MList::_addObject(MObject* _key,MObject *_object,bool _release)")

MItem* MList::_getItem(MObject* _key) {
  if (_key == nullptr) return nullptr;
  for (MListItem* at = first; at != nullptr; at = at->next)
    if (at->key->compare(_key) == 0) return at;
  return nullptr;
}

MItem* MList::_getItemByIndex(int _index) {
  if (_index < 0 || _index >= count) return nullptr;
  MListItem* at;
  if (_index < count - _index) {
    at = first;
    for (int i = 0; i < _index; ++i) at = at->next;
  } else {
    at = last;
    for (int i = count - 1; i > _index; --i) at = at->prev;
  }
  return at;
}

MItem* MList::_getNearestItem(MObject*, int& _index) {
  _index = -1;
  return nullptr;
}

void MList::_deleteItem(MItem* _item) try {
  // Only items of this list may be unlinked: a foreign one would corrupt both lists.
  if (_item->getOwner() != this)
    throw MException("### ITEM ###", "The requested item does not exist!");
  MListItem* item = static_cast<MListItem*>(_item);
  if (item->prev != nullptr) item->prev->next = item->next; else first = item->next;
  if (item->next != nullptr) item->next->prev = item->prev; else last = item->prev;
  --count;
  delete item;
} M_RETHROW("void MList::_deleteItem(MItem *_item)")

void MList::_clear() {
  MListItem* at = first;
  first = nullptr;
  last = nullptr;
  count = 0;
  while (at != nullptr) {
    MListItem* next = at->next;
    delete at;
    at = next;
  }
}

// ---- iteration -----------------------------------------------------------------------------

int MList::getLength() { return count; }

MItem* MList::getFirstItem() { return first; }

MItem* MList::getLastItem() { return last; }

MItem* MList::getNextItem(MItem* _item) {
  return _item != nullptr ? static_cast<MListItem*>(_item)->next : nullptr;
}

MItem* MList::getPrevItem(MItem* _item) {
  return _item != nullptr ? static_cast<MListItem*>(_item)->prev : nullptr;
}

// ---- object operations ---------------------------------------------------------------------

MObject* MList::newObject() { return new MList(); }

MObject* MList::duplicate() { return new MList(*this); }

uchar MList::getType() { return 16; }

MString MList::getTypeName() { return MString("MList"); }

bool MList::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MList") == 0) || MStorage::isKindOf(_name);
}

bool MList::isKindOf(uchar _type) { return _type == 16 || MStorage::isKindOf(_type); }

MString MList::toString() { return MString("LIST"); }

void MList::readStream(MInputStream* _stream) try {
  readRecord(_stream, 16, true);
} M_RETHROW("void MList::readStream(MInputStream *_stream)")

void MList::writeStream(MOutputStream* _stream) try {
  writeRecord(_stream, 16);
} M_RETHROW("void MList::writeStream(MOutputStream *_stream)")

void MList::print(FILE* _file, int _indent) { printPairs(_file, _indent, false); }
