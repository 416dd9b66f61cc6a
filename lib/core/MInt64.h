#ifndef VISTREL_MINT64_H
#define VISTREL_MINT64_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one Int64.
class MInt64 : public MIntegerValue<Int64, 5> {
 public:
  MInt64() {}
  MInt64(Int64 _value) : MIntegerValue(_value) {}
  explicit MInt64(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MInt64(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MInt64(const MInt64& _other) : MIntegerValue(_other.value) {}
  MInt64& operator=(const MInt64& _other) {
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
