#ifndef VISTREL_MINPUTSTREAM_H
#define VISTREL_MINPUTSTREAM_H

#include "lib/core/MTypes.h"

class MObject;

// Reading side of every stream. The base versions of the primitive operations raise
// "Operation failed!" under their own signature; concrete streams override them.
//
// Typed reading mirrors typed writing exactly (see MOutputStream), so every record reads back
// as written: 16-bit and 64-bit values least significant byte first, 32-bit values most
// significant byte first. With hostOrder set, 16- and 32-bit values are taken in this
// machine's own (little-endian) order instead, for data written by a raw memory copy.
class MInputStream {
 public:
  MInputStream();
  virtual ~MInputStream();

  virtual int readData(void* _value, int _size);
  virtual int readAll(void* _data, int _size);
  virtual int readLine(char* _value, int _maxLen);
  virtual Int64 getReadPos();
  virtual Int64 getInputBytes();
  virtual uchar getNextByte();
  virtual bool isReadable(int _timeoutSec, int _timeoutUsec);
  virtual int findByte(uchar _ch, int _maxDistance);

  void setHostOrder(bool _hostOrder) { hostOrder = _hostOrder; }
  bool getHostOrder() const { return hostOrder; }

  MInputStream& operator>>(bool& _value);
  MInputStream& operator>>(char& _value);
  MInputStream& operator>>(short& _value);
  MInputStream& operator>>(int& _value);
  MInputStream& operator>>(Int64& _value);
  MInputStream& operator>>(uchar& _value);
  MInputStream& operator>>(ushort& _value);
  MInputStream& operator>>(uint& _value);
  // The caller's buffer must hold the text and its terminator.
  MInputStream& operator>>(char* _value);
  MInputStream& operator>>(MObject* _value);
  MInputStream& operator>>(MObject& _value);

 private:
  // Reads exactly _size bytes or fails: a record cut short is an error, never a hang.
  void readExact(void* _data, int _size);
  bool hostOrder;
};

#endif
