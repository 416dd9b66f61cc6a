#include "lib/core/MBoolean.h"

#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

void MBoolean::setValue(MObject* _object) {
  if (_object != nullptr) value = _object->toInt64() != 0;
}

MObject* MBoolean::newObject() { return new MBoolean(); }

MObject* MBoolean::duplicate() { return new MBoolean(*this); }

uchar MBoolean::getType() { return 1; }

MString MBoolean::getTypeName() { return MString("MBoolean"); }

bool MBoolean::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MBoolean") == 0) || MObject::isKindOf(_name);
}

bool MBoolean::isKindOf(uchar _type) { return _type == 1 || MObject::isKindOf(_type); }

MString MBoolean::toString() { return MString(value ? "true" : "false"); }

int MBoolean::toInt() { return value ? 1 : 0; }

Int64 MBoolean::toInt64() { return value ? 1 : 0; }

int MBoolean::getStreamSize() { return 2; }

void MBoolean::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 1) throw MException("### TYPE ###", "Wrong type");
  uchar type, b;
  *_stream >> type >> b;
  value = b != 0;
} M_RETHROW("void MBoolean::readStream(MInputStream *_stream)")

void MBoolean::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)1 << (uchar)(value ? 1 : 0);
} M_RETHROW("void MBoolean::writeStream(MOutputStream *_stream)")
