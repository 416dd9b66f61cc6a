#ifndef VISTREL_MUINT16_H
#define VISTREL_MUINT16_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one ushort.
class MUInt16 : public MIntegerValue<ushort, 7> {
 public:
  MUInt16() {}
  MUInt16(ushort _value) : MIntegerValue(_value) {}
  explicit MUInt16(const char* _text) : MIntegerValue(parse(_text)) {}
  explicit MUInt16(const MString& _text) : MIntegerValue(parse(_text.getValue())) {}
  MUInt16(const MUInt16& _other) : MIntegerValue(_other.value) {}
  MUInt16& operator=(const MUInt16& _other) {
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
