#include "lib/core/MInputStream.h"

#include "lib/core/MException.h"

MInputStream::MInputStream() : hostOrder(false) {}

MInputStream::~MInputStream() {}

int MInputStream::readData(void*, int) {
  throw MException("int MInputStream::readData(void *_value,int _size)", "Operation failed!");
}

int MInputStream::readAll(void* _data, int _size) try {
  M_WRAP("### READ ###", "Operation failed!", readExact(_data, _size));
  return _size;
} M_RETHROW("int MInputStream::readAll(void *_data,int _size)")

void MInputStream::readExact(void* _data, int _size) {
  uchar* p = (uchar*)_data;
  int done = 0;
  while (done < _size) {
    int n = readData(p + done, _size - done);
    if (n <= 0) throw MException("### READ ###", "The end of the data was reached!");
    done += n;
  }
}

int MInputStream::readLine(char* _value, int _maxLen) try {
  if (findByte(10, _maxLen) < 0) throw MException("### END OF LINE ###", "End of line not found!");
  int stored = 0;
  for (;;) {
    uchar ch = 0;
    if (readData(&ch, 1) != 1) break;
    if (ch == 13 || ch == 10) {
      _value[stored] = 0;
      if (ch == 10) break;
    } else {
      _value[stored++] = (char)ch;
    }
  }
  return stored;
} M_RETHROW("int MInputStream::readLine(char *_value,int _maxLen)")

Int64 MInputStream::getReadPos() {
  throw MException("Int64 MInputStream::getReadPos()", "Operation failed!");
}

Int64 MInputStream::getInputBytes() {
  throw MException("Int64 MInputStream::getInputBytes()", "Operation failed!");
}

uchar MInputStream::getNextByte() {
  throw MException("uchar MInputStream::getNextByte()", "Operation failed!");
}

bool MInputStream::isReadable(int, int) {
  throw MException("bool MInputStream::isReadable(int _timeoutSec,int _timeoutUsec)", "Operation failed!");
}

int MInputStream::findByte(uchar, int) {
  throw MException("int MInputStream::findByte(uchar _ch,int _maxDistance)", "Operation failed!");
}

namespace {
// Little-endian and big-endian assembly of n bytes.
UInt64 fromLittle(const uchar* _b, int _n) {
  UInt64 v = 0;
  for (int i = _n - 1; i >= 0; --i) v = (v << 8) | _b[i];
  return v;
}
UInt64 fromBig(const uchar* _b, int _n) {
  UInt64 v = 0;
  for (int i = 0; i < _n; ++i) v = (v << 8) | _b[i];
  return v;
}
}  // namespace

MInputStream& MInputStream::operator>>(bool& _value) try {
  uchar b;
  readExact(&b, 1);
  _value = b != 0;
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(bool &_value)")

MInputStream& MInputStream::operator>>(char& _value) try {
  readExact(&_value, 1);
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(char &_value)")

MInputStream& MInputStream::operator>>(uchar& _value) try {
  readExact(&_value, 1);
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(uchar &_value)")

MInputStream& MInputStream::operator>>(short& _value) try {
  ushort v;
  *this >> v;
  _value = (short)v;
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(short &_value)")

MInputStream& MInputStream::operator>>(ushort& _value) try {
  uchar b[2];
  readExact(b, 2);
  _value = (ushort)fromLittle(b, 2);
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(ushort &_value)")

MInputStream& MInputStream::operator>>(int& _value) try {
  uint v;
  *this >> v;
  _value = (int)v;
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(int &_value)")

MInputStream& MInputStream::operator>>(uint& _value) try {
  uchar b[4];
  readExact(b, 4);
  _value = (uint)(hostOrder ? fromLittle(b, 4) : fromBig(b, 4));
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(uint &_value)")

MInputStream& MInputStream::operator>>(Int64& _value) try {
  uchar b[8];
  readExact(b, 8);
  _value = (Int64)fromLittle(b, 8);
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(Int64 &_value)")

MInputStream& MInputStream::operator>>(char* _value) try {
  Int64 available = getInputBytes();
  int reach = available > 0x7fffffff ? 0x7fffffff : (int)available;
  if (findByte(0, reach) < 0)
    throw MException("### END OF STRING ###", "End of string not found!");
  for (int i = 0;; ++i) {
    readExact(_value + i, 1);
    if (_value[i] == 0) break;
  }
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(char *_value)")

MInputStream& MInputStream::operator>>(MObject* _value) try {
  if (_value == nullptr) throw MException("### NULL ###", "The object parameter is null!");
  _value->readStream(this);
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(MObject *_value)")

MInputStream& MInputStream::operator>>(MObject& _value) try {
  _value.readStream(this);
  return *this;
} M_RETHROW("MInputStream& MInputStream::operator>>(MObject &_value)")
