#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/GKeywordMatcher.h"

namespace {

// The rule written the plain way: lower A-Z, then every word (2+ characters) a substring.
bool reference(const std::vector<unsigned char>& _field, int _maxChars,
               const std::vector<std::string>& _words) {
  std::string text;
  for (int i = 0; i < _maxChars && _field[i] != 0; ++i) {
    unsigned char ch = _field[i];
    text += (char)(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  }
  for (const std::string& w : _words) {
    if (w.size() < 2 || text.find(w) == std::string::npos) return false;
  }
  return true;
}

}  // namespace

// The vectorised matcher against the plain rule on many generated fields: every text
// length, matches at every position (also across 16-byte blocks and at the very end),
// capitals, bytes from 0x80 on, and junk after the terminator that must not match.
TEST(GKeywordMatcher, AgreesWithThePlainRule) {
  std::mt19937 rng(7);
  const char alphabet[] = "abAB z\xC4\xE4-";
  int matched = 0;
  for (int round = 0; round < 20000; ++round) {
    // Exactly the field's size, so that any read past it is caught by the address sanitizer.
    std::vector<unsigned char> field(200, 0);
    int length = (int)(rng() % 200);
    for (int i = 0; i < length; ++i) field[i] = (unsigned char)alphabet[rng() % 9];
    if (length < 199 && rng() % 3 == 0) {
      for (int i = length + 1; i < 200; ++i) field[i] = 'a';  // junk behind the terminator
    }
    std::vector<std::string> words;
    int n = (int)(rng() % 3);
    for (int k = 0; k < n; ++k) {
      std::string w;
      int m = 1 + (int)(rng() % 5);
      if (length > m && rng() % 2 == 0) {
        // Take the word from the text itself, lowered, at a random place.
        int at = (int)(rng() % (length - m + 1));
        for (int i = 0; i < m; ++i) {
          unsigned char ch = field[at + i];
          w += (char)(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
        }
      } else {
        for (int i = 0; i < m; ++i) w += "abz\xC4-"[rng() % 5];
      }
      words.push_back(w);
    }
    GKeywordMatcher matcher(words);
    bool expected = reference(field, 199, words);
    ASSERT_EQ(expected, matcher.matches(field.data(), 199)) << "round " << round;
    if (expected) matched++;
  }
  EXPECT_GT(matched, 2000);  // the generated cases do exercise matches
}

TEST(GKeywordMatcher, WordsThatCanNeverMatch) {
  std::vector<unsigned char> field(200, 0);
  std::string text = "Red car";
  std::copy(text.begin(), text.end(), field.begin());
  struct Case {
    std::vector<std::string> words;
    bool nothing;
    bool match;
  } cases[] = {
      {{}, false, true},
      {{"red"}, false, true},
      {{"Red"}, true, false},
      {{"r"}, true, false},
      {{"red", ""}, true, false},
      {{std::string(256, 'a')}, true, false},
      {{std::string(199, 'a')}, false, false},
  };
  for (const Case& c : cases) {
    GKeywordMatcher matcher(c.words);
    EXPECT_EQ(c.nothing, matcher.matchesNothing());
    EXPECT_EQ(c.match, matcher.matches(field.data(), 199));
  }
}
