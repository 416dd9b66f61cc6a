#include "lib/core/MInt8.h"

#include <cstring>

MObject* MInt8::newObject() { return new MInt8(); }

MObject* MInt8::duplicate() { return new MInt8(*this); }

MString MInt8::getTypeName() { return MString("MInt8"); }

bool MInt8::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MInt8") == 0) || MObject::isKindOf(_name);
}

void MInt8::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MInt8::readStream(MInputStream *_stream)")

void MInt8::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MInt8::writeStream(MOutputStream *_stream)")
