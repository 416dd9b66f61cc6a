#ifndef VISTREL_MINT8_H
#define VISTREL_MINT8_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one signed char.
class MInt8 : public MIntegerValue<MInt8, signed char, 2> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MInt8";
  static constexpr const char* kReadSignature = "void MInt8::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MInt8::writeStream(MOutputStream *_stream)";
};

#endif
