#include "lib/core/MStorage.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "lib/core/MInputStream.h"
#include "lib/core/MInt32.h"
#include "lib/core/MInt64.h"
#include "lib/core/MNull.h"
#include "lib/core/MOutputStream.h"
#include "lib/core/MTypeRegistry.h"
#include "lib/core/MUInt32.h"

namespace {

const char* const addSignature = "void MStorage::addObject(MObject* _key,MObject *_object,bool _release)";
const char* const setSignature = "void MStorage::setObject(MObject* _key,MObject *_object,bool _release)";
const char* const deleteItemSignature = "void MStorage::deleteItem(MItem *_item)";

// A configuration line is read in pieces of at most this many bytes (terminator included).
const int loadLineSize = 10000;

// Container records nest through their values; a record nested deeper than this is refused
// rather than allowed to exhaust the stack.
const int maxRecordDepth = 100;
thread_local int recordDepth = 0;

// A key for finding an item by a text, borrowing the caller's text: names are looked up on
// every page, and copying each one cost an allocation.
class TextKey : public MString {
 public:
  explicit TextKey(const char* _text) : MString(Borrowed(), _text) {}
  TextKey(const TextKey&) = delete;
  TextKey& operator=(const TextKey&) = delete;
  ~TextKey() override { giveBack(); }
};

class RecordDepth {
 public:
  RecordDepth() {
    if (recordDepth >= maxRecordDepth)
      throw MException("### READ ###", "The record is nested too deeply!");
    ++recordDepth;
  }
  ~RecordDepth() { --recordDepth; }
};

// A new empty object for a type byte read from a record, or null when the type is not
// registered or its objects have no record (they would read nothing and never advance).
MObject* newRecordObject(uchar _type) {
  MObject* object = MTypeRegistry::instance().newObject(_type);
  if (object != nullptr && object->getStreamSize() < 1) {
    delete object;
    object = nullptr;
  }
  return object;
}

}  // namespace

MStorage::MStorage() : uniqueKeys(true), exceptions(true), addOnSet(true) {}

MStorage::~MStorage() {}

// ---- the throwing cores --------------------------------------------------------------------

void MStorage::doAdd(MObject* _key, MObject* _object, bool _release) {
  M_WRAP("### ADD ###", "The object addition failed!", {
    if (_key == nullptr) throw MException("### KEY ###", "The value of the key is NULL!");
    if (_object == nullptr) throw MException("### OBJECT ###", "The value of the object is NULL!");
    if (uniqueKeys && _getItem(_key) != nullptr) {
      MString message = MString::format("The key (%s) is not unique (i.e. it is used)!",
                                        _key->toString().getValue());
      throw MException("### KEY ###", message.getValue());
    }
    _addObject(_key, _object, _release);
  });
}

void MStorage::doSet(MObject* _key, MObject* _object, bool _release) {
  M_WRAP("### SET ###", "Cannot set the object value!", {
    if (_key == nullptr) throw MException("### KEY ###", "The value of the key is NULL!");
    if (_object == nullptr) throw MException("### OBJECT ###", "The value of the object is NULL!");
    MItem* item = _getItem(_key);
    if (item == nullptr) {
      if (!addOnSet) throw MException("### ITEM ###", "The requested item does not exist!");
      M_WRAP(addSignature, "Operation failed!", doAdd(_key, _object, _release));
    } else {
      replaceValue(item, _key, _object, _release);
    }
  });
}

void MStorage::replaceValue(MItem* _item, MObject* _key, MObject* _object, bool _release) {
  // Giving an item its own value or its own key again must not free what it still holds.
  if (_item->object != _object) {
    MObject* old = _item->object;
    _item->object = _object;
    if (old != nullptr && old != _item->key && old->getOwner() == _item) delete old;
  }
  if (_release) _object->setOwner(_item);
  if (_key != _item->key && _key != _object) delete _key;
}

