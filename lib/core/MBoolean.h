#ifndef VISTREL_MBOOLEAN_H
#define VISTREL_MBOOLEAN_H

#include "lib/core/MObject.h"

// A truth value; text "true" or "false", record the type byte and one byte 0 or 1.
class MBoolean : public MObject {
 public:
  MBoolean(bool _value = false) : value(_value) {}
  MBoolean(const MBoolean& _other) : MObject(_other), value(_other.value) {}

  bool getValue() const { return value; }
  void setValue(bool _value) { value = _value; }
  void setValue(MObject* _object) override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  int toInt() override;
  Int64 toInt64() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;

 private:
  bool value;
};

#endif
