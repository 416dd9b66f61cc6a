#include "lib/core/MUInt64.h"

#include <cstring>

MObject* MUInt64::newObject() { return new MUInt64(); }

MObject* MUInt64::duplicate() { return new MUInt64(*this); }

MString MUInt64::getTypeName() { return MString("MUInt64"); }

bool MUInt64::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MUInt64") == 0) || MObject::isKindOf(_name);
}

void MUInt64::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MUInt64::readStream(MInputStream *_stream)")

void MUInt64::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MUInt64::writeStream(MOutputStream *_stream)")
