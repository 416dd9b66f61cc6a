#include <gtest/gtest.h>

#include <string>

#include "lib/core/MUtf8.h"

TEST(MUtf8, TellsUtf8FromOtherBytes) {
  const std::pair<std::string, bool> cases[] = {
      {"plain", true},
      {"\xC3\x9C" "berlingen \xCE\x96 \xE2\x82\xAC \xF0\x9F\x93\xB7", true},
      {"M\xFCnchen", false},        // Latin-1
      {"\xC3", false},              // cut short
      {"\xC0\xAF", false},          // overlong
      {"\xE0\x80\xAF", false},      // overlong
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, MUtf8::isValid(c.first)) << c.first;
  EXPECT_EQ("M\xC3\xBCnchen", MUtf8::fromUnknown("M\xFCnchen"));
  EXPECT_EQ("\xC3\xBC", MUtf8::fromUnknown("\xC3\xBC"));
}

TEST(MUtf8, CutsBeforeTheLetterThatDoesNotFit) {
  const std::string euro = "\xE2\x82\xAC";  // three bytes
  struct Case {
    std::string text;
    size_t max;
    std::string cut;
  };
  const Case cases[] = {
      {"ab" + euro, 5, "ab" + euro},
      {"ab" + euro, 4, "ab"},
      {"ab" + euro, 3, "ab"},
      {"ab" + euro, 2, "ab"},
      {"a " + euro, 3, "a"},  // no blank left at the end
      {euro, 2, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.cut, MUtf8::cut(c.text, c.max)) << c.text << " " << c.max;
}
