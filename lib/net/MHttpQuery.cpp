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

namespace {

// The decoding of MHttpQuery::decode, appended to _out.
void decodeInto(std::string& _out, const char* _text, int _length, bool _plusIsBlank,
                int (*_hexValue)(char)) {
  if (_text == nullptr || _length <= 0) return;
  _out.reserve(_out.size() + (size_t)_length);
  int i = 0;
  while (i < _length && _text[i] != 0) {
    if (_text[i] == '%' && i + 2 < _length && _text[i + 1] != 0 && _text[i + 2] != 0) {
      int value = _hexValue(_text[i + 1]) * 16 + _hexValue(_text[i + 2]);
      if (value == 0) break;
      _out += (char)value;
      i += 3;
    } else if (_plusIsBlank && _text[i] == '+') {
      _out += ' ';
      ++i;
    } else {
      _out += _text[i];
      ++i;
    }
  }
}

}  // namespace

MString MHttpQuery::decode(const char* _text, int _length, bool _plusIsBlank) {
  std::string out;
  decodeInto(out, _text, _length, _plusIsBlank, hexValue);
  return MString(out.data(), (int)out.size());
}

void MHttpQuery::parse(const char* _query, MList& _params, bool _form) try {
  if (_query == nullptr) return;
  // Names and values in the order of first appearance, the last value of each name winning,
  // as the list's set operation would leave them. Gathering them here first keeps a query
  // of thousands of names from costing a linear list search per piece; the few names of an
  // ordinary request are looked up in the pairs themselves, without a hash table.
  const size_t fewNames = 16;
  std::vector<std::pair<std::string, std::string>> pairs;
  std::unordered_map<std::string, size_t> position;
  auto find = [&](const std::string& _name) -> size_t {
    if (pairs.size() <= fewNames) {
      for (size_t i = 0; i < pairs.size(); ++i)
        if (pairs[i].first == _name) return i;
      return pairs.size();
    }
    if (position.empty()) {
      for (size_t i = 0; i < pairs.size(); ++i) position.emplace(pairs[i].first, i);
    }
    auto found = position.find(_name);
    return found != position.end() ? found->second : pairs.size();
  };
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
      std::string name, value;
      decodeInto(name, piece, (int)(equals - piece), _form, hexValue);
      decodeInto(value, equals + 1, (int)(end - equals - 1), _form, hexValue);
      size_t at = find(name);
      if (at < pairs.size()) {
        pairs[at].second = std::move(value);
      } else {
        if (!position.empty()) position.emplace(name, pairs.size());
        pairs.emplace_back(std::move(name), std::move(value));
      }
    }
    if (*end == 0) break;
    piece = end + 1;
  }
  if (_params.getLength() > 0) {
    for (auto& pair : pairs) _params.setObject(pair.first.c_str(), pair.second.c_str());
    return;
  }
  // The names are already unique: the list need not search for each one again.
  bool unique = _params.getUniqueKeys();
  _params.setUniqueKeys(false);
  try {
    for (auto& pair : pairs) _params.addObject(pair.first.c_str(), pair.second.c_str());
  } catch (const MException&) {
    _params.setUniqueKeys(unique);
    throw;
  }
  _params.setUniqueKeys(unique);
} M_RETHROW("void MHttpQuery::parse(char *_query,MList& _params)")
