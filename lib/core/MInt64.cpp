#include "lib/core/MInt64.h"

#include <cstring>

MObject* MInt64::newObject() { return new MInt64(); }

MObject* MInt64::duplicate() { return new MInt64(*this); }

MString MInt64::getTypeName() { return MString("MInt64"); }

bool MInt64::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MInt64") == 0) || MObject::isKindOf(_name);
}

void MInt64::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MInt64::readStream(MInputStream *_stream)")

void MInt64::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MInt64::writeStream(MOutputStream *_stream)")
