#ifndef VISTREL_MUINT32_H
#define VISTREL_MUINT32_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one uint.
class MUInt32 : public MIntegerValue<MUInt32, uint, 8> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MUInt32";
  static constexpr const char* kReadSignature = "void MUInt32::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MUInt32::writeStream(MOutputStream *_stream)";
};

#endif
