#ifndef VISTREL_MINT64_H
#define VISTREL_MINT64_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one Int64.
class MInt64 : public MIntegerValue<MInt64, Int64, 5> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MInt64";
  static constexpr const char* kReadSignature = "void MInt64::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MInt64::writeStream(MOutputStream *_stream)";
};

#endif
