#include "lib/core/MUInt32.h"

#include <cstring>

MObject* MUInt32::newObject() { return new MUInt32(); }

MObject* MUInt32::duplicate() { return new MUInt32(*this); }

MString MUInt32::getTypeName() { return MString("MUInt32"); }

bool MUInt32::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MUInt32") == 0) || MObject::isKindOf(_name);
}

void MUInt32::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MUInt32::readStream(MInputStream *_stream)")

void MUInt32::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MUInt32::writeStream(MOutputStream *_stream)")