void MStorage::doDeleteItem(MItem* _item) {
  M_WRAP("### DELETE ###", "Cannot delete the requested item", {
    if (_item == nullptr) throw MException("### ITEM ###", "The value of the item is NULL");
    _deleteItem(_item);
  });
}

void MStorage::addPair(MObject* _key, bool _madeKey, MObject* _object, bool _madeValue,
                       bool _release) {
  try {
    M_WRAP(addSignature, "Operation failed!", doAdd(_key, _object, _release));
  } catch (...) {
    // A failed add takes over nothing, so what the overload wrapped is still its own.
    if (_madeKey) delete _key;
    if (_madeValue) delete _object;
    throw;
  }
}

void MStorage::setPair(MObject* _key, bool _madeKey, MObject* _object, bool _madeValue,
                       bool _release) {
  try {
    M_WRAP(setSignature, "Operation failed!", doSet(_key, _object, _release));
  } catch (...) {
    if (_madeKey) delete _key;
    if (_madeValue) delete _object;
    throw;
  }
}

void MStorage::setText(const char* _key, MObject* _object, bool _madeValue, bool _release) {
  // A text already present gets its new value in place: no key is made and the item is
  // looked for once. Everything else (a new text, a missing value) goes the general way.
  TextKey probe(_key);
  MItem* item = _object != nullptr ? _getItem(&probe) : nullptr;
  if (item != nullptr) {
    replaceValue(item, item->key, _object, _release);
  } else {
    setPair(new MString(_key), true, _object, _madeValue, _release);
  }
}

void MStorage::deleteByKey(MObject* _key) {
  MItem* item = _getItem(_key);
  // Without exceptions a missing key is no failure: said at once, not by a throw that the
  // guard would swallow (callers clear keys that are mostly absent, on every page).
  if (item == nullptr && !exceptions) return;
  M_WRAP(deleteItemSignature, "Operation failed!", doDeleteItem(item));
}

// ---- adding --------------------------------------------------------------------------------

void MStorage::addObject(MObject* _key, MObject* _object, bool _release) {
  guard(addSignature, [&] { doAdd(_key, _object, _release); });
}

void MStorage::addObject(MObject* _key) {
  guard("void MStorage::addObject(MObject* _key)",
        [&] { addPair(_key, false, new MNull(), true, true); });
}

void MStorage::addObject(MObject* _key, MObject* _object) {
  guard("void MStorage::addObject(MObject* _key,MObject *_object)",
        [&] { addPair(_key, false, _object, false, true); });
}

void MStorage::addObject(const char* _key) {
  guard("void MStorage::addObject(char *_key)",
        [&] { addPair(new MString(_key), true, new MNull(), true, true); });
}

void MStorage::addObject(const char* _key, MObject* _object) {
  guard("void MStorage::addObject(char *_key,MObject *_object)",
        [&] { addPair(new MString(_key), true, _object, false, true); });
}

void MStorage::addObject(const char* _key, MObject* _object, bool _release) {
  guard("void MStorage::addObject(char *_key,MObject *_object,bool _release)",
        [&] { addPair(new MString(_key), true, _object, false, _release); });
}

void MStorage::addObject(const char* _key, const char* _value) {
  guard("void MStorage::addObject(char *_key,char *_value)",
        [&] { addPair(new MString(_key), true, new MString(_value), true, true); });
}

void MStorage::addObject(const char* _key, int _value) {
  guard("void MStorage::addObject(char *_key,int _value)",
        [&] { addPair(new MString(_key), true, new MInt32(_value), true, true); });
}

void MStorage::addObject(const char* _key, uint _value) {
  guard("void MStorage::addObject(char *_key,uint _value)",
        [&] { addPair(new MString(_key), true, new MUInt32(_value), true, true); });
}

void MStorage::addObject(int _key) {
  guard("void MStorage::addObject(int _key)",
        [&] { addPair(new MInt32(_key), true, new MNull(), true, true); });
}

