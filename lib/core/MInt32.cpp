#include "lib/core/MInt32.h"

#include <cstring>

MObject* MInt32::newObject() { return new MInt32(); }

MObject* MInt32::duplicate() { return new MInt32(*this); }

MString MInt32::getTypeName() { return MString("MInt32"); }

bool MInt32::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MInt32") == 0) || MObject::isKindOf(_name);
}

void MInt32::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MInt32::readStream(MInputStream *_stream)")

void MInt32::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MInt32::writeStream(MOutputStream *_stream)")
