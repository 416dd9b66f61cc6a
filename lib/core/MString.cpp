#include "lib/core/MString.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

namespace {
// The one shared empty text. It is never written: every in-place edit is bounded by the
// length, which is 0 here.
char emptyText[1] = {0};
}  // namespace

char* MString::copyText(const char* _text, int _length) {
  if (_length <= 0) return emptyText;
  char* buffer = new char[_length + 1];
  memcpy(buffer, _text, _length);
  buffer[_length] = 0;
  return buffer;
}

void MString::adopt(char* _buffer) {
  char* old = value;
  value = _buffer;
  if (old != emptyText && old != _buffer) delete[] old;
}

MString::MString() : value(emptyText) {}

MString::MString(const MString& _other)
    : MObject(_other), value(copyText(_other.value, (int)strlen(_other.value))) {}

MString::MString(MString&& _other) noexcept : MObject(_other), value(_other.value) {
  _other.value = emptyText;
}

MString::MString(const char* _text)
    : value(_text ? copyText(_text, (int)strlen(_text)) : emptyText) {}

MString::MString(const char* _text, int _length) : value(emptyText) {
  if (_text == nullptr || _length <= 0) return;
  const void* end = memchr(_text, 0, (size_t)_length);
  value = copyText(_text, end != nullptr ? (int)((const char*)end - _text) : _length);
}

MString::MString(const char* _first, const char* _second) : value(emptyText) {
  if (_first == nullptr || _second == nullptr) return;
  int a = (int)strlen(_first), b = (int)strlen(_second);
  if (a + b == 0) return;
  char* buffer = new char[a + b + 1];
  memcpy(buffer, _first, a);
  memcpy(buffer + a, _second, b + 1);
  value = buffer;
}

MString::MString(Borrowed, const char* _text)
    : value(_text != nullptr && *_text != 0 ? const_cast<char*>(_text) : emptyText) {}

void MString::giveBack() { value = emptyText; }

MString::~MString() {
  if (value != emptyText) delete[] value;
}

int MString::getLength() const { return (int)strlen(value); }

void MString::setValue(const char* _text) {
  adopt(_text ? copyText(_text, (int)strlen(_text)) : emptyText);
}

void MString::setValue(Int64 _value) { *this = int64ToText(_value); }

void MString::setValue(int _value) { *this = format("%d", _value); }

void MString::setValue(MObject* _object) try {
  if (_object == nullptr) {
    adopt(emptyText);
    return;
  }
  if (_object->getType() != 11)
    throw MException("### OBJECT TYPE ###", "Object types do not match");
  setValue(((MString*)_object)->value);
} M_RETHROW("void MString::setValue(MObject* _object)")

MString& MString::operator=(const char* _text) {
  setValue(_text);
  return *this;
}

MString& MString::operator=(const MString& _other) {
  if (this != &_other) setValue(_other.value);
  return *this;
}

MString& MString::operator=(MString&& _other) noexcept {
  if (this != &_other) {
    adopt(_other.value);
    _other.value = emptyText;
  }
  return *this;
}

MString& MString::operator=(MObject* _object) {
  if (_object == nullptr) {
    adopt(emptyText);
  } else {
    MString text = _object->toString();
    setValue(text.value);
  }
  return *this;
}

bool MString::operator==(const MString& _other) const { return strcmp(value, _other.value) == 0; }

bool MString::operator==(const char* _text) const {
  return _text != nullptr && strcmp(value, _text) == 0;
}

bool MString::operator!=(const MString& _other) const { return !(*this == _other); }

bool MString::operator!=(const char* _text) const { return !(*this == _text); }

char MString::getChar(int _index) const {
  if (_index < 0 || _index >= getLength()) return 0;
  return value[_index];
}

void MString::setChar(int _index, char _ch) {
  if (_index < 0 || _index >= getLength()) return;
  value[_index] = _ch;
}

int MString::findChar(char _ch) const {
  const char* p = strchr(value, _ch);
  return (p && _ch) ? (int)(p - value) : -1;
}

int MString::findLastChar(char _ch) const {
  const char* p = strrchr(value, _ch);
  return (p && _ch) ? (int)(p - value) : -1;
}

void MString::replaceChar(char _from, char _to) {
  if (_from == 0) return;
  for (char* p = value; *p; ++p)
    if (*p == _from) *p = _to;
}

void MString::deleteChar(int _index) try {
  deleteChars(_index, 1);
} M_RETHROW("void MString::deleteChar(int _index)")

void MString::deleteChars(int _startIdx, int _chars) try {
  int length = getLength();
  if (_startIdx < 0 || _startIdx >= length)
    throw MException("### OUT OF STRING ###", "Index out of string!");
  if (_chars < 0) throw MException("### OUT OF STRING ###", "Index out of string!");
  if ((Int64)_startIdx + _chars < length) {
    memmove(value + _startIdx, value + _startIdx + _chars, length - _startIdx - _chars + 1);
  } else {
    value[_startIdx] = 0;
  }
} M_RETHROW("void MString::deleteChars(int _startIdx,int _chars)")

void MString::insertChar(int _index, char _ch) try {
  int length = getLength();
  if (_index < 0 || _index > length)
    throw MException("### OUT OF STRING ###", "Index out of string!");
  char* buffer = new char[length + 2];
  memcpy(buffer, value, _index);
  buffer[_index] = _ch;
  memcpy(buffer + _index + 1, value + _index, length - _index + 1);
  adopt(buffer);
} M_RETHROW("void MString::insertChar(int _index,char _ch)")

