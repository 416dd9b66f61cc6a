#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/webapp/ActionTestSupport.h"

using webtest::Exchange;

namespace {

class GImageActionsTest : public webtest::ActionTest {
 protected:
  void SetUp() override {
    strict = addUserWith("strict", true, true);  // publications need acceptance
    free = addUserWith("free", true, false);     // they do not
    admin = logIn("admin", "tarbo");
    strictSession = logIn("strict", "pw", 40001);
    freeSession = logIn("free", "pw", 40002);
  }
  std::string ids(int _folder, int _image) {
    return "&Folder.id=" + std::to_string(_folder) + "&Image.id=" + std::to_string(_image);
  }
  GImage image(int _id) {
    GImage image;
    db().getImage(_id, image);
    return image;
  }
  bool exists(const std::string& _relative) { return access(root.file(_relative).c_str(), F_OK) == 0; }

  int strict = -1;
  int free = -1;
  std::string admin;
  std::string strictSession;
  std::string freeSession;
};

}  // namespace

TEST_F(GImageActionsTest, PublishImageInFolder) {
  int ownFolder = addFolder("Own", 0, strict);
  int otherFolder = addFolder("Other", 0, 0);
  int strictImage = addImage(strict);
  int freeImage = addImage(free);
  struct Case {
    const char* what;
    std::string session;
    int folder;
    int image;
    int status;  // of the link afterwards, -1 for none
  };
  const Case cases[] = {
      {"needs acceptance in someone else's folder", strictSession, otherFolder, strictImage, 0},
      {"accepted in the own folder", strictSession, ownFolder, strictImage, 1},
      {"accepted without the acceptance flag", freeSession, otherFolder, freeImage, 1},
      {"not the owner of the image", strictSession, ownFolder, freeImage, -1},
      {"the administrator is no owner either", admin, ownFolder, freeImage, -1},
      {"the root is no folder to publish in", freeSession, 0, freeImage, -1},
      {"no such folder", freeSession, 99, freeImage, -1},
  };
  for (const Case& c : cases) {
    act(c.session, "action=3" + ids(c.folder, c.image));
    EXPECT_EQ(c.status, linkStatus(c.folder, c.image)) << c.what;
  }
  // Publishing again leaves the link as it is.
  act(strictSession, "action=3" + ids(otherFolder, strictImage));
  EXPECT_EQ(0, linkStatus(otherFolder, strictImage));
}

TEST_F(GImageActionsTest, WithdrawAcceptAndDenyPublications) {
  int f = addFolder("F", 0, 0);
  int strictImage = addImage(strict);
  db().addFolderImage(f, strictImage, GIMAGE_WAITING);

  // Accepting and denying is the administrators' (the owner's ordinary session may not).
  act(strictSession, "action=5" + ids(f, strictImage));
  EXPECT_EQ(0, linkStatus(f, strictImage));
  act(admin, "action=5" + ids(f, strictImage));
  EXPECT_EQ(1, linkStatus(f, strictImage));
  act(admin, "action=6" + ids(f, strictImage));
  EXPECT_EQ(2, linkStatus(f, strictImage));

  // Withdrawing is the owner's, not even the administrator's.
  act(admin, "action=4" + ids(f, strictImage));
  act(freeSession, "action=4" + ids(f, strictImage));
  EXPECT_EQ(2, linkStatus(f, strictImage));
  act(strictSession, "action=4" + ids(f, strictImage));
  EXPECT_EQ(-1, linkStatus(f, strictImage));
}

TEST_F(GImageActionsTest, UpdateImageTexts) {
  int id = addImage(strict);
  struct Case {
    std::string session;
    const char* name;
    bool stored;
  };
  const Case cases[] = {{strictSession, "by owner", true},
                        {admin, "by administrator", true},
                        {freeSession, "by stranger", false}};
  for (const Case& c : cases) {
    act(c.session, std::string("action=13&Image.id=") + std::to_string(id) + "&Image.name=" +
                       c.name + "&Image.keywords=k&Image.description=d&Image.imageDate=2004-05-06");
    EXPECT_EQ(c.stored, image(id).name == c.name) << c.name;
  }
  GImage stored = image(id);
  EXPECT_STREQ("k", stored.keywords.getValue());
  EXPECT_STREQ("d", stored.description.getValue());
  EXPECT_STREQ("2004-05-06", stored.date.getValue());
  EXPECT_EQ(strict, stored.user);
  // Absent texts become empty.
  act(strictSession, "action=13&Image.id=" + std::to_string(id));
  stored = image(id);
  EXPECT_STREQ("", stored.name.getValue());
  EXPECT_STREQ("", stored.date.getValue());
}

TEST_F(GImageActionsTest, AcceptAndDenyImages) {
  int waiting = addImage(strict, "", GIMAGE_WAITING);
  int othersImage = addImage(free, "", GIMAGE_WAITING);
  std::string owner = "&User.id=" + std::to_string(strict);

  // The owner's own ordinary session may not decide.
  act(strictSession, "action=14" + owner + "&Image.id=" + std::to_string(waiting));
  EXPECT_EQ(GIMAGE_WAITING, image(waiting).status);

  // A session the administrator opened as the owner may, for the owner's images.
  Exchange open;
  act(open, admin, "action=16" + owner);
  std::string opened = param(open, "session");
  ASSERT_NE(admin, opened);
  act(opened, "action=14" + owner + "&Image.id=" + std::to_string(waiting));
  EXPECT_EQ(GIMAGE_ACCEPTED, image(waiting).status);
  act(opened, "action=15" + owner + "&Image.id=" + std::to_string(waiting));
  EXPECT_EQ(GIMAGE_DENIED, image(waiting).status);
  act(opened, "action=14" + owner + "&Image.id=" + std::to_string(othersImage));
  act(opened, "action=14&User.id=" + std::to_string(free) + "&Image.id=" + std::to_string(othersImage));
  EXPECT_EQ(GIMAGE_WAITING, image(othersImage).status);

  // The administrator decides on any image.
  act(admin, "action=14&Image.id=" + std::to_string(othersImage));
  EXPECT_EQ(GIMAGE_ACCEPTED, image(othersImage).status);
  act(admin, "action=15&Image.id=" + std::to_string(othersImage));
  EXPECT_EQ(GIMAGE_DENIED, image(othersImage).status);
}

