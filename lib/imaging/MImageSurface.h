#ifndef VISTREL_MIMAGESURFACE_H
#define VISTREL_MIMAGESURFACE_H

#include "lib/core/MObject.h"

// Anything that can be read and drawn on pixel by pixel. Pixel values are 32 bits: blue in
// bits 0-7, green 8-15, red 16-23 and a transparency byte in 24-31 (0 is opaque). The base
// versions describe an empty surface, so a subclass overrides what it really has.
class MImageSurface : public MObject {
 public:
  MImageSurface() {}
  MImageSurface(const MImageSurface& _other) : MObject(_other) {}

  virtual int getWidth();
  virtual int getHeight();
  virtual uint getPixel(int _x, int _y);
  virtual void setPixel(int _x, int _y, uint _value);
  virtual void fill(uint _value);
};

#endif
