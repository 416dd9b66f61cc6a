#include "lib/core/MOutputStream.h"

#include <cstring>

#include "lib/core/MException.h"

MOutputStream::~MOutputStream() {}

int MOutputStream::writeData(void*, int) {
  throw MException("int MOutputStream::writeData(void *_value,int _size)", "Operation failed!");
}

int MOutputStream::writeAll(void* _data, int _size) try {
  const uchar* p = (const uchar*)_data;
  int done = 0;
  M_WRAP("### WRITE ###", "Operation failed!", {
    while (done < _size) {
      int n = writeData((void*)(p + done), _size - done);
      if (n < 0) throw MException("### WRITE ###", "The data could not be written!");
      done += n;
    }
  });
  return _size;
} M_RETHROW("int MOutputStream::writeAll(void *_data,int _size)")

Int64 MOutputStream::getOutputSize() {
  throw MException("Int64 MOutputStream::getOutputSize()", "Operation failed!");
}

Int64 MOutputStream::getFreeSize() {
  throw MException("Int64 MOutputStream::getFreeSize()", "Operation failed!");
}

Int64 MOutputStream::getWritePos() {
  throw MException("Int64 MOutputStream::getWritePos()", "Operation failed!");
}

bool MOutputStream::isWriteable(int, int) {
  throw MException("bool MOutputStream::isWriteable(int _timeoutSec,int _timeoutUsec)", "Operation failed!");
}

namespace {
void toLittle(uchar* _b, UInt64 _v, int _n) {
  for (int i = 0; i < _n; ++i) _b[i] = (uchar)(_v >> (8 * i));
}
void toBig(uchar* _b, UInt64 _v, int _n) {
  for (int i = 0; i < _n; ++i) _b[_n - 1 - i] = (uchar)(_v >> (8 * i));
}
}  // namespace

MOutputStream& MOutputStream::operator<<(bool _value) try {
  uchar b = _value ? 1 : 0;
  writeData(&b, 1);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(bool _value)")

MOutputStream& MOutputStream::operator<<(char _value) try {
  writeData(&_value, 1);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(char _value)")

MOutputStream& MOutputStream::operator<<(uchar _value) try {
  writeData(&_value, 1);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(uchar _value)")

MOutputStream& MOutputStream::operator<<(short _value) try {
  uchar b[2];
  toLittle(b, (ushort)_value, 2);
  writeData(b, 2);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(short _value)")

MOutputStream& MOutputStream::operator<<(ushort _value) try {
  uchar b[2];
  toLittle(b, _value, 2);
  writeData(b, 2);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(ushort _value)")

MOutputStream& MOutputStream::operator<<(int _value) try {
  uchar b[4];
  toBig(b, (uint)_value, 4);
  writeData(b, 4);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(int _value)")

MOutputStream& MOutputStream::operator<<(uint _value) try {
  uchar b[4];
  toBig(b, _value, 4);
  writeData(b, 4);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(uint _value)")

MOutputStream& MOutputStream::operator<<(Int64 _value) try {
  uchar b[8];
  toLittle(b, (UInt64)_value, 8);
  writeData(b, 8);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(Int64 _value)")

MOutputStream& MOutputStream::operator<<(const char* _value) try {
  if (_value == nullptr) _value = "";
  writeData((void*)_value, (int)strlen(_value) + 1);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(char *_value)")

MOutputStream& MOutputStream::operator<<(MObject* _value) try {
  if (_value == nullptr) throw MException("### NULL ###", "The object parameter is null!");
  _value->writeStream(this);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(MObject *_value)")

MOutputStream& MOutputStream::operator<<(MObject& _value) try {
  _value.writeStream(this);
  return *this;
} M_RETHROW("MOutputStream& MOutputStream::operator<<(MObject &_value)")
