#include "lib/net/MHttpQuery.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lib/core/MException.h"
#include "lib/core/MList.h"

int MHttpQuery::hexValue(char _ch) {
  if (_ch >= '0' && _ch <= '9') return _ch - '0';
  if (_ch >= 'a' && _ch <= 'f') return _ch - 'a' + 10;
  if (_ch >= 'A' && _ch <= 'F') return _ch - 'A' + 10;
  return 0;
}

MString MHttpQuery::decode(const char* _text, int _length, bool _plusIsBlank) {
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
    } else if (_plusIsBlank && _text[i] == '+') {
      out += ' ';
      ++i;
    } else {
      out += _text[i];
      ++i;
    }
  }
  return MString(out.data(), (int)out.size());
}

void MHttpQuery::parse(const char* _query, MList& _params, bool _form) try {
  if (_query == nullptr) return;
  // Names and values in the order of first appearance, the last value of each name winning,
  // as the list's set operation would leave them. Gathering them here first keeps a query
  // of thousands of names from costing a linear list search per piece.
  std::vector<std::pair<MString, MString>> pairs;
  std::unordered_map<std::string, size_t> position;
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
      MString name = decode(piece, (int)(equals - piece), _form);
      MString value = decode(equals + 1, (int)(end - equals - 1), _form);
      auto found = position.find(name.getValue());
      if (found != position.end()) {
        pairs[found->second].second = value;
      } else {
        position.emplace(name.getValue(), pairs.size());
        pairs.emplace_back(name, value);
      }
    }
    if (*end == 0) break;
    piece = end + 1;
  }
  if (_params.getLength() > 0) {
    for (auto& pair : pairs) _params.setObject(pair.first.getValue(), pair.second.getValue());
    return;
  }
  // The names are already unique: the list need not search for each one again.
  bool unique = _params.getUniqueKeys();
  _params.setUniqueKeys(false);
  try {
    for (auto& pair : pairs) _params.addObject(pair.first.getValue(), pair.second.getValue());
  } catch (const MException&) {
    _params.setUniqueKeys(unique);
    throw;
  }
  _params.setUniqueKeys(unique);
} M_RETHROW("void MHttpQuery::parse(char *_query,MList& _params)")