void MStorage::addObject(int _key, MObject* _object) {
  guard("void MStorage::addObject(int _key,MObject *_object)",
        [&] { addPair(new MInt32(_key), true, _object, false, true); });
}

void MStorage::addObject(int _key, MObject* _object, bool _release) {
  guard("void MStorage::addObject(int _key,MObject *_object,bool _release)",
        [&] { addPair(new MInt32(_key), true, _object, false, _release); });
}

void MStorage::addObject(int _key, const char* _value) {
  guard("void MStorage::addObject(int _key,char *_value)",
        [&] { addPair(new MInt32(_key), true, new MString(_value), true, true); });
}

void MStorage::addObject(int _key, int _value) {
  guard("void MStorage::addObject(int _key,int _value)",
        [&] { addPair(new MInt32(_key), true, new MInt32(_value), true, true); });
}

void MStorage::addObject(uint _key) {
  guard("void MStorage::addObject(uint _key)",
        [&] { addPair(new MUInt32(_key), true, new MNull(), true, true); });
}

void MStorage::addObject(uint _key, MObject* _object) {
  guard("void MStorage::addObject(uint _key,MObject *_object)",
        [&] { addPair(new MUInt32(_key), true, _object, false, true); });
}

void MStorage::addObject(uint _key, MObject* _object, bool _release) {
  guard("void MStorage::addObject(uint _key,MObject *_object,bool _release)",
        [&] { addPair(new MUInt32(_key), true, _object, false, _release); });
}

void MStorage::addObject(uint _key, const char* _value) {
  guard("void MStorage::addObject(uint _key,char *_value)",
        [&] { addPair(new MUInt32(_key), true, new MString(_value), true, true); });
}

void MStorage::addObject(uint _key, int _value) {
  guard("void MStorage::addObject(uint _key,int _value)",
        [&] { addPair(new MUInt32(_key), true, new MInt32(_value), true, true); });
}

void MStorage::addObject(uint _key, uint _value) {
  guard("void MStorage::addObject(uint _key,uint _value)",
        [&] { addPair(new MUInt32(_key), true, new MUInt32(_value), true, true); });
}

void MStorage::addObject(Int64 _key) {
  guard("void MStorage::addObject(Int64 _key)",
        [&] { addPair(new MInt64(_key), true, new MNull(), true, true); });
}

void MStorage::addObject(Int64 _key, MObject* _object) {
  guard("void MStorage::addObject(Int64 _key,MObject *_object)",
        [&] { addPair(new MInt64(_key), true, _object, false, true); });
}

void MStorage::addObject(Int64 _key, MObject* _object, bool _release) {
  guard("void MStorage::addObject(Int64 _key,MObject *_object,bool _release)",
        [&] { addPair(new MInt64(_key), true, _object, false, _release); });
}

void MStorage::addObject(Int64 _key, const char* _value) {
  guard("void MStorage::addObject(Int64 _key,char *_value)",
        [&] { addPair(new MInt64(_key), true, new MString(_value), true, true); });
}

void MStorage::addObject(Int64 _key, int _value) {
  guard("void MStorage::addObject(Int64 _key,int _value)",
        [&] { addPair(new MInt64(_key), true, new MInt32(_value), true, true); });
}

void MStorage::addObject(Int64 _key, uint _value) {
  guard("void MStorage::addObject(Int64 _key,uint _value)",
        [&] { addPair(new MInt64(_key), true, new MUInt32(_value), true, true); });
}

// ---- replacing -----------------------------------------------------------------------------

void MStorage::setObject(MObject* _key, MObject* _object, bool _release) {
  guard(setSignature, [&] { doSet(_key, _object, _release); });
}

void MStorage::setObject(MObject* _key) {
  guard("void MStorage::setObject(MObject* _key)",
        [&] { setPair(_key, false, new MNull(), true, true); });
}

