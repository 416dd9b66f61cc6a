#ifndef VISTREL_MINT32_H
#define VISTREL_MINT32_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one int.
class MInt32 : public MIntegerValue<MInt32, int, 4> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MInt32";
  static constexpr const char* kReadSignature = "void MInt32::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MInt32::writeStream(MOutputStream *_stream)";
};

#endif
