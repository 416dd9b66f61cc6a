#include "lib/core/MUtf8.h"

namespace {

// The number of bytes of the well-formed sequence at _text[_at], 0 when there is none.
size_t sequenceLength(const std::string& _text, size_t _at) {
  unsigned char first = (unsigned char)_text[_at];
  if (first < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;   // overlong
    if (first == 0xED) high = 0x9F;  // surrogates
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;   // overlong
    if (first == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (_text.size() - _at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char c = (unsigned char)_text[_at + i];
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

std::string trimBlanks(const std::string& _text) {
  size_t first = _text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return _text.substr(first, _text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool MUtf8::isValid(const std::string& _text) {
  for (size_t at = 0; at < _text.size();) {
    size_t length = sequenceLength(_text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string MUtf8::fromUnknown(const std::string& _text) {
  if (isValid(_text)) return _text;
  std::string result;
  result.reserve(_text.size() * 2);
  for (unsigned char c : _text) {
    if (c < 0x80) {
      result += (char)c;
    } else {
      result += (char)(0xC0 | (c >> 6));
      result += (char)(0x80 | (c & 0x3F));
    }
  }
  return result;
}

std::string MUtf8::oneLine(const std::string& _text) {
  std::string result = _text;
  for (char& c : result) {
    if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
  }
  return trimBlanks(result);
}

std::string MUtf8::cut(const std::string& _text, size_t _maxBytes) {
  if (_text.size() <= _maxBytes) return _text;
  size_t end = _maxBytes;
  // Back to the first byte of the letter that the limit falls into.
  while (end > 0 && ((unsigned char)_text[end] & 0xC0) == 0x80) end--;
  return trimBlanks(_text.substr(0, end));
}