void MStorage::setObject(MObject* _key, MObject* _object) {
  guard("void MStorage::setObject(MObject* _key,MObject *_object)",
        [&] { setPair(_key, false, _object, false, true); });
}

void MStorage::setObject(const char* _key) {
  guard("void MStorage::setObject(char *_key)",
        [&] { setText(_key, new MNull(), true, true); });
}

void MStorage::setObject(const char* _key, MObject* _object) {
  guard("void MStorage::setObject(char *_key,MObject *_object)",
        [&] { setText(_key, _object, false, true); });
}

void MStorage::setObject(const char* _key, MObject* _object, bool _release) {
  guard("void MStorage::setObject(char *_key,MObject *_object,bool _release)",
        [&] { setText(_key, _object, false, _release); });
}

void MStorage::setObject(const char* _key, const char* _value) {
  guard("void MStorage::setObject(char *_key,char *_value)",
        [&] { setText(_key, new MString(_value), true, true); });
}

void MStorage::setObject(const char* _key, int _value) {
  guard("void MStorage::setObject(char *_key,int _value)",
        [&] { setText(_key, new MInt32(_value), true, true); });
}

void MStorage::setObject(const char* _key, uint _value) {
  guard("void MStorage::setObject(char *_key,uint _value)",
        [&] { setText(_key, new MUInt32(_value), true, true); });
}

void MStorage::setObject(int _key) {
  guard("void MStorage::setObject(int _key)",
        [&] { setPair(new MInt32(_key), true, new MNull(), true, true); });
}

void MStorage::setObject(int _key, MObject* _object) {
  guard("void MStorage::setObject(int _key,MObject *_object)",
        [&] { setPair(new MInt32(_key), true, _object, false, true); });
}

void MStorage::setObject(int _key, MObject* _object, bool _release) {
  guard("void MStorage::setObject(int _key,MObject *_object,bool _release)",
        [&] { setPair(new MInt32(_key), true, _object, false, _release); });
}

void MStorage::setObject(int _key, const char* _value) {
  guard("void MStorage::setObject(int _key,char *_value)",
        [&] { setPair(new MInt32(_key), true, new MString(_value), true, true); });
}

void MStorage::setObject(int _key, int _value) {
  guard("void MStorage::setObject(int _key,int _value)",
        [&] { setPair(new MInt32(_key), true, new MInt32(_value), true, true); });
}

void MStorage::setObject(uint _key) {
  guard("void MStorage::setObject(uint _key)",
        [&] { setPair(new MUInt32(_key), true, new MNull(), true, true); });
}

void MStorage::setObject(uint _key, MObject* _object) {
  guard("void MStorage::setObject(uint _key,MObject *_object)",
        [&] { setPair(new MUInt32(_key), true, _object, false, true); });
}

void MStorage::setObject(uint _key, MObject* _object, bool _release) {
  guard("void MStorage::setObject(uint _key,MObject *_object,bool _release)",
        [&] { setPair(new MUInt32(_key), true, _object, false, _release); });
}

void MStorage::setObject(uint _key, const char* _value) {
  guard("void MStorage::setObject(uint _key,char *_value)",
        [&] { setPair(new MUInt32(_key), true, new MString(_value), true, true); });
}

void MStorage::setObject(uint _key, int _value) {
  guard("void MStorage::setObject(uint _key,int _value)",
        [&] { setPair(new MUInt32(_key), true, new MInt32(_value), true, true); });
}

void MStorage::setObject(uint _key, uint _value) {
  guard("void MStorage::setObject(uint _key,uint _value)",
        [&] { setPair(new MUInt32(_key), true, new MUInt32(_value), true, true); });
}

void MStorage::setObject(Int64 _key) {
  guard("void MStorage::setObject(Int64 _key)",
        [&] { setPair(new MInt64(_key), true, new MNull(), true, true); });
}

void MStorage::setObject(Int64 _key, MObject* _object) {
  guard("void MStorage::setObject(Int64 _key,MObject *_object)",
        [&] { setPair(new MInt64(_key), true, _object, false, true); });
}

