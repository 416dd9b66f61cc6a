#ifndef VISTREL_MINT16_H
#define VISTREL_MINT16_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one short.
class MInt16 : public MIntegerValue<short, 3> {
 public:
  MInt16() {}
  MInt16(short _value) : MIntegerValue(_value) {}
  explicit MInt16(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MInt16(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MInt16(const MInt16& _other) : MIntegerValue(_other.value) {}
  MInt16& operator=(const MInt16& _other) {
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
