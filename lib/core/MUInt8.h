#ifndef VISTREL_MUINT8_H
#define VISTREL_MUINT8_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one uchar.
class MUInt8 : public MIntegerValue<uchar, 6> {
 public:
  MUInt8() {}
  MUInt8(uchar _value) : MIntegerValue(_value) {}
  explicit MUInt8(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MUInt8(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MUInt8(const MUInt8& _other) : MIntegerValue(_other.value) {}
  MUInt8& operator=(const MUInt8& _other) {
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
