#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GShareLink.h"
#include "tests/views/ImageViewTestSupport.h"
#include "views/GRights.h"

namespace {

// Who may make and manage links for people without an account, and what a link gives its
// visitors, as one table of kinds of session against the questions (as GRightsTest does for
// the other rights).
class GLinkRightsTest : public imagetest::ImageViewTest {
 protected:
  void SetUp() override {
    uploader = addUser(GRights::ordinaryType, true);
    folderAdmin = addUser(GRights::ordinaryType, false);
    GUser user;
    db().getUser(folderAdmin, user);
    user.folderAdmin = true;
    user.imageDownload = true;
    db().updateUser(folderAdmin, user);
    plain = addUser(GRights::ordinaryType, false);
    secondAdmin = addUser(GRights::administratorType, false);
    picture = addImage(uploader, GIMAGE_ACCEPTED);
    ownFolder = addFolder(0, "Own", true);
    GFolder folder;
    db().getFolder(ownFolder, folder);
    folder.ownerId = folderAdmin;
    db().updateFolder(ownFolder, folder);
    adminFolder = addFolder(0, "Admin's", true);
  }

  GSession kind(const std::string& _kind) {
    GSession s;
    s.id = "123456789";
    auto as = [&](int _user) { db().getUser(_user, s.user); };
    if (_kind == "guest session") s.id = GSession::guestId;
    if (_kind == "guest account") as(GRights::guestAccountId);
    if (_kind == "administrator") as(GRights::administratorAccountId);
    if (_kind == "second administrator") as(secondAdmin);
    if (_kind == "folder administrator") as(folderAdmin);
    if (_kind == "uploader") as(uploader);
    if (_kind == "user without rights") as(plain);
    return s;
  }

  int uploader = 0, folderAdmin = 0, plain = 0, secondAdmin = 0;
  int picture = 0, ownFolder = 0, adminFolder = 0;
};

TEST_F(GLinkRightsTest, EveryKindOfSessionAgainstEveryLinkRight) {
  GImage image;
  ASSERT_EQ(picture, db().getImage(picture, image));
  GFolder own, admins;
  ASSERT_EQ(ownFolder, db().getFolder(ownFolder, own));
  ASSERT_EQ(adminFolder, db().getFolder(adminFolder, admins));
  GShareLink uploadersLink;
  uploadersLink.maker = uploader;
  uploadersLink.originals = true;

  struct Right {
    const char* name;
    std::function<bool(const GSession&)> ask;
  };
  const std::vector<Right> rights = {
      {"shareOwnFolder", [&](const GSession& s) { return GRights::mayShareFolder(s, own); }},
      {"shareAdminFolder",
       [&](const GSession& s) { return GRights::mayShareFolder(s, admins); }},
      {"sharePicture", [&](const GSession& s) { return GRights::mayShareImage(s, image); }},
      {"allLinks", [](const GSession& s) { return GRights::mayManageAllLinks(s); }},
      {"manageUploadersLink",
       [&](const GSession& s) { return GRights::mayManageLink(s, uploadersLink); }},
      // As maker of a link that allows originals: whether its visitors get them.
      {"originalsAsMaker",
       [&](const GSession& s) { return GRights::linkAllowsOriginals(s.user, uploadersLink); }},
  };
  struct Row {
    const char* kind;
    const char* answers;
  };
  const Row table[] = {
      //                            so sa sp al mu om
      {"guest session",            "-  -  -  -  -  -"},
      {"guest account",            "-  -  -  -  -  -"},
      {"user without rights",      "-  -  -  -  -  -"},
      {"uploader",                 "-  -  y  -  y  -"},
      {"folder administrator",     "y  -  -  -  -  y"},
      {"administrator",            "y  y  y  y  y  y"},
      {"second administrator",     "y  y  y  y  y  y"},
  };
  for (const Row& row : table) {
    std::string expected;
    for (const char* c = row.answers; *c != '\0'; ++c) {
      if (*c != ' ') expected += *c;
    }
    ASSERT_EQ(rights.size(), expected.size()) << row.kind;
    GSession session = kind(row.kind);
    for (size_t i = 0; i < rights.size(); ++i) {
      EXPECT_EQ(expected[i], rights[i].ask(session) ? 'y' : '-')
          << row.kind << ": " << rights[i].name;
    }
  }
}

// A link shows accepted pictures only, and never originals its link does not allow; a
// maker whose account is disabled shares nothing.
TEST_F(GLinkRightsTest, WhatALinkShows) {
  GImage image;
  image.status = GIMAGE_ACCEPTED;
  EXPECT_TRUE(GRights::linkShowsImage(image));
  image.status = GIMAGE_WAITING;
  EXPECT_FALSE(GRights::linkShowsImage(image));
  image.status = GIMAGE_DENIED;
  EXPECT_FALSE(GRights::linkShowsImage(image));

  GUser admin;
  ASSERT_EQ(0, db().getUser(GRights::administratorAccountId, admin));
  GShareLink link;
  link.originals = false;
  EXPECT_FALSE(GRights::linkAllowsOriginals(admin, link));

  GFolder own;
  ASSERT_EQ(ownFolder, db().getFolder(ownFolder, own));
  GUser maker;
  ASSERT_EQ(folderAdmin, db().getUser(folderAdmin, maker));
  EXPECT_TRUE(GRights::mayShareFolder(maker, own));
  maker.enabled = false;
  EXPECT_FALSE(GRights::mayShareFolder(maker, own));
}

}  // namespace
