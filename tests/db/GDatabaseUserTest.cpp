#include <gtest/gtest.h>

#include <cstring>

#include "db/GDatabase.h"
#include "db/GPasswordHash.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "tests/db/DbTestSupport.h"
#include "tests/support/ClearPasswordFile.h"

namespace {

class GDatabaseUsers : public testing::Test {
 protected:
  void SetUp() override { db.init(root.path.c_str()); }

  int addUser(const char* _name) {
    GUser user;
    user.username = _name;
    return db.addUser(user);
  }

  TempRoot root;
  ClockedDatabase db;
};

}  // namespace

TEST_F(GDatabaseUsers, RecordBytesFollowTheLayoutAndTextsAreCut) {
  GUser user;
  user.type = 1;
  user.enabled = true;
  user.generation = 0x01020304;  // ignored: the database stamps the account
  user.reserved2 = 0xA0B0C0D0;
  user.username = std::string(45, 'u').c_str();
  user.password = std::string(30, 'p').c_str();
  user.firstname = "Ann";
  user.lastname = "Lee";
  user.language = "deutsch";
  user.email = std::string(41, 'e').c_str();
  user.imageLimit = -2;
  user.imageAccept = false;
  user.folderAccept = true;
  user.folderAdmin = false;
  user.imageUpload = true;
  user.imageDownload = false;
  user.id = 77;  // ignored: the record number decides
  ASSERT_EQ(2, db.addUser(user));
  EXPECT_EQ(2, user.id);

  Bytes expected(208, 0);
  le32(expected, 0, 2);
  le32(expected, 4, 1);
  expected[8] = 1;
  le32(expected, 12, 1000002);  // the clock's second, after the two seeded accounts
  le32(expected, 16, 0xA0B0C0D0);
  text(expected, 20, std::string(39, 'u'));
  text(expected, 60, std::string(29, 'p'));
  text(expected, 90, "Ann");
  text(expected, 120, "Lee");
  text(expected, 150, "deut");
  text(expected, 155, std::string(39, 'e'));
  le32(expected, 196, (uint32_t)-2);
  expected[201] = 1;
  expected[203] = 1;
  EXPECT_EQ(expected, slice(readBytes(root.file("user.db")), 2, 208));

  GUser back;
  ASSERT_EQ(2, db.getUser(2, back));
  EXPECT_STREQ(std::string(39, 'u').c_str(), back.username.getValue());
  EXPECT_STREQ(std::string(29, 'p').c_str(), back.password.getValue());
  EXPECT_STREQ("deut", back.language.getValue());
  EXPECT_EQ(39, back.email.getLength());
  EXPECT_EQ(0xA0B0C0D0u, back.reserved2);
  EXPECT_EQ(-2, back.imageLimit);
  EXPECT_TRUE(back.imageUpload);
  EXPECT_FALSE(back.imageAccept);
}

TEST_F(GDatabaseUsers, DefaultAccountsCannotBeDeletedButOthersCanAndTheirSlotIsReused) {
  EXPECT_EQ(-1, db.deleteUser(0));
  EXPECT_EQ(-1, db.deleteUser(1));
  for (int i = 2; i <= 6; ++i) EXPECT_EQ(i, addUser(MString::format("user%d", i).getValue()));

  EXPECT_EQ(5, db.deleteUser(5));
  EXPECT_EQ(-1, db.deleteUser(5));  // already free
  GUser user;
  EXPECT_EQ(-1, db.getUser(5, user));
  Bytes freed(208, 0);
  le32(freed, 0, (uint32_t)-1);
  EXPECT_EQ(freed, slice(readBytes(root.file("user.db")), 5, 208));

  EXPECT_EQ(5, addUser("newcomer"));
  EXPECT_EQ(7, addUser("last"));
  EXPECT_EQ(-1, db.deleteUser(99));
  EXPECT_EQ(-1, db.deleteUser(-3));
}

