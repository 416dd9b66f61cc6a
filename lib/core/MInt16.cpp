#include "lib/core/MInt16.h"

#include <cstring>

MObject* MInt16::newObject() { return new MInt16(); }

MObject* MInt16::duplicate() { return new MInt16(*this); }

MString MInt16::getTypeName() { return MString("MInt16"); }

bool MInt16::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MInt16") == 0) || MObject::isKindOf(_name);
}

void MInt16::readStream(MInputStream* _stream) try {
  readValue(_stream);
} M_RETHROW("void MInt16::readStream(MInputStream *_stream)")

void MInt16::writeStream(MOutputStream* _stream) try {
  writeValue(_stream);
} M_RETHROW("void MInt16::writeStream(MOutputStream *_stream)")
