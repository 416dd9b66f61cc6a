#ifndef VISTREL_MINT16_H
#define VISTREL_MINT16_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one short.
class MInt16 : public MIntegerValue<MInt16, short, 3> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MInt16";
  static constexpr const char* kReadSignature = "void MInt16::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MInt16::writeStream(MOutputStream *_stream)";
};

#endif