TEST_F(GDatabaseUsers, AFreedIdComesBackWithAnotherGenerationThatUpdatesKeep) {
  // All in one second of the clock: the stamps still differ.
  ASSERT_EQ(2, addUser("first"));
  GUser first;
  ASSERT_EQ(2, db.getUser(2, first));
  ASSERT_EQ(2, db.deleteUser(2));
  ASSERT_EQ(2, addUser("second"));
  GUser second;
  ASSERT_EQ(2, db.getUser(2, second));
  EXPECT_NE(first.generation, second.generation);

  // An update keeps the stored stamp, whatever the caller's copy holds.
  second.generation = first.generation;
  second.firstname = "Changed";
  ASSERT_EQ(2, db.updateUser(2, second));
  GUser back;
  db.getUser(2, back);
  EXPECT_STREQ("Changed", back.firstname.getValue());
  EXPECT_NE(first.generation, back.generation);
}

TEST_F(GDatabaseUsers, AnAccountIsKnownWhileItsIdHoldsItsGeneration) {
  GUser owner;
  owner.username = "owner";
  ASSERT_EQ(2, db.addUser(owner));
  EXPECT_TRUE(db.hasAccount(owner));
  GUser copy;
  db.getUser(2, copy);
  EXPECT_TRUE(db.hasAccount(copy));
  // Deleted, then another account under the same id.
  ASSERT_EQ(2, db.deleteUser(2));
  EXPECT_FALSE(db.hasAccount(owner));
  GUser successor;
  successor.username = "successor";
  ASSERT_EQ(2, db.addUser(successor));
  EXPECT_FALSE(db.hasAccount(owner));
  EXPECT_TRUE(db.hasAccount(successor));
  GUser nobody;
  nobody.id = -1;
  EXPECT_FALSE(db.hasAccount(nobody));
}

TEST(GDatabaseUserGenerations, AnOlderFileKeepsItsZerosAndNewAccountsStampAboveTheHighest) {
  TempRoot root;
  Bytes file(3 * 208, 0);
  const char* names[] = {"admin", "guest", "olduser"};
  for (int i = 0; i < 3; ++i) {
    le32(file, i * 208, (uint32_t)i);
    text(file, i * 208 + 20, names[i]);
  }
  // The third account carries a stamp from the future of the clock below.
  le32(file, 2 * 208 + 12, 2000000);
  writeBytes(root.file("user.db"), file);
  ClockedDatabase db;
  db.init(root.path.c_str());
  GUser user;
  ASSERT_EQ(0, db.getUser(0, user));
  EXPECT_EQ(0u, user.generation);
  GUser added;
  added.username = "new";
  ASSERT_EQ(3, db.addUser(added));
  EXPECT_EQ(2000001u, added.generation);
}

TEST_F(GDatabaseUsers, LookupsByIdAndByExactUsername) {
  GUser user;
  user.username = "unchanged";
  EXPECT_EQ(-1, db.getUser(-1, user));
  EXPECT_EQ(-1, db.getUser(2, user));
  EXPECT_EQ(-1, db.getUserByUsername("Admin", user));
  EXPECT_EQ(-1, db.getUserByUsername("admi", user));
  EXPECT_EQ(-1, db.getUserByUsername(nullptr, user));
  EXPECT_STREQ("unchanged", user.username.getValue());
  EXPECT_EQ(1, db.getUserByUsername("guest", user));
  EXPECT_STREQ("Guest", user.lastname.getValue());

  std::string longName(50, 'x');
  addUser(longName.c_str());
  EXPECT_EQ(-1, db.getUserByUsername(longName.c_str(), user));
  EXPECT_EQ(2, db.getUserByUsername(longName.substr(0, 39).c_str(), user));
}

TEST_F(GDatabaseUsers, ListIsInFileOrderKeyedByNamesAndId) {
  addUser("zed");
  addUser("gone");
  db.deleteUser(3);
  MList users;
  users.addObject("stale", new MString("x"));
  ASSERT_EQ(3, db.getUsers(users));
  MItem* item = users.getFirstItem();
  EXPECT_STREQ("Administrator:System:admin:0", item->key->toString().getValue());
  item = users.getNextItem(item);
  EXPECT_STREQ("Guest:User:guest:1", item->key->toString().getValue());
  item = users.getNextItem(item);
  EXPECT_STREQ("::zed:2", item->key->toString().getValue());
  EXPECT_STREQ("zed", ((GUser*)item->object)->username.getValue());
}