void MStorage::setObject(Int64 _key, MObject* _object, bool _release) {
  guard("void MStorage::setObject(Int64 _key,MObject *_object,bool _release)",
        [&] { setPair(new MInt64(_key), true, _object, false, _release); });
}

void MStorage::setObject(Int64 _key, const char* _value) {
  guard("void MStorage::setObject(Int64 _key,char *_value)",
        [&] { setPair(new MInt64(_key), true, new MString(_value), true, true); });
}

void MStorage::setObject(Int64 _key, int _value) {
  guard("void MStorage::setObject(Int64 _key,int _value)",
        [&] { setPair(new MInt64(_key), true, new MInt32(_value), true, true); });
}

void MStorage::setObject(Int64 _key, uint _value) {
  guard("void MStorage::setObject(Int64 _key,uint _value)",
        [&] { setPair(new MInt64(_key), true, new MUInt32(_value), true, true); });
}

// ---- looking up ----------------------------------------------------------------------------

MItem* MStorage::getItem(MObject* _key) { return _getItem(_key); }

MObject* MStorage::getObject(MObject* _key) {
  MItem* item = _getItem(_key);
  return item != nullptr ? item->object : nullptr;
}

MObject* MStorage::getObject(const char* _key) {
  TextKey key(_key);
  return getObject(&key);
}

MObject* MStorage::getObject(int _key) {
  MInt32 key(_key);
  return getObject(&key);
}

MObject* MStorage::getObject(uint _key) {
  MUInt32 key(_key);
  return getObject(&key);
}

MObject* MStorage::getObject(Int64 _key) {
  MInt64 key(_key);
  return getObject(&key);
}

int MStorage::getInt(MObject* _key) {
  MObject* object = getObject(_key);
  return object != nullptr ? object->toInt() : -1;
}

int MStorage::getInt(const char* _key) {
  TextKey key(_key);
  return getInt(&key);
}

int MStorage::getInt(int _key) {
  MInt32 key(_key);
  return getInt(&key);
}

int MStorage::getInt(uint _key) {
  MUInt32 key(_key);
  return getInt(&key);
}

int MStorage::getInt(Int64 _key) {
  MInt64 key(_key);
  return getInt(&key);
}

MItem* MStorage::getItemByIndex(int _index) {
  MMutexLock lock(mutex);
  return _getItemByIndex(_index);
}

MItem* MStorage::getNearestItem(MObject* _key, int& _index) {
  MMutexLock lock(mutex);
  return _getNearestItem(_key, _index);
}

// ---- deleting ------------------------------------------------------------------------------

void MStorage::deleteObject(MObject* _key) {
  guard("void MStorage::deleteObject(MObject *_key)", [&] { deleteByKey(_key); });
}

void MStorage::deleteObject(const char* _key) {
  TextKey key(_key);
  guard("void MStorage::deleteObject(char *_key)", [&] { deleteByKey(&key); });
}

void MStorage::deleteObject(int _key) {
  MInt32 key(_key);
  guard("void MStorage::deleteObject(int _key)", [&] { deleteByKey(&key); });
}

void MStorage::deleteObject(uint _key) {
  MUInt32 key(_key);
  guard("void MStorage::deleteObject(uint _key)", [&] { deleteByKey(&key); });
}

void MStorage::deleteObject(Int64 _key) {
  MInt64 key(_key);
  guard("void MStorage::deleteObject(Int64 _key)", [&] { deleteByKey(&key); });
}

void MStorage::deleteItem(MItem* _item) {
  guard(deleteItemSignature, [&] { doDeleteItem(_item); });
}

void MStorage::clear() {
  guard("void MStorage::clear()", [&] { _clear(); });
}

// ---- bulk text input -----------------------------------------------------------------------

