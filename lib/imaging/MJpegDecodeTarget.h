#ifndef VISTREL_MJPEGDECODETARGET_H
#define VISTREL_MJPEGDECODETARGET_H

#include "lib/core/MTypes.h"

// Where MFile_JPG::decode delivers a picture: it is asked for the scale once the header is
// known, then told the decoded size and handed the rows one by one, so that a receiver that
// keeps only what it needs holds far less than the whole picture. The calls come from the
// middle of libjpeg's work: they refuse by answering 0 or false (what they throw counts as a
// refusal too).
class MJpegDecodeTarget {
 public:
  virtual ~MJpegDecodeTarget() {}
  // The picture's size from the header; answers the decoding scale in eighths (1 to 8: 1
  // decodes one pixel per 8 x 8 block, 8 the full size), or 0 to refuse the file.
  virtual int chooseScale(int _width, int _height) = 0;
  // The size of the rows to come (the picture's size at the chosen scale); false refuses.
  virtual bool begin(int _width, int _height) = 0;
  // Row _y of begin's height, top to bottom, _width pixels 0x00RRGGBB; valid during the call.
  virtual void row(int _y, const uint* _pixels) = 0;
};

#endif