TEST_F(GDatabaseUsers, UpdateRewritesEverythingButTheId) {
  GUser admin;
  ASSERT_EQ(0, db.getUser(0, admin));
  admin.password = "secret";
  admin.id = 12;
  EXPECT_EQ(0, db.updateUser(0, admin));
  GUser back;
  db.getUser(0, back);
  EXPECT_STREQ("secret", back.password.getValue());
  EXPECT_EQ(0, back.id);
  EXPECT_EQ(-1, db.updateUser(-1, admin));
  EXPECT_EQ(-1, db.updateUser(4, admin));
  EXPECT_EQ(416u, readBytes(root.file("user.db")).size());
}

namespace {

MString passwordField(const Bytes& _file, int _record) {
  const unsigned char* field = _file.data() + _record * 208 + 60;
  return MString((const char*)field);
}

}  // namespace

TEST(GDatabaseUserPasswords, AFreshFileHoldsHashesOfTheDemoPasswordsNeverTheClearText) {
  TempRoot root;
  GDatabase db;
  db.init(root.path.c_str());
  Bytes file = readBytes(root.file("user.db"));
  ASSERT_EQ(416u, file.size());
  std::string text(file.begin(), file.end());
  EXPECT_EQ(std::string::npos, text.find("tarbo"));
  EXPECT_EQ(std::string::npos, text.find("plivo"));
  const char* demo[] = {"tarbo", "plivo"};
  for (int record = 0; record < 2; ++record) {
    // 29 characters, the marker first, the field's last byte still the terminating zero.
    EXPECT_EQ('$', file[record * 208 + 60]);
    EXPECT_EQ(0, file[record * 208 + 89]);
    MString stored = passwordField(file, record);
    EXPECT_EQ(29, stored.getLength());
    EXPECT_TRUE(GPasswordHash::verify(demo[record], stored));
  }
}

TEST(GDatabaseUserPasswords, ClearPasswordsOfAnOlderFileAreHashedOnceAtTheStart) {
  TempRoot root;
  std::string longPassword = std::string(29, 'L') + "-cut-by-the-record";
  testclear::writeClearPasswords(
      root.path, {{"user2", "secret"}, {"user3", longPassword}, {"user4", ""}, {"user5", "gone"}});
  // A free record is left alone, whatever its bytes.
  Bytes before = readBytes(root.file("user.db"));
  le32(before, 5 * 208, (uint32_t)-1);
  writeBytes(root.file("user.db"), before);
  ASSERT_EQ(6u * 208, before.size());

  testing::internal::CaptureStderr();
  {
    GDatabase db;
    db.init(root.path.c_str());
  }
  EXPECT_EQ("Hashed the clear passwords of 3 accounts.\n", testing::internal::GetCapturedStderr());
  Bytes after = readBytes(root.file("user.db"));
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < after.size(); ++i) {
    size_t offset = i % 208;
    bool hashed = offset >= 60 && offset < 90 && (i / 208 == 0 || i / 208 == 2 || i / 208 == 3);
    if (!hashed) {
      ASSERT_EQ(before[i], after[i]) << "byte " << i;
    }
  }
  EXPECT_TRUE(GPasswordHash::verify("tarbo", passwordField(after, 0)));
  EXPECT_TRUE(GPasswordHash::verify("secret", passwordField(after, 2)));
  // The old record held the first 29 characters: those log in, as before.
  EXPECT_TRUE(GPasswordHash::verify(longPassword.substr(0, 29).c_str(), passwordField(after, 3)));
  EXPECT_FALSE(GPasswordHash::verify(longPassword.c_str(), passwordField(after, 3)));
  EXPECT_STREQ("", passwordField(after, 4).getValue());
  EXPECT_STREQ("gone", passwordField(after, 5).getValue());

  // The next start finds nothing to do.
  testing::internal::CaptureStderr();
  {
    GDatabase db;
    db.init(root.path.c_str());
  }
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(after, readBytes(root.file("user.db")));
}
