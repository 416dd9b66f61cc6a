#ifndef VISTREL_MUINT32_H
#define VISTREL_MUINT32_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one uint.
class MUInt32 : public MIntegerValue<uint, 8> {
 public:
  MUInt32() {}
  MUInt32(uint _value) : MIntegerValue(_value) {}
  explicit MUInt32(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MUInt32(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MUInt32(const MUInt32& _other) : MIntegerValue(_other.value) {}
  MUInt32& operator=(const MUInt32& _other) {
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
