#ifndef VISTREL_MINT32_H
#define VISTREL_MINT32_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one int.
class MInt32 : public MIntegerValue<int, 4> {
 public:
  MInt32() {}
  MInt32(int _value) : MIntegerValue(_value) {}
  explicit MInt32(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MInt32(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MInt32(const MInt32& _other) : MIntegerValue(_other.value) {}
  MInt32& operator=(const MInt32& _other) {
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
