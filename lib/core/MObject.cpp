#include "lib/core/MObject.h"

#include <cctype>
#include <cstdlib>

#include "lib/core/MString.h"
#include "lib/core/MTypeRegistry.h"

MObject::MObject() : owner(nullptr) {}

MObject::MObject(const MObject&) : owner(nullptr) {}

MObject::MObject(MObject* _prototype) : owner(nullptr) {
  MTypeRegistry::instance().registerPrototype(_prototype);
}

MObject::~MObject() {}

void MObject::setOwner(MObject* _owner) { owner = _owner; }

MObject* MObject::getOwner() { return owner; }

MObject* MObject::newObject() { return new MObject(); }

MObject* MObject::duplicate() { return new MObject(*this); }

uchar MObject::getType() { return 0; }

MString MObject::getTypeName() { return MString(); }

bool MObject::isKindOf(const char* _name) {
  // MObject's own class name is the empty text.
  return _name != nullptr && _name[0] == 0;
}

bool MObject::isKindOf(uchar _type) { return _type == 0; }

MString MObject::toString() {
  return MString::format("%d:%s:%llu", (int)getType(), getTypeName().getValue(),
                         (unsigned long long)identity());
}

Int64 objectTextToInt64(MObject* _object, bool _wide) {
  MString text = _object->toString();
  const char* p = text.getValue();
  if (*p == 0) return 0;
  for (const char* q = p; *q; ++q) {
    if (!isdigit((unsigned char)*q)) return (Int64)_object->identity();
  }
  return _wide ? MString::textToInt64(p) : (Int64)atoi(p);
}

int MObject::toInt() { return (int)objectTextToInt64(this, false); }

Int64 MObject::toInt64() { return objectTextToInt64(this, true); }

bool MObject::isNumeric() { return true; }

bool MObject::isContainer() { return false; }

bool MObject::isEqual(MObject* _object) {
  if (_object == nullptr || _object->getType() != getType()) return false;
  if (_object->toInt64() != toInt64()) return false;
  return toString() == _object->toString();
}

int MObject::getStreamSize() { return 0; }

MString MObject::toIdString() {
  return MString::format("%d:%llu", (int)getType(), (unsigned long long)identity());
}

int MObject::compare(MObject* _object) {
  if (_object == nullptr || _object->getType() != getType()) return -2;
  if (isNumeric()) {
    Int64 mine = toInt64();
    Int64 theirs = _object->toInt64();
    if (mine == theirs) return 0;
    return mine < theirs ? 1 : -1;
  }
  // strcmp with the other text first: positive when this text sorts before the other.
  MString mine = toString();
  MString theirs = _object->toString();
  const unsigned char* a = (const unsigned char*)theirs.getValue();
  const unsigned char* b = (const unsigned char*)mine.getValue();
  while (*a && *a == *b) ++a, ++b;
  // Only the sign: a byte difference of -2 would read as "incomparable".
  return *a > *b ? 1 : (*a < *b ? -1 : 0);
}

void MObject::setValue(MObject*) {}

void MObject::readStream(MInputStream*) {}

void MObject::writeStream(MOutputStream*) {}

void MObject::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fprintf(_file, "%s\n", toString().getValue());
}

void MObject::printIndent(FILE* _file, int _count) {
  for (int i = 0; i < _count; ++i) fputs("  ", _file);
}
