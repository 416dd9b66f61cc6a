#ifndef VISTREL_GKEYWORDMATCHER_H
#define VISTREL_GKEYWORDMATCHER_H

#include <string>
#include <vector>

#include "lib/core/MTypes.h"

// Decides whether an image's keywords field holds every search word. The field's case is
// folded (MUtf8::fold: letters of the Latin, Greek, Cyrillic and Armenian alphabets, every
// other byte as it is) and each word must occur in it as a substring; a word shorter than two
// bytes, or one that folding would change, matches nothing. No words match every field.
class GKeywordMatcher {
 public:
  explicit GKeywordMatcher(const std::vector<std::string>& _words);

  // True when no field can match, so a search can skip reading the file.
  bool matchesNothing() const { return impossible; }
  // _field points at a keywords field; its text ends at the first zero byte or after
  // _maxChars characters (at most 255).
  bool matches(const uchar* _field, int _maxChars) const;
  const std::vector<std::string>& getWords() const { return words; }

 private:
  std::vector<std::string> words;
  bool impossible;
};

#endif
