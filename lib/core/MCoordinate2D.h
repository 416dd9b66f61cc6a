#ifndef VISTREL_MCOORDINATE2D_H
#define VISTREL_MCOORDINATE2D_H

#include "lib/core/MObject.h"

// A point of two ints; record the type byte, then x and y as ints.
class MCoordinate2D : public MObject {
 public:
  MCoordinate2D() : x(0), y(0) {}
  MCoordinate2D(int _x, int _y) : x(_x), y(_y) {}
  MCoordinate2D(const MCoordinate2D& _other) : MObject(_other), x(_other.x), y(_other.y) {}

  int getX() const { return x; }
  int getY() const { return y; }
  void setValue(MObject* _object) override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  // Points are keys of containers: they order by x, then y, and are equal by value (the
  // default rule would compare object identities, and a lookup by value would never match).
  int compare(MObject* _object) override;
  bool isEqual(MObject* _object) override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;

 private:
  int x;
  int y;
};

#endif
