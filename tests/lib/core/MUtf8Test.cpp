#include <gtest/gtest.h>

#include <string>

#include "lib/core/MUtf8.h"

namespace {

std::string utf8(unsigned _cp) {
  std::string s;
  if (_cp < 0x80) {
    s += (char)_cp;
  } else if (_cp < 0x800) {
    s += (char)(0xC0 | (_cp >> 6));
    s += (char)(0x80 | (_cp & 0x3F));
  } else {
    s += (char)(0xE0 | (_cp >> 12));
    s += (char)(0x80 | ((_cp >> 6) & 0x3F));
    s += (char)(0x80 | (_cp & 0x3F));
  }
  return s;
}

}  // namespace

TEST(MUtf8, FoldsLettersOfTheTable) {
  struct Case {
    const char* what;
    std::string text;
    std::string folded;
  } cases[] = {
      {"ASCII", "Red CAR 1965 [x]", "red car 1965 [x]"},
      {"Latin-1 Supplement", "ÜBERLINGEN Ærø ÀÉÎÕÜÝÞ", "überlingen ærø àéîõüýþ"},
      {"signs of Latin-1 stay", "× ÷ © ½", "× ÷ © ½"},
      {"micro sign is mu", "µm", "μm"},
      {"Latin Extended-A", "ŁÓDŹ ŠKODA ČESKÝ ŐRSÉG", "łódź škoda český őrség"},
      {"capital Y with diaeresis", "ŸVES", "ÿves"},
      {"Turkish capital I with dot (shorter)", "İSTANBUL", "istanbul"},
      {"long s (shorter)", "Meſſe", "messe"},
      {"small sharp s stays", "Straße", "straße"},
      {"capital sharp s", "STRAẞE", "straße"},
      {"Latin Extended-B (Romanian)", "ȘTEFAN ȚEPEȘ", "ștefan țepeș"},
      {"Latin Extended Additional (Vietnamese)", "HÀ NỘI ĐẸP", "hà nội đẹp"},
      {"Greek with tonos", "ΑΘΉΝΑ Ώρα", "αθήνα ώρα"},
      {"Greek final sigma", "ΟΔΟΣ οδός", "οδοσ οδόσ"},
      {"Greek dialytika", "ΪΫ", "ϊϋ"},
      {"polytonic Greek", "ἈΘῆΝΑΙ Ὀδυσσεύς", "ἀθῆναι ὀδυσσεύσ"},
      {"Cyrillic", "МОСКВА Ёлка ЁЖ", "москва ёлка ёж"},
      {"Cyrillic beyond Russian", "ЇЖАК Ґанок ЉУБЉАНА Ӂ", "їжак ґанок љубљана ӂ"},
      {"Armenian", "ԵՐԵՎԱՆ", "երեվան"},
      {"scripts without case", "東京 ٱلقاهرة 🎉 €", "東京 ٱلقاهرة 🎉 €"},
      {"bytes that are not UTF-8 stay", "\xC4\xE4 A\xC3", "\xC4\xE4 a\xC3"},
      {"overlong forms stay", "\xC0\x81\xE0\x83\x80", "\xC0\x81\xE0\x83\x80"},
      {"stray continuation bytes stay", "\x9C\xBC\x80", "\x9C\xBC\x80"},
      {"a zero byte is kept", std::string("A\0B", 3), std::string("a\0b", 3)},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.folded, MUtf8::fold(c.text)) << c.what;
    // In place, over the text itself.
    std::string text = c.text;
    text.resize(MUtf8::fold(text.data(), text.size(), &text[0]));
    EXPECT_EQ(c.folded, text) << c.what << " (in place)";
  }
}

// What searching relies on for every letter below U+2000: a folded letter never takes more
// bytes than the original, and folding a folded letter changes nothing.
TEST(MUtf8, FoldingNeverGrowsAndIsFinal) {
  for (unsigned cp = 1; cp < 0x2000; ++cp) {
    if (cp >= 0x800 && cp < 0x1000) continue;
    std::string letter = utf8(cp);
    std::string once = MUtf8::fold(letter);
    EXPECT_LE(once.size(), letter.size()) << std::hex << cp;
    EXPECT_EQ(once, MUtf8::fold(once)) << std::hex << cp;
  }
}

TEST(MUtf8, CutsAtTheLastWholeLetter) {
  struct Case {
    const char* what;
    std::string text;
    size_t max;
    size_t length;
  } cases[] = {
      {"fits", "Überlingen", 20, 11},
      {"fits exactly", "Überlingen", 11, 11},
      {"ASCII cut by bytes", "abcdef", 4, 4},
      {"two-byte letter across the cut", "abcü", 4, 3},
      {"cut just after a two-byte letter", "abüc", 4, 4},
      {"three-byte letter after one byte", "ab€", 3, 2},
      {"three-byte letter after two bytes", "ab€", 4, 2},
      {"four-byte letter after three bytes", "a🎉b", 4, 1},
      {"nothing fits but a split letter", "ü", 1, 0},
      {"cut to nothing", "abc", 0, 0},
      {"Latin-1 bytes cut by bytes", "caf\xE9 au lait", 4, 4},
      {"Latin-1 lead-like byte before ASCII", "ab\xE9xyz", 3, 3},
      {"stray continuation bytes cut by bytes", "\x80\x80\x80\x80\x80", 3, 3},
      {"a letter broken off after the cut", "ab\xE2\x82x", 3, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.length, MUtf8::cutLength(c.text.data(), c.text.size(), c.max)) << c.what;
  }
}

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
