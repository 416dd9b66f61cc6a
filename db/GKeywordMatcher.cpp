#include "db/GKeywordMatcher.h"

#include <cstring>

GKeywordMatcher::GKeywordMatcher(const std::vector<std::string>& _words)
    : words(_words), impossible(false) {
  for (const std::string& word : words) {
    // A short word fails every comparison. A capital letter can never occur in the lowered
    // field, and a word longer than the field cannot fit in it.
    if (word.size() < 2 || word.size() > 255) impossible = true;
    for (char ch : word) {
      if (ch >= 'A' && ch <= 'Z') impossible = true;
    }
  }
}

bool GKeywordMatcher::matches(const uchar* _field, int _maxChars) const {
  if (impossible) return false;
  if (words.empty()) return true;
  if (_maxChars > 255) _maxChars = 255;
  size_t length = strnlen((const char*)_field, (size_t)_maxChars);
  uchar lowered[256];
  for (size_t i = 0; i < length; ++i) {
    uchar ch = _field[i];
    lowered[i] = (uchar)((unsigned)(ch - 'A') < 26u ? ch + 32 : ch);
  }
  for (const std::string& word : words) {
    if (memmem(lowered, length, word.data(), word.size()) == nullptr) return false;
  }
  return true;
}
