#include "views/GRights.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/GFolder.h"
#include "db/GImage.h"
#include "tests/views/ImageViewTestSupport.h"

namespace {

// Every kind of session the server knows, against every right GRights answers, as one table:
// a row per kind, a column per question, so that a change of who may what shows as one
// changed letter.
class GRightsTest : public imagetest::ImageViewTest {
 protected:
  void SetUp() override {
    uploader = addUser(GRights::ordinaryType, true);
    other = addUser(GRights::ordinaryType, true);
    GUser user;
    db().getUser(other, user);
    user.imageDownload = true;
    user.folderAccept = false;
    db().updateUser(other, user);
    folderAdmin = addUser(GRights::ordinaryType, false);
    db().getUser(folderAdmin, user);
    user.folderAdmin = true;
    db().updateUser(folderAdmin, user);
    plain = addUser(GRights::ordinaryType, false);
    secondAdmin = addUser(GRights::administratorType, false);

    waiting = addImage(uploader, GIMAGE_WAITING);
    accepted = addImage(uploader, GIMAGE_ACCEPTED);
    ownFolder = addFolder(0, "Own", true);
    GFolder folder;
    db().getFolder(ownFolder, folder);
    folder.ownerId = folderAdmin;
    db().updateFolder(ownFolder, folder);
    adminFolder = addFolder(0, "Admin's", true);
  }

  // The session of a kind, as the dispatch holds it.
  GSession kind(const std::string& _kind) {
    GSession s;
    s.id = "123456789";
    auto as = [&](int _user) { db().getUser(_user, s.user); };
    if (_kind == "guest session") {
      s.id = GSession::guestId;
    } else if (_kind == "guest account") {
      as(GRights::guestAccountId);
    } else if (_kind == "administrator") {
      as(GRights::administratorAccountId);
    } else if (_kind == "second administrator") {
      as(secondAdmin);
    } else if (_kind == "folder administrator") {
      as(folderAdmin);
    } else if (_kind == "uploader") {
      as(uploader);
    } else if (_kind == "downloader") {
      as(other);
    } else if (_kind == "user without rights") {
      as(plain);
    } else if (_kind == "administrator as uploader") {
      as(uploader);
      s.returnSessionId = "987654321";
    }
    return s;
  }

