#ifndef VISTREL_MTEXTSTREAM_H
#define VISTREL_MTEXTSTREAM_H

#include <string>

#include "lib/core/MStream.h"

// Writes values as text into another stream; every page and header block goes through one.
// Each insertion formats its value and hands the whole text to the target in one writeData,
// so over a ring buffer an insertion lands completely or not at all; a target that takes
// only part of it is reported as a failure rather than silently cutting the text.
//
// Numbers are decimal ("%d"; uint is printed through a signed conversion, so values from
// 2^31 up appear negative), characters are themselves (the character 0 writes nothing), a
// null text writes nothing, and an object writes its toString. bool is not replaced: it
// stays the raw byte 0 or 1 of the binary form.
//
// A short-lived adapter: it neither owns nor closes the target.
class MTextStream : public MStream {
 public:
  explicit MTextStream(MStream* _target);

  int writeData(void* _value, int _size) override;
  Int64 getFreeSize() override;
  Int64 getInputBytes() override;
  MStream* getTarget() const { return target; }

  using MStream::operator<<;
  MTextStream& operator<<(char _value) override;
  MTextStream& operator<<(uchar _value) override;
  MTextStream& operator<<(short _value) override;
  MTextStream& operator<<(ushort _value) override;
  MTextStream& operator<<(int _value) override;
  MTextStream& operator<<(uint _value) override;
  MTextStream& operator<<(Int64 _value) override;
  MTextStream& operator<<(const char* _value) override;
  // Texts put together in a std::string are written without measuring them again.
  MTextStream& operator<<(const std::string& _value);
  MTextStream& operator<<(MObject* _value) override;
  MTextStream& operator<<(MObject& _value) override;

 private:
  // One writeData of the whole text; fails when the target takes less.
  void writeText(const char* _text, int _length);

  MStream* target;
};

#endif
