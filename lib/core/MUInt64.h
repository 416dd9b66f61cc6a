#ifndef VISTREL_MUINT64_H
#define VISTREL_MUINT64_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one UInt64.
class MUInt64 : public MIntegerValue<UInt64, 9> {
 public:
  MUInt64() {}
  MUInt64(UInt64 _value) : MIntegerValue(_value) {}
  explicit MUInt64(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MUInt64(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MUInt64(const MUInt64& _other) : MIntegerValue(_other.value) {}
  MUInt64& operator=(const MUInt64& _other) {
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
