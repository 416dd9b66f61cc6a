#ifndef VISTREL_MUINT16_H
#define VISTREL_MUINT16_H

#include "lib/core/MIntegerValue.h"

// Integer value object holding one ushort.
class MUInt16 : public MIntegerValue<MUInt16, ushort, 7> {
 public:
  using MIntegerValue::MIntegerValue;
  static constexpr const char* kName = "MUInt16";
  static constexpr const char* kReadSignature = "void MUInt16::readStream(MInputStream *_stream)";
  static constexpr const char* kWriteSignature = "void MUInt16::writeStream(MOutputStream *_stream)";
};

#endif
