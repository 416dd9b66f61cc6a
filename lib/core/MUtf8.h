#ifndef VISTREL_MUTF8_H
#define VISTREL_MUTF8_H

#include <cstddef>
#include <string>

// The two things the library does to UTF-8 texts byte strings cannot do right: fold letter
// case for searching, and cut a text to a field without splitting a letter. Bytes that are
// not well-formed UTF-8 (old Latin-1 records, damaged input) are left exactly as they are.
class MUtf8 {
 public:
  // Folds the _length bytes at _text into _out, which may be _text itself, and returns the
  // folded length. Letters of the Latin, Greek, Cyrillic and Armenian alphabets (ASCII,
  // Latin-1 Supplement, Latin Extended-A and -B, Latin Extended Additional, Greek and Coptic,
  // Greek Extended, Cyrillic and Cyrillic Supplement) become their small forms from a fixed
  // table, never from the C locale; final sigma becomes sigma, long s becomes s and the
  // capital I with dot becomes i. Every other byte, zero bytes included, stays. A folded
  // text is never longer than the original, and folding it again changes nothing.
  static size_t fold(const char* _text, size_t _length, char* _out);
  static std::string fold(const std::string& _text);

  // The length of the longest start of the _length bytes at _text that holds at most _max
  // bytes and does not end inside a UTF-8 letter. A text that is not UTF-8 where the cut
  // falls is cut at _max.
  static size_t cutLength(const char* _text, size_t _length, size_t _max);

  // Texts from outside (photo files, file names sent by browsers) as the UTF-8 that the
  // pages and the record fields hold:
  // Whether _text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above
  // U+10FFFF).
  static bool isValid(const std::string& _text);
  // _text itself when it is UTF-8, else read as Latin-1 (every byte one letter), which is
  // what older photo programs wrote.
  static std::string fromUnknown(const std::string& _text);
  // Control characters (line ends, tabs, ...) become blanks and blanks at either end go, so
  // that a value fits a one-line field.
  static std::string oneLine(const std::string& _text);
  // At most _maxBytes bytes of _text, cut as cutLength does; blanks left at the end go too.
  static std::string cut(const std::string& _text, size_t _maxBytes);
};

#endif