  int uploader = 0, other = 0, folderAdmin = 0, plain = 0, secondAdmin = 0;
  int waiting = 0, accepted = 0, ownFolder = 0, adminFolder = 0;
};

TEST_F(GRightsTest, EveryKindOfSessionAgainstEveryRight) {
  GImage waitingImage, acceptedImage;
  ASSERT_EQ(waiting, db().getImage(waiting, waitingImage));
  ASSERT_EQ(accepted, db().getImage(accepted, acceptedImage));
  GFolder folderOfFolderAdmin;
  ASSERT_EQ(ownFolder, db().getFolder(ownFolder, folderOfFolderAdmin));

  struct Right {
    const char* name;
    std::function<bool(const GSession&)> ask;
  };
  const std::vector<Right> rights = {
      {"loggedIn", [](const GSession& s) { return GRights::isLoggedIn(s); }},
      {"ownAccount", [](const GSession& s) { return GRights::hasOwnAccount(s); }},
      {"users", [](const GSession& s) { return GRights::mayAdministerUsers(s); }},
      {"openAs", [](const GSession& s) { return GRights::mayOpenSessionAs(s); }},
      {"adminTimeout", [](const GSession& s) { return GRights::hasAdministratorsTimeOut(s); }},
      {"folders", [](const GSession& s) { return GRights::mayAdministerFolders(s); }},
      {"editRoot", [](const GSession& s) { return GRights::mayEditFolder(s, 0); }},
      {"editOwnFolder", [&](const GSession& s) { return GRights::mayEditFolder(s, ownFolder); }},
      {"editAdminFolder",
       [&](const GSession& s) { return GRights::mayEditFolder(s, adminFolder); }},
      {"chooseOwner", [](const GSession& s) { return GRights::mayChooseFolderOwner(s); }},
      {"upload", [](const GSession& s) { return GRights::mayUpload(s); }},
      {"ownImages", [](const GSession& s) { return GRights::hasOwnImages(s); }},
      {"publish", [](const GSession& s) { return GRights::mayPublish(s); }},
      {"decideAll", [](const GSession& s) { return GRights::mayDecideOnImages(s); }},
      {"decideWaiting",
       [&](const GSession& s) { return GRights::mayDecideOnImage(s, waitingImage); }},
      {"editImage", [&](const GSession& s) { return GRights::mayEditImage(s, waitingImage); }},
      {"deleteImage",
       [&](const GSession& s) { return GRights::mayDeleteImage(s, waitingImage); }},
      {"viewWaiting", [&](const GSession& s) { return GRights::mayViewImage(s, waiting); }},
      {"viewAccepted", [&](const GSession& s) { return GRights::mayViewImage(s, accepted); }},
      {"originals", [](const GSession& s) { return GRights::mayDownloadOriginals(s); }},
      {"downloadAccepted",
       [&](const GSession& s) { return GRights::mayDownloadImage(s, accepted); }},
      {"publicationWaits",
       [&](const GSession& s) { return GRights::publicationWaits(s, folderOfFolderAdmin); }},
      {"screenWaiting",
       [&](const GSession& s) { return GRights::mayViewScreenPictures(s, waiting); }},
      {"screenAccepted",
       [&](const GSession& s) { return GRights::mayViewScreenPictures(s, accepted); }},
  };
  // One letter per right above, in its order: y may, - may not.
  struct Row {
    const char* kind;
    const char* answers;
  };
  const Row table[] = {
      //                                 lo ow us op at fo er eo ea co up oi pu da dw ei di vw va or do pw sw sa
      {"guest session",                 "-  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  y  -  -"},
      {"guest account",                 "y  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  -  y  -  -  y  -  y"},
      {"user without rights",           "y  y  -  -  -  -  -  -  -  -  -  -  y  -  -  -  -  -  y  -  -  y  -  y"},
      {"uploader",                      "y  y  -  -  -  -  -  -  -  -  y  y  y  -  -  y  y  y  y  -  -  y  y  y"},
      {"downloader",                    "y  y  -  -  -  -  -  -  -  -  y  y  y  -  -  -  -  -  y  y  y  -  -  y"},
      {"folder administrator",          "y  y  -  -  -  y  -  y  -  -  -  -  y  -  -  -  -  -  y  -  -  -  -  y"},
      {"administrator",                 "y  y  y  y  y  y  y  y  y  y  -  -  -  y  y  y  -  y  y  y  y  -  y  y"},
      {"second administrator",          "y  y  y  y  y  -  y  y  y  y  -  -  -  y  y  y  -  y  y  -  y  y  y  y"},
      {"administrator as uploader",     "y  y  -  -  y  -  -  -  -  -  y  y  y  -  y  y  y  y  y  -  -  y  y  y"},
  };
  for (const Row& row : table) {
    std::string expected;
    for (const char* c = row.answers; *c != '\0'; ++c) {
      if (*c != ' ') expected += *c;
    }
    ASSERT_EQ(rights.size(), expected.size()) << row.kind;
    GSession session = kind(row.kind);
    std::string actual;
    for (const Right& right : rights) actual += right.ask(session) ? 'y' : '-';
    for (size_t i = 0; i < rights.size(); ++i) {
      EXPECT_EQ(expected[i], actual[i]) << row.kind << ": " << rights[i].name;
    }
  }
}

// The server's status: administrators, and nobody an administrator works as.
TEST_F(GRightsTest, ServerStatusIsForAdministrators) {
  for (const char* kindName :
       {"guest session", "guest account", "user without rights", "uploader", "downloader",
        "folder administrator", "administrator", "second administrator",
        "administrator as uploader"}) {
    bool administrator = std::string(kindName) == "administrator" ||
                         std::string(kindName) == "second administrator";
    EXPECT_EQ(administrator, GRights::maySeeServerStatus(kind(kindName))) << kindName;
  }
}

TEST_F(GRightsTest, RightsByIdAnswerNoForIdsThatNameNothing) {
  GSession admin = kind("administrator");
  EXPECT_FALSE(GRights::mayViewImage(admin, 999));
  EXPECT_FALSE(GRights::mayDownloadImage(admin, -1));
  GSession folders = kind("folder administrator");
  EXPECT_FALSE(GRights::mayEditFolder(folders, 999));
}

}  // namespace
