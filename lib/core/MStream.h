#ifndef VISTREL_MSTREAM_H
#define VISTREL_MSTREAM_H

#include "lib/core/MInputStream.h"
#include "lib/core/MObject.h"
#include "lib/core/MOutputStream.h"

// A stream that is an object and can be read and written.
class MStream : public MObject, public MInputStream, public MOutputStream {
 public:
  int readData(void* _value, int _size) override;
  int writeData(void* _value, int _size) override;
  int findByte(uchar _ch, int _maxDistance) override;
  uchar getNextByte() override;
  virtual bool isClosed();
  bool isNumeric() override { return false; }

  using MOutputStream::operator<<;
  using MInputStream::operator>>;
};

#endif
