#include "lib/core/MUInt8.h"

#include <cstring>

MObject* MUInt8::newObject() { return new MUInt8(); }

MObject* MUInt8::duplicate() { return new MUInt8(*this); }

MString MUInt8::getTypeName() { return MString("MUInt8"); }

bool MUInt8::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MUInt8") == 0) || MObject::isKindOf(_name);
}

void MUInt8::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MUInt8::readStream(MInputStream *_stream)")

void MUInt8::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MUInt8::writeStream(MOutputStream *_stream)")
