#ifndef VISTREL_MSEEKSTREAM_H
#define VISTREL_MSEEKSTREAM_H

#include "lib/core/MStream.h"

// A stream with movable positions.
class MSeekStream : public MStream {
 public:
  virtual Int64 getMaxSize();
  virtual Int64 setWritePos(Int64 _pos);
  virtual Int64 setReadPos(Int64 _pos);
  Int64 getReadPos() override;
  Int64 getWritePos() override;
};

#endif