void MStorage::load(const char* _filename) {
  guard("void MStorage::load(char *_filename)", [&] {
    _clear();
    FILE* file = _filename != nullptr ? fopen(_filename, "r") : nullptr;
    if (file == nullptr) {
      MString message =
          MString::format("Cannot open the file (%s)!", _filename != nullptr ? _filename : "");
      throw MException("### FILE ###", message.getValue());
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closer(file, fclose);
    // fgets keeps every piece inside the buffer; a longer line arrives as several pieces,
    // each parsed on its own.
    char line[loadLineSize];
    while (fgets(line, sizeof line, file) != nullptr) {
      if (line[0] == '#') continue;
      char* keyStart = strchr(line, '[');
      char* keyEnd = keyStart ? strchr(keyStart + 1, ']') : nullptr;
      char* valueStart = keyEnd ? strchr(keyEnd + 1, '[') : nullptr;
      char* valueEnd = valueStart ? strchr(valueStart + 1, ']') : nullptr;
      if (valueEnd == nullptr) continue;
      MString key(keyStart + 1, (int)(keyEnd - keyStart - 1));
      MString value(valueStart + 1, (int)(valueEnd - valueStart - 1));
      addObject(key.getValue(), value.getValue());
    }
  });
}

void MStorage::addListElement(const char* _text, int _length) {
  addPair(new MInt32(getLength()), true, new MString(_text, _length), true, true);
}

void MStorage::setValue(const char* _list, char _separator) {
  guard("void MStorage::setValue(char *_list,char _separator)", [&] {
    if (_list == nullptr) throw MException("### STRING ###", "The value of the string is NULL");
    _clear();
    // Elements are kept whole, however long.
    const char* start = _list;
    for (const char* p = _list;; ++p) {
      if (*p == _separator || *p == 0) {
        addListElement(start, (int)(p - start));
        start = p + 1;
      }
      if (*p == 0) break;
    }
  });
}

void MStorage::setValue(const char* _list, char _startChar, char _endChar) {
  guard("void MStorage::setValue(char *_list,char _startChar,char _endChar)", [&] {
    if (_list == nullptr) throw MException("### STRING ###", "The value of the string is NULL");
    _clear();
    // Text outside a start and end pair is ignored, so is an end without a start and an
    // element left open at the end. Checking the end first lets one character serve as both.
    const char* start = nullptr;
    for (const char* p = _list; *p != 0; ++p) {
      if (start != nullptr && *p == _endChar) {
        addListElement(start, (int)(p - start));
        start = nullptr;
      } else if (*p == _startChar) {
        start = p + 1;
      }
    }
  });
}

// ---- ordering ------------------------------------------------------------------------------

void MStorage::swap(MItem* _item1, MItem* _item2) {
  bool key1 = _item1->key != nullptr && _item1->key->getOwner() == _item1;
  bool key2 = _item2->key != nullptr && _item2->key->getOwner() == _item2;
  bool object1 = _item1->object != nullptr && _item1->object->getOwner() == _item1;
  bool object2 = _item2->object != nullptr && _item2->object->getOwner() == _item2;
  MObject* key = _item1->key;
  MObject* object = _item1->object;
  _item1->key = _item2->key;
  _item1->object = _item2->object;
  _item2->key = key;
  _item2->object = object;
  if (key1) _item2->key->setOwner(_item2);
  if (object1) _item2->object->setOwner(_item2);
  if (key2) _item1->key->setOwner(_item1);
  if (object2) _item1->object->setOwner(_item1);
}

void MStorage::swapItems(MItem* _item1, MItem* _item2) {
  guard("void MStorage::swapItems(MItem *_item1,MItem *_item2)", [&] {
    if (_item1 == nullptr || _item2 == nullptr)
      throw MException("### ITEM ###", "The value of the item is NULL");
    swap(_item1, _item2);
  });
}

void MStorage::sortByKey(bool _ascending) {
  guard("void MStorage::sortByKey(bool _ascending)", [&] {
    for (MItem* a = getFirstItem(); a != nullptr; a = getNextItem(a)) {
      for (MItem* b = getNextItem(a); b != nullptr; b = getNextItem(b)) {
        int c = orderKeys(a->key, b->key);
        if (_ascending ? c < 0 : c > 0) swap(a, b);
      }
    }
  });
}

int MStorage::orderKeys(MObject* _key1, MObject* _key2) {
  uchar type1 = _key1->getType();
  uchar type2 = _key2->getType();
  if (type1 != type2) return type1 < type2 ? 1 : -1;
  int c = _key1->compare(_key2);
  return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

// ---- object operations ---------------------------------------------------------------------

uchar MStorage::getType() { return 17; }

MString MStorage::getTypeName() { return MString("MStorage"); }

bool MStorage::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MStorage") == 0) || MObject::isKindOf(_name);
}

bool MStorage::isKindOf(uchar _type) { return _type == 17 || MObject::isKindOf(_type); }

bool MStorage::isNumeric() { return false; }

bool MStorage::isContainer() { return true; }

int MStorage::getStreamSize() {
  MMutexLock lock(mutex);
  int size = 5;
  for (MItem* item = getFirstItem(); item != nullptr; item = getNextItem(item))
    size += item->key->getStreamSize() + item->object->getStreamSize();
  return size;
}

void MStorage::writeRecord(MOutputStream* _stream, uchar _code) {
  MMutexLock lock(mutex);
  *_stream << _code << getLength();
  for (MItem* item = getFirstItem(); item != nullptr; item = getNextItem(item))
    *_stream << item->key << item->object;
}

void MStorage::readRecord(MInputStream* _stream, uchar _code, bool _keyTypeInMessage) {
  MMutexLock lock(mutex);
  if (_stream->getNextByte() != _code) throw MException("### TYPE ###", "Wrong type");
  RecordDepth depth;
  _clear();
  // Pairs are stored by setObject, so a key read twice keeps the later value; uniqueKeys is
  // off meanwhile and restored however the reading ends.
  struct Restore {
    bool& flag;
    bool saved;
    ~Restore() { flag = saved; }
  } restore{uniqueKeys, uniqueKeys};
  uniqueKeys = false;

  uchar type;
  int count;
  *_stream >> type >> count;
  if (count < 0) throw MException("### READ ###", "The item count is invalid!");
  // The count is not trusted for memory: room beyond this grows with the pairs actually read.
  _reserve((count < 65536 ? count : 65536) + 10);
  for (int i = 0; i < count; ++i) {
    uchar keyType = _stream->getNextByte();
    std::unique_ptr<MObject> key(newRecordObject(keyType));
    if (!key) {
      if (!_keyTypeInMessage) throw MException("### KEY ###", "Invalid key type!");
      MString message = MString::format("Invalid key type (%d)!", (int)keyType);
      throw MException("### KEY ###", message.getValue());
    }
    *_stream >> key.get();
    std::unique_ptr<MObject> object(newRecordObject(_stream->getNextByte()));
    if (!object) throw MException("### OBJECT ###", "Invalid object type!");
    *_stream >> object.get();
    M_WRAP(setSignature, "Operation failed!", doSet(key.get(), object.get(), true));
    key.release();
    object.release();
  }
}

void MStorage::printPairs(FILE* _file, int _indent, bool _spaceBeforeValue) {
  MMutexLock lock(mutex);
  for (MItem* item = getFirstItem(); item != nullptr; item = getNextItem(item)) {
    MString key = item->key->toString();
    printIndent(_file, _indent);
    if (item->object->isContainer()) {
      fprintf(_file, "[%s]\n", key.getValue());
      item->object->print(_file, _indent + 1);
      printIndent(_file, _indent);
      fprintf(_file, "[/%s]\n", key.getValue());
    } else {
      fprintf(_file, _spaceBeforeValue ? "[%s] %s\n" : "[%s]%s\n", key.getValue(),
              item->object->toString().getValue());
    }
  }
}
