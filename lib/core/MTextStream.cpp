#include "lib/core/MTextStream.h"

#include <charconv>

#include <cstdio>
#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MString.h"

MTextStream::MTextStream(MStream* _target) : target(_target) {}

int MTextStream::writeData(void* _value, int _size) try {
  if (target == nullptr) throw MException("### NULL ###", "The target stream is null!");
  return target->writeData(_value, _size);
} M_RETHROW("int MTextStream::writeData(void *_value,int _size)")

Int64 MTextStream::getFreeSize() try {
  if (target == nullptr) throw MException("### NULL ###", "The target stream is null!");
  return target->getFreeSize();
} M_RETHROW("Int64 MTextStream::getFreeSize()")

Int64 MTextStream::getInputBytes() try {
  if (target == nullptr) throw MException("### NULL ###", "The target stream is null!");
  return target->getInputBytes();
} M_RETHROW("Int64 MTextStream::getInputBytes()")

void MTextStream::writeText(const char* _text, int _length) {
  if (_length < 1) return;
  if (writeData((void*)_text, _length) != _length)
    throw MException("### WRITE ###", "The text was not written completely!");
}

MTextStream& MTextStream::operator<<(char _value) try {
  writeText(&_value, _value != 0 ? 1 : 0);
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(char _value)")

MTextStream& MTextStream::operator<<(uchar _value) try {
  char ch = (char)_value;
  writeText(&ch, ch != 0 ? 1 : 0);
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(uchar _value)")

namespace {
// Decimal text of an int into a small local buffer; returns its length.
int formatInt(char* _buffer, int _value) {
  return (int)(std::to_chars(_buffer, _buffer + 16, _value).ptr - _buffer);
}
}  // namespace

MTextStream& MTextStream::operator<<(short _value) try {
  char text[16];
  writeText(text, formatInt(text, _value));
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(short _value)")

MTextStream& MTextStream::operator<<(ushort _value) try {
  char text[16];
  writeText(text, formatInt(text, _value));
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(ushort _value)")

MTextStream& MTextStream::operator<<(int _value) try {
  char text[16];
  writeText(text, formatInt(text, _value));
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(int _value)")

MTextStream& MTextStream::operator<<(uint _value) try {
  char text[16];
  writeText(text, formatInt(text, (int)_value));
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(uint _value)")

MTextStream& MTextStream::operator<<(Int64 _value) try {
  MString text = MString::int64ToText(_value);
  writeText(text.getValue(), text.getLength());
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(Int64 _value)")

MTextStream& MTextStream::operator<<(const char* _value) try {
  if (_value != nullptr) writeText(_value, (int)strlen(_value));
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(char *_value)")

MTextStream& MTextStream::operator<<(const std::string& _value) try {
  writeText(_value.data(), (int)_value.size());
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(const std::string& _value)")

MTextStream& MTextStream::operator<<(MObject* _value) try {
  if (_value == nullptr) throw MException("### NULL ###", "The object parameter is null!");
  MString text = _value->toString();
  writeText(text.getValue(), text.getLength());
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(MObject *_value)")

MTextStream& MTextStream::operator<<(MObject& _value) try {
  MString text = _value.toString();
  writeText(text.getValue(), text.getLength());
  return *this;
} M_RETHROW("MTextStream& MTextStream::operator<<(MObject &_value)")
