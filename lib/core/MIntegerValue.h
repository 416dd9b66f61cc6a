#ifndef VISTREL_MINTEGERVALUE_H
#define VISTREL_MINTEGERVALUE_H

#include <charconv>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"
#include "lib/core/MString.h"

// The integer value classes (MInt8 ... MUInt64): one value field of type T, the type code
// Code, numeric ordering, and a record of the type byte followed by the value in the
// stream's typed encoding. Each class is a thin Derived that names itself (kName) and the
// signatures its record operations fail under (kReadSignature, kWriteSignature).
template <typename Derived, typename T, uchar Code>
class MIntegerValue : public MObject {
 public:
  MIntegerValue() : value(0) {}
  MIntegerValue(T _value) : value(_value) {}
  explicit MIntegerValue(const char* _text) : value(parse(_text)) {}
  explicit MIntegerValue(const MString& _text) : value(parse(_text.getValue())) {}

  T getValue() const { return value; }
  void setValue(T _value) { value = _value; }
  // The C library's decimal conversion for the narrow widths, the 64-bit rule for 64 bits.
  void setValue(const char* _text) { value = parse(_text); }
  void setValue(MObject* _object) override {
    if (_object != nullptr) value = sizeof(T) == 8 ? (T)_object->toInt64() : (T)_object->toInt();
  }
  bool operator==(T _value) const { return value == _value; }

  MObject* newObject() override { return new Derived(); }
  MObject* duplicate() override { return new Derived(value); }
  MString getTypeName() override { return MString(Derived::kName); }
  bool isKindOf(const char* _name) override {
    return (_name && strcmp(_name, Derived::kName) == 0) || MObject::isKindOf(_name);
  }
  uchar getType() override { return Code; }
  bool isKindOf(uchar _type) override { return _type == Code || MObject::isKindOf(_type); }
  MString toString() override {
    // Every link of a page prints numbers: no format string for them.
    char text[24];
    std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return MString(text, (int)(end.ptr - text));
  }
  // Unsigned values give their bits as an int; signed ones are sign-extended to 64 bits.
  int toInt() override { return (int)value; }
  Int64 toInt64() override { return (Int64)value; }
  bool isNumeric() override { return true; }
  int getStreamSize() override { return 1 + (int)sizeof(T); }

  void writeStream(MOutputStream* _stream) override try {
    *_stream << (uchar)Code;
    writeField(_stream, value);
  } M_RETHROW(Derived::kWriteSignature)

  void readStream(MInputStream* _stream) override try {
    if (_stream->getNextByte() != Code) throw MException("### TYPE ###", "Wrong type");
    uchar type;
    *_stream >> type;
    T read;
    readField(_stream, read);
    value = read;
  } M_RETHROW(Derived::kReadSignature)

 protected:
  static T parse(const char* _text) {
    if (_text == nullptr) return 0;
    if (sizeof(T) == 8) return (T)MString::textToInt64(_text);
    return (T)atoi(_text);
  }


  T value;

 private:
  // One byte for the 8-bit widths, the stream's typed operators for the others.
  template <typename U>
  static void writeField(MOutputStream* _stream, U _v) {
    if constexpr (sizeof(U) == 1) {
      *_stream << (uchar)_v;
    } else if constexpr (sizeof(U) == 8) {
      *_stream << (Int64)_v;
    } else {
      *_stream << _v;
    }
  }
  template <typename U>
  static void readField(MInputStream* _stream, U& _v) {
    if constexpr (sizeof(U) == 1) {
      uchar b;
      *_stream >> b;
      _v = (U)b;
    } else if constexpr (sizeof(U) == 8) {
      Int64 v;
      *_stream >> v;
      _v = (U)v;
    } else {
      *_stream >> _v;
    }
  }
};

#endif
