#include <gtest/gtest.h>

#include "db/GDatabase.h"
#include "db/GPasswordHash.h"
#include "lib/core/MList.h"
#include "tests/db/DbTestSupport.h"

namespace {

// The two default accounts as bytes, built here field by field from the layout. The
// password field holds a hash with a fresh salt: the tests take it from the file, after
// checking that it is the hash of the demo password.
Bytes adminRecord() {
  Bytes r(208, 0);
  le32(r, 0, 0);
  le32(r, 4, 1);
  r[8] = 1;
  text(r, 20, "admin");
  text(r, 90, "System");
  text(r, 120, "Administrator");
  text(r, 150, "eng");
  le32(r, 196, 10000);
  r[200] = 0;  // imageAccept
  r[201] = 0;  // folderAccept
  r[202] = 1;  // folderAdmin
  r[203] = 0;  // imageUpload
  r[204] = 1;  // imageDownload
  return r;
}

Bytes guestRecord() {
  Bytes r(208, 0);
  le32(r, 0, 1);
  le32(r, 4, 0);
  r[8] = 1;
  text(r, 20, "guest");
  text(r, 90, "User");
  text(r, 120, "Guest");
  text(r, 150, "eng");
  le32(r, 196, 0);
  r[200] = 1;
  r[201] = 1;
  return r;
}

Bytes rootFolderRecord() {
  Bytes r(120, 0);
  le32(r, 0, 0);
  r[4] = 1;
  le32(r, 8, (uint32_t)-1);
  le32(r, 12, 0);
  text(r, 16, "Folders");
  r[116] = 0;
  return r;
}

}  // namespace

TEST(GDatabaseInit, FreshDirectoryGetsFourFilesWithTheirFirstRecords) {
  TempRoot root;
  {
    GDatabase db;
    db.init(root.path.c_str());
  }
  EXPECT_EQ(Bytes(), readBytes(root.file("image.db")));
  EXPECT_EQ(Bytes(), readBytes(root.file("folderImage.db")));
  EXPECT_EQ(rootFolderRecord(), readBytes(root.file("folder.db")));
  Bytes users = readBytes(root.file("user.db"));
  ASSERT_EQ(416u, users.size());
  const char* demo[] = {"tarbo", "plivo"};
  Bytes expected[] = {adminRecord(), guestRecord()};
  for (int i = 0; i < 2; ++i) {
    Bytes record = slice(users, (size_t)i, 208);
    MString stored((const char*)record.data() + 60);
    EXPECT_TRUE(GPasswordHash::verify(demo[i], stored)) << demo[i];
    memcpy(expected[i].data() + 60, record.data() + 60, 30);
    // The generation: the second the account was added, each its own.
    EXPECT_NE(0, readLe32(record, 12));
    memcpy(expected[i].data() + 12, record.data() + 12, 4);
    EXPECT_EQ(expected[i], record);
  }
  EXPECT_NE(readLe32(users, 12), readLe32(users, 208 + 12));
  // The files are made under a temporary name; none is left behind.
  EXPECT_NE(0, access(root.file("user.db.new").c_str(), F_OK));
  EXPECT_NE(0, access(root.file("folder.db.new").c_str(), F_OK));
}

TEST(GDatabaseInit, RestartOpensTheFilesUnchangedAndAddsNothing) {
  TempRoot root;
  {
    GDatabase db;
    db.init(root.path.c_str());
    GUser user;
    user.username = "carol";
    db.addUser(user);
  }
  Bytes usersBefore = readBytes(root.file("user.db"));
  Bytes foldersBefore = readBytes(root.file("folder.db"));
  {
    GDatabase db;
    db.init(root.path.c_str());
    GUser admin;
    EXPECT_EQ(0, db.getUserByUsername("admin", admin));
  }
  EXPECT_EQ(usersBefore, readBytes(root.file("user.db")));
  EXPECT_EQ(foldersBefore, readBytes(root.file("folder.db")));
  EXPECT_EQ(624u, usersBefore.size());
}

TEST(GDatabaseInit, OnlyTheMissingFileIsCreated) {
  TempRoot root;
  Bytes folder = rootFolderRecord();
  text(folder, 16, "Renamed");
  writeBytes(root.file("folder.db"), folder);
  GDatabase db;
  db.init(root.path.c_str());
  EXPECT_EQ(folder, readBytes(root.file("folder.db")));
  EXPECT_EQ(416u, readBytes(root.file("user.db")).size());
}

TEST(GDatabaseInitDeath, MissingDatabaseDirectoryEndsWithTheImageFileMessage) {
  TempRoot root(false);
  std::string expected = "ERROR: Cannot create the image file \\(" + root.path + "/database/image\\.db\\)!";
  EXPECT_EXIT(
      {
        GDatabase db;
        db.init(root.path.c_str());
      },
      testing::ExitedWithCode(1), expected);
}

TEST(GDatabaseInitDeath, EachFileHasItsOwnCreationMessage) {
  struct Case {
    const char* file;
    const char* message;
  } cases[] = {
      {"folderImage.db", "ERROR: Cannot create the image folder file \\("},
      {"folder.db", "ERROR: Cannot create the folder file \\("},
      {"user.db", "ERROR: Cannot create the user file \\("},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempRoot root;
    // A directory in the file's place can be neither opened nor replaced.
    mkdir(root.file(c.file).c_str(), 0755);
    std::string expected = std::string(c.message) + root.file(c.file) + "\\)!";
    EXPECT_EXIT(
        {
          GDatabase db;
          db.init(root.path.c_str());
        },
        testing::ExitedWithCode(1), expected);
    // Nothing was put in the directory's place.
    struct stat st;
    ASSERT_EQ(0, stat(root.file(c.file).c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
  }
}

TEST(GDatabaseInit, TornTailIsIgnoredAndOverwrittenByTheNextAddition) {
  TempRoot root;
  {
    GDatabase db;
    db.init(root.path.c_str());
  }
  // A crash in the middle of an append left 100 bytes of a third user.
  Bytes torn(100, 0x33);
  le32(torn, 0, 2);
  appendBytes(root.file("user.db"), torn);
  appendBytes(root.file("folder.db"), Bytes(7, 0x44));

  ClockedDatabase db;
  db.init(root.path.c_str());
  GUser user;
  EXPECT_EQ(-1, db.getUser(2, user));
  MList users;
  EXPECT_EQ(2, db.getUsers(users));
  MList folders;
  EXPECT_EQ(1, db.getFolders(folders));

  GUser dave;
  dave.username = "dave";
  EXPECT_EQ(2, db.addUser(dave));
  Bytes file = readBytes(root.file("user.db"));
  ASSERT_EQ(624u, file.size());
  EXPECT_EQ(2, readLe32(file, 416));
  EXPECT_EQ("dave", std::string((const char*)file.data() + 416 + 20));
  EXPECT_EQ(2, db.getUser(2, user));
}
