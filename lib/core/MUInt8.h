#ifndef VISTREL_MUINT8_H
#define VISTREL_MUINT8_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one uchar.
class MUInt8 : public MIntegerValue<MUInt8, uchar, 6> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MUInt8";
  static constexpr const char* kReadSignature = "void MUInt8::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MUInt8::writeStream(MOutputStream *_stream)";
};

#endif
