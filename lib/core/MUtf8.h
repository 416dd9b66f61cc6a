#ifndef VISTREL_MUTF8_H
#define VISTREL_MUTF8_H

#include <cstddef>
#include <string>

// Texts from outside (photo files, file names sent by browsers) as the UTF-8 that the pages
// and the record fields hold: checked, converted from Latin-1 where they are no UTF-8, and
// cut to a field without splitting a letter.
class MUtf8 {
 public:
  // Whether _text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
  // U+10FFFF).
  static bool isValid(const std::string& _text);
  // _text itself when it is UTF-8, else read as Latin-1 (every byte one letter), which is
  // what older photo programs wrote.
  static std::string fromUnknown(const std::string& _text);
  // Control characters (line ends, tabs, ...) become blanks and blanks at either end go, so
  // that a value fits a one-line field.
  static std::string oneLine(const std::string& _text);
  // At most _maxBytes bytes of the well-formed UTF-8 _text, ending before the letter that
  // would not fit whole; blanks left at the end go too.
  static std::string cut(const std::string& _text, size_t _maxBytes);
};

#endif
