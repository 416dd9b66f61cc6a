#ifndef VISTREL_MOUTPUTSTREAM_H
#define VISTREL_MOUTPUTSTREAM_H

#include "lib/core/MTypes.h"

class MObject;

// Writing side of every stream. Typed values are written each with one writeData call:
// bool, char and uchar as one byte; short and ushort least significant byte first; int and
// uint most significant byte first; Int64 least significant byte first; a text with its
// terminating zero; an object as its record (writeStream).
class MOutputStream {
 public:
  virtual ~MOutputStream();

  virtual int writeData(void* _value, int _size);
  virtual int writeAll(void* _data, int _size);
  virtual Int64 getOutputSize();
  virtual Int64 getFreeSize();
  virtual Int64 getWritePos();
  virtual bool isWriteable(int _timeoutSec, int _timeoutUsec);

  virtual MOutputStream& operator<<(bool _value);
  virtual MOutputStream& operator<<(char _value);
  virtual MOutputStream& operator<<(short _value);
  virtual MOutputStream& operator<<(int _value);
  virtual MOutputStream& operator<<(Int64 _value);
  virtual MOutputStream& operator<<(uchar _value);
  virtual MOutputStream& operator<<(ushort _value);
  virtual MOutputStream& operator<<(uint _value);
  virtual MOutputStream& operator<<(const char* _value);
  virtual MOutputStream& operator<<(MObject* _value);
  virtual MOutputStream& operator<<(MObject& _value);
};

#endif
