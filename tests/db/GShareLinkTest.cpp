#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DbTestSupport.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GShareLink.h"
#include "db/GShareLinkRecord.h"
#include "db/GUser.h"
#include "lib/core/MList.h"

namespace {

GShareLink sampleLink() {
  GShareLink link;
  link.kind = GShareLink::PICTURE;
  link.state = GShareLink::ENDED;
  link.originals = true;
  link.contributions = false;
  link.target = 0x01020304;
  link.maker = 7;
  for (int i = 0; i < GShareLink::TOKEN_BYTES; ++i) link.token[i] = (unsigned char)(0xA0 + i);
  link.created = 0x11223344;
  link.expires = 0x55667788;
  link.opened = 9;
  link.lastOpened = 0x99AABBCC;
  link.contributionDay = 20000;
  link.contributionsToday = 3;
  link.password = "$1abcdefghijklmnopqrstuvwxyz0";
  link.name = "Holiday";
  return link;
}

int addFolder(GDatabase& _database, int _owner) {
  GFolder folder;
  folder.parentId = 0;
  folder.ownerId = _owner;
  folder.name = "shared";
  folder.enabled = true;
  folder.imageFolder = true;
  return _database.addFolder(folder);
}

int addImage(GDatabase& _database, int _owner) {
  GImage image;
  image.user = _owner;
  image.status = GIMAGE_ACCEPTED;
  image.name = "picture";
  return _database.addImage(image);
}

int addLink(GDatabase& _database, int _kind, int _target, int _maker) {
  GShareLink link;
  link.kind = _kind;
  link.target = _target;
  link.maker = _maker;
  GShareLink::newToken(link.token);
  return _database.addShareLink(link);
}

int stateOf(GDatabase& _database, int _id) {
  GShareLink link;
  EXPECT_EQ(_database.getShareLink(_id, link), _id);
  return link.state;
}

}  // namespace

// The record's bytes, written here field by field from the layout, decode to the link, and
// the link encodes to the same bytes.
TEST(GShareLinkRecord, LayoutOfTheFile) {
  Bytes expected(128, 0);
  le32(expected, 0, 5);
  expected[4] = 1;  // picture
  expected[5] = 1;  // ended
  expected[6] = 1;  // originals
  expected[7] = 0;
  le32(expected, 8, 0x01020304);
  le32(expected, 12, 7);
  for (int i = 0; i < 16; ++i) expected[16 + i] = (unsigned char)(0xA0 + i);
  le32(expected, 32, 0x11223344);
  le32(expected, 36, 0x55667788);
  le32(expected, 40, 9);
  le32(expected, 44, 0x99AABBCC);
  le32(expected, 48, 20000);
  le32(expected, 52, 3);
  text(expected, 56, "$1abcdefghijklmnopqrstuvwxyz0");
  text(expected, 88, "Holiday");

  uchar record[GShareLinkRecord::SIZE];
  GShareLinkRecord::store(sampleLink(), 5, record);
  EXPECT_EQ(Bytes(record, record + sizeof record), expected);

  GShareLink back;
  GShareLinkRecord::decode(expected.data(), back);
  GShareLink sample = sampleLink();
  EXPECT_EQ(back.id, 5);
  EXPECT_EQ(back.kind, sample.kind);
  EXPECT_EQ(back.state, sample.state);
  EXPECT_EQ(back.originals, sample.originals);
  EXPECT_EQ(back.target, sample.target);
  EXPECT_EQ(back.maker, sample.maker);
  EXPECT_EQ(memcmp(back.token, sample.token, 16), 0);
  EXPECT_EQ(back.expires, sample.expires);
  EXPECT_EQ(back.lastOpened, sample.lastOpened);
  EXPECT_EQ(back.contributionsToday, 3);
  EXPECT_STREQ(back.password.getValue(), sample.password.getValue());
  EXPECT_STREQ(back.name.getValue(), "Holiday");
}

