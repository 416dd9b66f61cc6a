#ifndef VISTREL_GIMAGESTATUS_H
#define VISTREL_GIMAGESTATUS_H

#include "lib/core/MTypes.h"

// The status of an image and, independently, of its publication in a folder.
typedef uchar GImageStatus;

const GImageStatus GIMAGE_WAITING = 0;
const GImageStatus GIMAGE_ACCEPTED = 1;
const GImageStatus GIMAGE_DENIED = 2;

#endif
