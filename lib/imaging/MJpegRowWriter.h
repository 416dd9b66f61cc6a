#ifndef VISTREL_MJPEGROWWRITER_H
#define VISTREL_MJPEGROWWRITER_H

#include <cstdio>
#include <memory>

#include "lib/core/MObject.h"
#include "lib/core/MTypes.h"

// Writes a JFIF file through libjpeg row by row, top to bottom, as the rows become known, so
// that a picture can be encoded while it is still being made (on another thread, say). The
// transparency byte of the pixels is dropped. A failure (a file that cannot be opened or
// written, libjpeg's refusal) makes every later call answer false and leaves the file to the
// caller to remove; error() then tells the errno value of a failed write (ENOSPC for a full
// disk), 0 for any other cause. One writer writes one file; it is not shared between threads.
class MJpegRowWriter : public MObject {
 public:
  MJpegRowWriter();
  ~MJpegRowWriter() override;
  MJpegRowWriter(const MJpegRowWriter&) = delete;
  MJpegRowWriter& operator=(const MJpegRowWriter&) = delete;

  // Creates or replaces _filename for a picture of _width x _height (positive; anything
  // else is refused as libjpeg refuses an empty picture) at _quality (clamped to 0..100).
  bool start(const char* _filename, int _width, int _height, int _quality);
  // The next row: width pixels 0x00RRGGBB.
  bool write(const uint* _pixels);
  // After the last row: completes and closes the file.
  bool finish();
  int error() const { return failure; }

 private:
  struct State;
  // Ends libjpeg's work and closes the file, keeping failure.
  void release();

  std::unique_ptr<State> state;
  int failure = 0;
  bool failed = false;
};

#endif