TEST_F(GImageActionsTest, DeleteImageWithItsFilesLinksAndSearchResults) {
  int f = addFolder("F", 0, 0);
  int id = addImage(strict, "sea");
  int kept = addImage(strict, "sea");
  db().addFolderImage(f, id, GIMAGE_ACCEPTED);
  char name[32];
  snprintf(name, sizeof name, "%07d.jpg", id);
  for (const char* dir : {"images/original/", "images/preview1/", "images/preview2/", "images/preview2x/", "images/screen/"}) {
    root.write(std::string(dir) + name, "jpeg");
  }
  // Two sessions hold the image in their search results.
  act(freeSession, "action=18&Search.words=sea");
  act(strictSession, "action=18&Search.words=sea");
  ASSERT_EQ((std::vector<int>{kept, id}), session(freeSession)->searchResults);

  // Not the administrator's to delete, nor a stranger's.
  act(admin, "action=12&Image.id=" + std::to_string(id));
  act(freeSession, "action=12&Image.id=" + std::to_string(id));
  EXPECT_EQ(id, image(id).id);
  EXPECT_TRUE(exists(std::string("images/original/") + name));

  act(strictSession, "action=12&Image.id=" + std::to_string(id));
  GImage none;
  EXPECT_EQ(-1, db().getImage(id, none));
  EXPECT_EQ(-1, linkStatus(f, id));
  for (const char* dir : {"images/original/", "images/preview1/", "images/preview2/", "images/preview2x/", "images/screen/"}) {
    EXPECT_FALSE(exists(std::string(dir) + name)) << dir;
  }
  for (const std::string& s : {freeSession, strictSession}) {
    EXPECT_EQ(std::vector<int>{kept}, session(s)->searchResults);
  }
  // Deleting again, or an image whose files are already gone, is no failure.
  Exchange again;
  act(again, strictSession, "action=12&Image.id=" + std::to_string(id));
  EXPECT_EQ(std::string::npos, again.body().find("Operation failed!"));
}

TEST_F(GImageActionsTest, IdsOutOfEveryRangeChangeNothing) {
  int f = addFolder("F", 0, strict);
  addImage(free);  // image 0, which "0" and "" name
  int id = addImage(strict);
  db().addFolderImage(f, id, GIMAGE_WAITING);
  const char* bad[] = {"-1", "0", "-2147483648", "2147483647", "2147483648", "99999999999999999999",
                       "1e3", " 1", ""};
  for (const char* value : bad) {
    for (int action : {3, 4, 5, 6, 12, 13, 14, 15}) {
      Exchange e;
      act(e, admin, "action=" + std::to_string(action) + "&Image.id=" + value + "&Folder.id=" +
                        value + "&User.id=" + value);
      EXPECT_EQ(std::string::npos, e.body().find("Operation failed!")) << action << " " << value;
    }
  }
  EXPECT_EQ(id, image(id).id);
  EXPECT_STREQ("picture", image(id).name.getValue());
  EXPECT_EQ(0, linkStatus(f, id));
}

TEST_F(GImageActionsTest, EachDoneActionNamesItsOutcomeForThePage) {
  int own = addFolder("Own", 0, strict);
  int other = addFolder("Other", 0, 0);
  int strictImage = addImage(strict);
  int freeImage = addImage(free);
  std::string si = std::to_string(strictImage);
  struct Case {
    const char* what;
    std::string session;
    std::string query;
    const char* message;  // the code the page is given, "<none>" for none
  };
  const Case cases[] = {
      {"published at once", strictSession, "action=3" + ids(own, strictImage), "3"},
      {"offered, waiting", strictSession, "action=3" + ids(other, strictImage), "4"},
      {"unpublished", strictSession, "action=4" + ids(own, strictImage), "5"},
      {"accepted in the folder", admin, "action=5" + ids(other, strictImage), "6"},
      {"denied in the folder", admin, "action=6" + ids(other, strictImage), "7"},
      {"image accepted", admin, "action=14&User.id=" + std::to_string(strict) + "&Image.id=" + si, "6"},
      {"image denied", admin, "action=15&User.id=" + std::to_string(strict) + "&Image.id=" + si, "7"},
      {"saved", strictSession, "action=13&Image.id=" + si + "&Image.name=n", "1"},
      {"deleted", freeSession, "action=12&Image.id=" + std::to_string(freeImage), "2"},
      // What is refused says nothing of the kind.
      {"a stranger's save", freeSession, "action=13&Image.id=" + si + "&Image.name=x", "<none>"},
      {"a stranger's publication", freeSession, "action=3" + ids(own, strictImage), "<none>"},
      {"a user's acceptance", strictSession, "action=5" + ids(other, strictImage), "<none>"},
      {"a missing image", freeSession, "action=12&Image.id=999", "<none>"},
  };
  for (const Case& c : cases) {
    Exchange e;
    act(e, c.session, c.query);
    EXPECT_EQ(c.message, param(e, "message")) << c.what;
  }
}
