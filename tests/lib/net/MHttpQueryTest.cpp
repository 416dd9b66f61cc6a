#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/core/MList.h"
#include "lib/net/MHttpQuery.h"

namespace {
typedef std::vector<std::pair<std::string, std::string>> Pairs;

Pairs parse(const char* _query) {
  MList params;
  MHttpQuery::parse(_query, params);
  Pairs pairs;
  for (MItem* i = params.getFirstItem(); i; i = params.getNextItem(i))
    pairs.emplace_back(i->key->toString().getValue(), i->object->toString().getValue());
  return pairs;
}
}  // namespace

TEST(MHttpQuery, Decoding) {
  struct Case {
    const char* query;
    Pairs expected;
  } cases[] = {
      {"x=1&y=2", {{"x", "1"}, {"y", "2"}}},
      // The last occurrence wins and keeps the first one's place.
      {"x=1&y=2&x=3", {{"x", "3"}, {"y", "2"}}},
      {"flag&x=1", {{"x", "1"}}},
      {"a=b=c", {}},
      {"", {}},
      {"&&=&", {{"", ""}}},
      {"n=", {{"n", ""}}},
      {"=v", {{"", "v"}}},
      {"a=1&", {{"a", "1"}}},
      {"%41%42=%41%42", {{"AB", "AB"}}},
      // A decoded character is not decoded again.
      {"v=%2541", {{"v", "%41"}}},
      {"v=a+b", {{"v", "a+b"}}},
      // Escaped separators and percent signs are the user's own characters.
      {"v=a%26b&w=1", {{"v", "a&b"}, {"w", "1"}}},
      {"v=a%3Db", {{"v", "a=b"}}},
      {"%3D=x", {{"=", "x"}}},
      {"v=100%25", {{"v", "100%"}}},
      {"v=%C3%a9", {{"v", "\xC3\xA9"}}},
      // Escapes cut short by the end of the text are kept as they are.
      {"v=%", {{"v", "%"}}},
      {"v=%4&w=2", {{"v", "%4"}, {"w", "2"}}},
      {"v=%2", {{"v", "%2"}}},
      {"%=1", {{"%", "1"}}},
      // Characters that are no hexadecimal digit count as 0; a decoded 0 ends the text.
      {"v=%g1", {{"v", "\x01"}}},
      {"v=ab%00cd&w=1", {{"v", "ab"}, {"w", "1"}}},
      {"v=%zzcd", {{"v", ""}}},
      {"%00x=1", {{"", "1"}}},
      // Paths are not decoded, only the query.
      {"p=/my%20file", {{"p", "/my file"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, parse(c.query)) << "query: " << c.query;
}

TEST(MHttpQuery, DecodeStopsAtTheGivenLength) {
  EXPECT_STREQ("a%", MHttpQuery::decode("a%41", 2).getValue());
  EXPECT_STREQ("aA", MHttpQuery::decode("a%41", 4).getValue());
  EXPECT_STREQ("", MHttpQuery::decode(nullptr, 4).getValue());
}

TEST(MHttpQuery, ParsingIntoAFilledListSetsEachName) {
  MList params;
  params.setObject("a", "old");
  params.setObject("keep", "1");
  MHttpQuery::parse("b=2&a=new", params);
  ASSERT_EQ(3, params.getLength());
  EXPECT_STREQ("new", params.getObject("a")->toString().getValue());
  EXPECT_STREQ("a", params.getFirstItem()->key->toString().getValue());
  EXPECT_STREQ("2", params.getObject("b")->toString().getValue());
  // The list's own setting is left as it was.
  EXPECT_TRUE(params.getUniqueKeys());
}
