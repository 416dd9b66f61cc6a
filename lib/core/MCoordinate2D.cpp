#include "lib/core/MCoordinate2D.h"

#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

void MCoordinate2D::setValue(MObject* _object) {
  if (_object != nullptr && _object->getType() == 28) {
    MCoordinate2D* other = (MCoordinate2D*)_object;
    x = other->x;
    y = other->y;
  }
}

MObject* MCoordinate2D::newObject() { return new MCoordinate2D(); }

MObject* MCoordinate2D::duplicate() { return new MCoordinate2D(*this); }

uchar MCoordinate2D::getType() { return 28; }

MString MCoordinate2D::getTypeName() { return MString("MCoordinate2D"); }

bool MCoordinate2D::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MCoordinate2D") == 0) || MObject::isKindOf(_name);
}

bool MCoordinate2D::isKindOf(uchar _type) { return _type == 28 || MObject::isKindOf(_type); }

MString MCoordinate2D::toString() { return MString::format("MCoordinate(%d,%d)", x, y); }

int MCoordinate2D::compare(MObject* _object) {
  if (_object == nullptr || _object->getType() != 28) return -2;
  MCoordinate2D* other = (MCoordinate2D*)_object;
  if (x != other->x) return x < other->x ? 1 : -1;
  if (y != other->y) return y < other->y ? 1 : -1;
  return 0;
}

bool MCoordinate2D::isEqual(MObject* _object) { return compare(_object) == 0; }

int MCoordinate2D::getStreamSize() { return 9; }

void MCoordinate2D::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 28) throw MException("### TYPE ###", "Wrong type");
  uchar type;
  int nx, ny;
  *_stream >> type >> nx >> ny;
  x = nx;
  y = ny;
} M_RETHROW("void MCoordinate2D::readStream(MInputStream *_stream)")

void MCoordinate2D::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)28 << x << y;
} M_RETHROW("void MCoordinate2D::writeStream(MOutputStream *_stream)")
