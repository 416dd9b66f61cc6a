#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "db/GPasswordHash.h"

namespace {

bool base64url(char _c) {
  return (_c >= 'A' && _c <= 'Z') || (_c >= 'a' && _c <= 'z') || (_c >= '0' && _c <= '9') ||
         _c == '-' || _c == '_';
}

}  // namespace

TEST(GPasswordHash, FullCostHashFitsTheFieldAndVerifiesOnlyTheSamePassword) {
  GPasswordHash::setLightCost(false);
  MString stored = GPasswordHash::hash("tarbo");
  ASSERT_EQ(29, stored.getLength());
  EXPECT_EQ(29u, strlen(stored.getValue()));  // no NUL inside
  EXPECT_EQ('$', stored.getChar(0));
  EXPECT_EQ('1', stored.getChar(1));
  for (int i = 2; i < 29; ++i) EXPECT_TRUE(base64url(stored.getChar(i))) << stored.getValue();
  EXPECT_EQ(nullptr, strstr(stored.getValue(), "tarbo"));
  EXPECT_TRUE(GPasswordHash::isHash(stored));

  EXPECT_TRUE(GPasswordHash::verify("tarbo", stored));
  EXPECT_FALSE(GPasswordHash::verify("Tarbo", stored));
  EXPECT_FALSE(GPasswordHash::verify("tarbo ", stored));
  EXPECT_FALSE(GPasswordHash::verify("", stored));
  // A fresh salt every time.
  EXPECT_NE(stored, GPasswordHash::hash("tarbo"));
}

TEST(GPasswordHash, TheWholePasswordIsHashed) {
  GPasswordHash::setLightCost(true);
  std::string longPassword = std::string(29, 'a') + "-and-the-rest";
  MString stored = GPasswordHash::hash(longPassword.c_str());
  EXPECT_TRUE(GPasswordHash::verify(longPassword.c_str(), stored));
  EXPECT_FALSE(GPasswordHash::verify(std::string(29, 'a').c_str(), stored));
  EXPECT_FALSE(GPasswordHash::verify((longPassword + "x").c_str(), stored));
  // Bytes beyond ASCII are hashed as they are.
  MString umlaut = GPasswordHash::hash("K\xc3\xa4se");
  EXPECT_TRUE(GPasswordHash::verify("K\xc3\xa4se", umlaut));
  EXPECT_FALSE(GPasswordHash::verify("Kase", umlaut));
}

TEST(GPasswordHash, NoPasswordAndStoredTextsThatAreNoHashNeverVerify) {
  GPasswordHash::setLightCost(true);
  EXPECT_STREQ("", GPasswordHash::hash("").getValue());
  MString light = GPasswordHash::hash("pw");
  ASSERT_EQ('0', light.getChar(1));
  std::string valid = light.getValue();

  struct Case {
    std::string stored;
    bool isHash;
  };
  const Case cases[] = {
      {valid, true},
      {"", false},
      {"pw", false},                                   // a clear password of an old record
      {std::string(29, 'p'), false},                   // the same length, no marker
      {"$" + valid.substr(1, 27), false},              // one short
      {valid + "A", false},                            // one long
      {"$9" + valid.substr(2), false},                 // unknown cost
      {valid.substr(0, 28) + "*", false},              // not base64
      {valid.substr(0, 10) + "+" + valid.substr(11), false},  // the other alphabet
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.isHash, GPasswordHash::isHash(c.stored.c_str())) << c.stored;
    EXPECT_EQ(c.isHash, GPasswordHash::verify("pw", c.stored.c_str())) << c.stored;
  }
  // The clear text itself does not log in against a stored clear text.
  EXPECT_FALSE(GPasswordHash::verify("pw", "pw"));
  // Nor does an empty password, whatever is stored.
  EXPECT_FALSE(GPasswordHash::verify("", ""));
}

TEST(GPasswordHash, AListingShowsAMarkerNeverTheHash) {
  GPasswordHash::setLightCost(true);
  EXPECT_STREQ("(hashed)", GPasswordHash::describe(GPasswordHash::hash("pw")));
  EXPECT_STREQ("(none)", GPasswordHash::describe(""));
  EXPECT_STREQ("(not hashed)", GPasswordHash::describe("pw"));
}
