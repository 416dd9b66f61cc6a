#include "lib/net/MHttpQuery.h"

#include <string>

#include "lib/core/MException.h"
#include "lib/core/MList.h"

int MHttpQuery::hexValue(char _ch) {
  if (_ch >= '0' && _ch <= '9') return _ch - '0';
  if (_ch >= 'a' && _ch <= 'f') return _ch - 'a' + 10;
  if (_ch >= 'A' && _ch <= 'F') return _ch - 'A' + 10;
  return 0;
}

MString MHttpQuery::decode(const char* _text, int _length) {
  if (_text == nullptr || _length <= 0) return MString();
  std::string out;
  out.reserve((size_t)_length);
  int i = 0;
  while (i < _length && _text[i] != 0) {
    if (_text[i] == '%' && i + 2 < _length && _text[i + 1] != 0 && _text[i + 2] != 0) {
      int value = hexValue(_text[i + 1]) * 16 + hexValue(_text[i + 2]);
      if (value == 0) break;
      out += (char)value;
      i += 3;
    } else {
      out += _text[i];
      ++i;
    }
  }
  return MString(out.data(), (int)out.size());
}

void MHttpQuery::parse(const char* _query, MList& _params) try {
  if (_query == nullptr) return;
  const char* piece = _query;
  for (;;) {
    const char* end = piece;
    const char* equals = nullptr;
    int equalsCount = 0;
    while (*end != 0 && *end != '&') {
      if (*end == '=') {
        if (equalsCount == 0) equals = end;
        ++equalsCount;
      }
      ++end;
    }
    if (equalsCount == 1) {
      MString name = decode(piece, (int)(equals - piece));
      MString value = decode(equals + 1, (int)(end - equals - 1));
      _params.setObject(name.getValue(), value.getValue());
    }
    if (*end == 0) break;
    piece = end + 1;
  }
} M_RETHROW("void MHttpQuery::parse(char *_query,MList& _params)")
