#ifndef VISTREL_MUINT64_H
#define VISTREL_MUINT64_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one UInt64.
class MUInt64 : public MIntegerValue<MUInt64, UInt64, 9> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MUInt64";
  static constexpr const char* kReadSignature = "void MUInt64::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MUInt64::writeStream(MOutputStream *_stream)";
};

#endif
