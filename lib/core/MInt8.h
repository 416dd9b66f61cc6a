#ifndef VISTREL_MINT8_H
#define VISTREL_MINT8_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one signed char.
class MInt8 : public MIntegerValue<signed char, 2> {
 public:
  MInt8() {}
  MInt8(signed char _value) : MIntegerValue(_value) {}
  explicit MInt8(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MInt8(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MInt8(const MInt8& _other) : MIntegerValue(_other.value) {}
  MInt8& operator=(const MInt8& _other) {
    value = _other.value;
    return *this;
  }

  using MIntegerValue::setValue;
  MObject* newObject() override;
  MObject* duplicate() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  using MIntegerValue::isKindOf;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
};

#endif