// A token's text is 22 letters of URL-safe base64; each token has exactly one text, and
// nothing else parses.
TEST(GShareLink, TokenText) {
  GShareLink link;
  GShareLink::newToken(link.token);
  MString text = link.tokenText();
  ASSERT_EQ(text.getLength(), 22);
  EXPECT_EQ(strspn(text.getValue(),
                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            22u);
  unsigned char parsed[16];
  ASSERT_TRUE(GShareLink::parseToken(text.getValue(), 22, parsed));
  EXPECT_TRUE(GShareLink::sameToken(parsed, link.token));

  // 22 letters carry 132 bits: the last letter's 4 spare bits must be zero.
  const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string spare = text.getValue();
  spare[21] = alphabet[alphabet.find(spare[21]) ^ 1];
  const std::string full = text.getValue();
  const std::string wrong[] = {"", full.substr(0, 21), full + "A", spare,
                               std::string(21, 'A') + "=", std::string(21, 'A') + "/",
                               std::string(21, 'A') + "+"};
  for (const std::string& w : wrong) {
    EXPECT_FALSE(GShareLink::parseToken(w.data(), w.size(), parsed)) << w;
  }

  GShareLink second;
  GShareLink::newToken(second.token);
  EXPECT_FALSE(GShareLink::sameToken(second.token, link.token));
}

TEST(GDatabaseShareLinks, FoundByTokenOnly) {
  TempRoot root;
  ClockedDatabase database;
  database.init(root.path.c_str());
  int folder = addFolder(database, 0);
  int a = addLink(database, GShareLink::FOLDER, folder, 0);
  int b = addLink(database, GShareLink::FOLDER, folder, 0);
  GShareLink second;
  ASSERT_EQ(database.getShareLink(b, second), b);
  GShareLink found;
  EXPECT_EQ(database.findShareLink(second.token, found), b);
  EXPECT_EQ(found.id, b);
  second.token[15] ^= 1;
  EXPECT_EQ(database.findShareLink(second.token, found), -1);
  EXPECT_NE(a, b);

  // A change keeps id and token whatever it sets.
  ASSERT_TRUE(database.changeShareLink(a, [](GShareLink& _link) {
    _link.opened = 4;
    _link.id = 99;
    memset(_link.token, 0, sizeof _link.token);
  }));
  GShareLink changed;
  ASSERT_EQ(database.getShareLink(a, changed), a);
  EXPECT_EQ(changed.opened, 4u);
  unsigned char zero[16] = {};
  EXPECT_FALSE(GShareLink::sameToken(changed.token, zero));
  MList all;
  EXPECT_EQ(database.getShareLinks(-1, all), 2);
  EXPECT_EQ(database.getShareLinks(3, all), 0);
}

// Deleting a folder, an image or the maker ends the links to it (and of the maker), and
// only those.
TEST(GDatabaseShareLinks, DeletionsEndLinks) {
  TempRoot root;
  ClockedDatabase database;
  database.init(root.path.c_str());
  GUser maker;
  maker.username = "maker";
  maker.enabled = true;
  int makerId = database.addUser(maker);
  int folder = addFolder(database, makerId);
  int other = addFolder(database, makerId);
  int image = addImage(database, makerId);
  int adminImage = addImage(database, 0);
  int folderLink = addLink(database, GShareLink::FOLDER, folder, makerId);
  int otherLink = addLink(database, GShareLink::FOLDER, other, 0);
  int imageLink = addLink(database, GShareLink::PICTURE, image, 0);
  int adminImageLink = addLink(database, GShareLink::PICTURE, adminImage, 0);
  int makersLink = addLink(database, GShareLink::FOLDER, other, makerId);

  database.deleteFolder(folder);
  EXPECT_EQ(stateOf(database, folderLink), GShareLink::TARGET_GONE);
  EXPECT_EQ(stateOf(database, otherLink), GShareLink::LIVE);

  database.deleteUserImages(makerId);
  EXPECT_EQ(stateOf(database, imageLink), GShareLink::TARGET_GONE);
  EXPECT_EQ(stateOf(database, adminImageLink), GShareLink::LIVE);

  database.deleteImage(adminImage);
  EXPECT_EQ(stateOf(database, adminImageLink), GShareLink::TARGET_GONE);

  database.deleteUser(makerId);
  EXPECT_EQ(stateOf(database, makersLink), GShareLink::MAKER_GONE);
  EXPECT_EQ(stateOf(database, otherLink), GShareLink::LIVE);
}

// Links whose folder, image or maker is missing at start (a deletion cut short before it
// could end them, or files put together by hand) are ended then.
TEST(GDatabaseShareLinks, SweptAtStart) {
  TempRoot root;
  int live, noFolder, noImage, noMaker;
  {
    ClockedDatabase database;
    database.init(root.path.c_str());
    int folder = addFolder(database, 0);
    int image = addImage(database, 0);
    live = addLink(database, GShareLink::FOLDER, folder, 0);
    noFolder = addLink(database, GShareLink::FOLDER, folder + 50, 0);
    noImage = addLink(database, GShareLink::PICTURE, image + 50, 0);
    noMaker = addLink(database, GShareLink::PICTURE, image, 77);
  }
  ClockedDatabase database;
  database.init(root.path.c_str());
  EXPECT_EQ(stateOf(database, live), GShareLink::LIVE);
  EXPECT_EQ(stateOf(database, noFolder), GShareLink::TARGET_GONE);
  EXPECT_EQ(stateOf(database, noImage), GShareLink::TARGET_GONE);
  EXPECT_EQ(stateOf(database, noMaker), GShareLink::MAKER_GONE);
  // The file is read back as it was written.
  Bytes file = readBytes(root.file("sharelink.db"));
  EXPECT_EQ(file.size(), 4u * 128u);
  EXPECT_EQ(file[128 * noMaker + 5], GShareLink::MAKER_GONE);
}