void MString::insertString(int _index, const char* _str) try {
  if (_str == nullptr) throw MException("### NULL ###", "The string parameter (_str) is null!");
  int length = getLength();
  if (_index < 0 || _index > length)
    throw MException("### OUT OF STRING ###", "Index out of string!");
  int add = (int)strlen(_str);
  if (add == 0) return;
  char* buffer = new char[length + add + 1];
  memcpy(buffer, value, _index);
  memcpy(buffer + _index, _str, add);
  memcpy(buffer + _index + add, value + _index, length - _index + 1);
  adopt(buffer);
} M_RETHROW("void MString::insertString(int _index,char *_str)")

MString& MString::operator+=(const char* _text) {
  if (_text == nullptr || *_text == 0) return *this;
  int a = getLength(), b = (int)strlen(_text);
  char* buffer = new char[a + b + 1];
  memcpy(buffer, value, a);
  memcpy(buffer + a, _text, b + 1);
  adopt(buffer);
  return *this;
}

MString& MString::operator+=(const MString& _text) {
  if (&_text == this) return *this += MString(_text).value;
  return *this += _text.value;
}

MString& MString::operator+=(char _ch) {
  char text[2] = {_ch, 0};
  return *this += text;
}

MString& MString::operator+=(short _value) { return *this += format("%d", (int)_value).value; }
MString& MString::operator+=(int _value) { return *this += format("%d", _value).value; }
MString& MString::operator+=(uchar _value) { return *this += format("%u", (uint)_value).value; }
MString& MString::operator+=(ushort _value) { return *this += format("%u", (uint)_value).value; }
MString& MString::operator+=(uint _value) { return *this += format("%u", _value).value; }

int MString::toInt32Value() const { return atoi(value); }

Int64 MString::toInt64Value() const { return textToInt64(value); }

Int64 MString::textToInt64(const char* _text) {
  if (_text == nullptr) return 0;
  // Read from the last character towards the first; a minus sign ends the scan and negates.
  // Unsigned arithmetic keeps an overlong text from overflowing into undefined behaviour.
  UInt64 sum = 0, place = 1;
  for (int i = (int)strlen(_text) - 1; i >= 0; --i) {
    if (_text[i] == '-') return (Int64)(0 - sum);
    sum += (UInt64)(Int64)(_text[i] - '0') * place;
    place *= 10;
  }
  return (Int64)sum;
}

MString MString::int64ToText(Int64 _value) {
  if (_value == 0) return MString("0");
  char digits[24];
  int n = 0;
  bool negative = _value < 0;
  // The magnitude in unsigned form, so that the most negative value has one too.
  UInt64 magnitude = negative ? (UInt64)0 - (UInt64)_value : (UInt64)_value;
  while (magnitude > 0) {
    digits[n++] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  }
  char text[24];
  int k = 0;
  if (negative) text[k++] = '-';
  while (n > 0) text[k++] = digits[--n];
  text[k] = 0;
  return MString(text);
}

MString MString::format(const char* _format, ...) {
  char small[256];
  va_list args;
  va_start(args, _format);
  int n = vsnprintf(small, sizeof small, _format, args);
  va_end(args);
  if (n < 0) return MString();
  if (n < (int)sizeof small) return MString(small, n);
  char* big = new char[n + 1];
  va_start(args, _format);
  vsnprintf(big, n + 1, _format, args);
  va_end(args);
  MString result;
  result.adopt(big);
  return result;
}

MObject* MString::newObject() { return new MString(); }

MObject* MString::duplicate() { return new MString(*this); }

uchar MString::getType() { return 11; }

MString MString::getTypeName() { return MString("MString"); }

bool MString::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MString") == 0) || MObject::isKindOf(_name);
}

bool MString::isKindOf(uchar _type) { return _type == 11 || MObject::isKindOf(_type); }

int MString::compare(MObject* _object) {
  if (_object == nullptr || _object->getType() != getType()) return MObject::compare(_object);
  const unsigned char* a = (const unsigned char*)static_cast<MString*>(_object)->value;
  const unsigned char* b = (const unsigned char*)value;
  while (*a && *a == *b) ++a, ++b;
  return *a > *b ? 1 : (*a < *b ? -1 : 0);
}

MString MString::toString() { return MString(*this); }

bool MString::isNumeric() { return false; }

int MString::getStreamSize() {
  // As many bytes as writeStream produces, which cuts the text to the 16-bit length field.
  int length = getLength();
  return (length > 65535 ? 65535 : length) + 3;
}

void MString::writeStream(MOutputStream* _stream) try {
  // The length field has 16 bits: a longer text is written cut to 65535 characters, so
  // that the record stays consistent with its own length.
  int length = getLength();
  if (length > 65535) length = 65535;
  *_stream << (uchar)11 << (ushort)length;
  if (length > 0) _stream->writeData(value, length);
} M_RETHROW("void MString::writeStream(MOutputStream *_stream)")

void MString::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 11) throw MException("### TYPE ###", "Wrong type");
  uchar type;
  ushort length;
  *_stream >> type >> length;
  char* buffer = new char[length + 1];
  try {
    _stream->readAll(buffer, length);
  } catch (...) {
    delete[] buffer;
    throw;
  }
  buffer[length] = 0;
  if (length == 0) {
    delete[] buffer;
    buffer = emptyText;
  }
  adopt(buffer);
} M_RETHROW("void MString::readStream(MInputStream *_stream)")
