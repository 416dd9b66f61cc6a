#include "lib/core/MUInt16.h"

#include <cstring>

MObject* MUInt16::newObject() { return new MUInt16(); }

MObject* MUInt16::duplicate() { return new MUInt16(*this); }

MString MUInt16::getTypeName() { return MString("MUInt16"); }

bool MUInt16::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MUInt16") == 0) || MObject::isKindOf(_name);
}

void MUInt16::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MUInt16::readStream(MInputStream *_stream)")

void MUInt16::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MUInt16::writeStream(MOutputStream *_stream)")
