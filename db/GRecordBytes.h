#ifndef VISTREL_GRECORDBYTES_H
#define VISTREL_GRECORDBYTES_H

#include <cstring>

#include "lib/core/MString.h"
#include "lib/core/MTypes.h"
#include "lib/core/MUtf8.h"

// Field access inside a database record: little-endian integers assembled byte by byte (so
// the files read the same on any host) and fixed text fields.
class GRecordBytes {
 public:
  static int getInt(const uchar* _record, int _offset) { return (int)getUInt(_record, _offset); }
  static uint getUInt(const uchar* _record, int _offset) {
    const uchar* p = _record + _offset;
    return (uint)p[0] | ((uint)p[1] << 8) | ((uint)p[2] << 16) | ((uint)p[3] << 24);
  }
  static short getShort(const uchar* _record, int _offset) {
    const uchar* p = _record + _offset;
    return (short)(ushort)((uint)p[0] | ((uint)p[1] << 8));
  }
  static bool getFlag(const uchar* _record, int _offset) { return _record[_offset] != 0; }

  static void putInt(uchar* _record, int _offset, int _value) {
    putUInt(_record, _offset, (uint)_value);
  }
  static void putUInt(uchar* _record, int _offset, uint _value) {
    uchar* p = _record + _offset;
    p[0] = (uchar)_value;
    p[1] = (uchar)(_value >> 8);
    p[2] = (uchar)(_value >> 16);
    p[3] = (uchar)(_value >> 24);
  }
  static void putShort(uchar* _record, int _offset, short _value) {
    uchar* p = _record + _offset;
    ushort v = (ushort)_value;
    p[0] = (uchar)v;
    p[1] = (uchar)(v >> 8);
  }
  static void putFlag(uchar* _record, int _offset, bool _value) {
    _record[_offset] = _value ? 1 : 0;
  }

  // A text field holds at most _maxChars characters followed by zero bytes. A field damaged
  // so that it has no terminator is still read only up to _maxChars characters.
  static MString getText(const uchar* _record, int _offset, int _maxChars) {
    const char* p = (const char*)_record + _offset;
    return MString(p, (int)strnlen(p, (size_t)_maxChars));
  }
  // The field must be zero already (records are built from zero bytes); longer texts are cut
  // after the last whole UTF-8 letter that fits.
  static void putText(uchar* _record, int _offset, int _maxChars, const MString& _text) {
    size_t length =
        MUtf8::cutLength(_text.getValue(), (size_t)_text.getLength(), (size_t)_maxChars);
    memcpy(_record + _offset, _text.getValue(), length);
  }
};

#endif
