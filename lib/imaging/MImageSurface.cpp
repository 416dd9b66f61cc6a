#include "lib/imaging/MImageSurface.h"

int MImageSurface::getWidth() { return 0; }

int MImageSurface::getHeight() { return 0; }

uint MImageSurface::getPixel(int _x, int _y) { return 0; }

void MImageSurface::setPixel(int _x, int _y, uint _value) {}

void MImageSurface::fill(uint _value) {}
