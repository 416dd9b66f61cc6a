#include "lib/core/MNull.h"

#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

MObject* MNull::newObject() { return new MNull(); }

MObject* MNull::duplicate() { return new MNull(); }

uchar MNull::getType() { return 10; }

MString MNull::getTypeName() { return MString("MNull"); }

bool MNull::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MNull") == 0) || MObject::isKindOf(_name);
}

bool MNull::isKindOf(uchar _type) { return _type == 10 || MObject::isKindOf(_type); }

MString MNull::toString() { return MString("NULL"); }

int MNull::getStreamSize() { return 1; }

void MNull::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 10) throw MException("### TYPE ###", "Wrong type");
  uchar type;
  *_stream >> type;
} M_RETHROW("void MNull::readStream(MInputStream *_stream)")

void MNull::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)10;
} M_RETHROW("void MNull::writeStream(MOutputStream *_stream)")
