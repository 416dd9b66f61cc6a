#include <gtest/gtest.h>

#include <string>

#include "tests/webapp/ActionTestSupport.h"

using webtest::Exchange;

namespace {

class GFolderActionsTest : public webtest::ActionTest {
 protected:
  void SetUp() override {
    folderAdmin = addUserWith("fadmin", true, true, true);
    plain = addUserWith("plain");
    admin = logIn("admin", "tarbo");
    fadminSession = logIn("fadmin", "pw", 40001);
    plainSession = logIn("plain", "pw", 40002);
  }
  int folderAdmin = -1;
  int plain = -1;
  std::string admin;
  std::string fadminSession;
  std::string plainSession;
};

}  // namespace

TEST_F(GFolderActionsTest, CreateFolder) {
  int top = addFolder("Top", 0, folderAdmin, false);
  Exchange made;
  act(made, fadminSession, "action=0&Folder.parent=" + std::to_string(top) + "&Folder.name=Birds");
  int id = std::stoi(param(made, "Folder.id"));
  GFolder f = folder(id);
  EXPECT_STREQ("Birds", f.name.getValue());
  EXPECT_EQ(top, f.parentId);
  EXPECT_EQ(folderAdmin, f.ownerId);
  EXPECT_FALSE(f.enabled);
  EXPECT_TRUE(f.imageFolder);  // the absent flag reads as true

  Exchange plainFolder;
  act(plainFolder, admin, "action=0&Folder.parent=0&Folder.name=Plain&Folder.imageFolder=0");
  EXPECT_FALSE(folder(std::stoi(param(plainFolder, "Folder.id"))).imageFolder);

  // Refused: an ordinary user, and parents that do not exist (the folder would hang outside
  // the tree).
  int before = folderCount();
  const std::pair<std::string, std::string> refused[] = {
      {plainSession, "0"}, {admin, "99"}, {admin, "-1"}, {admin, "abc"}, {fadminSession, "2147483648"},
  };
  for (const auto& r : refused) {
    Exchange e;
    act(e, r.first, "action=0&Folder.name=X&Folder.parent=" + r.second);
    EXPECT_EQ(before, folderCount()) << r.second;
    EXPECT_EQ("<none>", param(e, "Folder.id")) << r.second;
  }
}

TEST_F(GFolderActionsTest, UpdateFolderMovesOnlyWhereTheTreeStaysATree) {
  // Nature (admin) > Birds (fadmin) > Owls (fadmin); Mine (fadmin) and Other (plain) at the top.
  int nature = addFolder("Nature", 0, 0, false);
  int birds = addFolder("Birds", nature, folderAdmin, false);
  int owls = addFolder("Owls", birds, folderAdmin);
  int mine = addFolder("Mine", 0, folderAdmin, false);
  int other = addFolder("Other", 0, plain, false);
  struct Case {
    const char* what;
    std::string session;
    int folder;
    int newParent;
    int expectedParent;
  };
  const Case cases[] = {
      {"folder admin under an own folder", fadminSession, owls, mine, mine},
      // The root counts as the administrator account's.
      {"folder admin under the root", fadminSession, owls, 0, mine},
      {"folder admin under someone else's", fadminSession, owls, other, mine},
      {"administrator anywhere", admin, owls, other, other},
      {"under itself", admin, birds, birds, nature},
      {"under its child", admin, nature, birds, 0},
      {"under its grandchild", fadminSession, birds, owls, nature},
  };
  // Owls wanders through the first cases; reset between the others.
  for (const Case& c : cases) {
    Exchange e;
    act(e, c.session,
        "action=1&Folder.id=" + std::to_string(c.folder) + "&Folder.parent=" +
            std::to_string(c.newParent) + "&Folder.name=Renamed&Folder.ownerId=0&Folder.enabled=1");
    GFolder f = folder(c.folder);
    EXPECT_EQ(c.expectedParent, f.parentId) << c.what;
    EXPECT_EQ(std::to_string(c.expectedParent), param(e, "Folder.parent")) << c.what;
    // The other changes are stored, moved or not.
    EXPECT_STREQ("Renamed", f.name.getValue()) << c.what;
    EXPECT_TRUE(f.enabled) << c.what;
  }
  // The parent chains still end at the root.
  for (int id : {nature, birds, owls, mine, other}) {
    MList ancestors;
    db().getParentFolders(id, ancestors);
    EXPECT_LT(ancestors.getLength(), 3) << id;
    EXPECT_TRUE(db().isChildFolder(id, 0)) << id;
  }
  EXPECT_EQ(0, folder(nature).parentId);
  EXPECT_EQ(nature, folder(birds).parentId);
}

TEST_F(GFolderActionsTest, UpdateFolderOwnerNamesAndFlags) {
  int parent = addFolder("Parent", 0, folderAdmin, false);
  int child = addFolder("Child", parent, folderAdmin);
  int withImages = addFolder("Pictures", 0, folderAdmin);
  int image = addImage(plain);
  db().addFolderImage(withImages, image, GIMAGE_ACCEPTED);

  // Only an administrator changes the owner; an absent one becomes -1.
  act(fadminSession, "action=1&Folder.id=" + std::to_string(child) + "&Folder.parent=" +
                         std::to_string(parent) + "&Folder.ownerId=" + std::to_string(plain));
  EXPECT_EQ(folderAdmin, folder(child).ownerId);
  act(admin, "action=1&Folder.id=" + std::to_string(child) + "&Folder.parent=" +
                 std::to_string(parent) + "&Folder.ownerId=" + std::to_string(plain));
  EXPECT_EQ(plain, folder(child).ownerId);
  // Absent name and flags: an empty name, an image folder, enabled.
  EXPECT_STREQ("", folder(child).name.getValue());
  EXPECT_TRUE(folder(child).imageFolder);
  EXPECT_TRUE(folder(child).enabled);

  // A folder with children never holds images, one with images always does.
  act(admin, "action=1&Folder.id=" + std::to_string(parent) +
                 "&Folder.parent=0&Folder.ownerId=0&Folder.imageFolder=1&Folder.enabled=0");
  EXPECT_FALSE(folder(parent).imageFolder);
  EXPECT_FALSE(folder(parent).enabled);
  act(admin, "action=1&Folder.id=" + std::to_string(withImages) +
                 "&Folder.parent=0&Folder.ownerId=0&Folder.imageFolder=0");
  EXPECT_TRUE(folder(withImages).imageFolder);
}

TEST_F(GFolderActionsTest, UpdateFolderThatOrWhoseParentDoesNotExist) {
  int a = addFolder("A", 0, 0);
  for (const char* id : {"0", "-1", "77", "2147483647", "99999999999", "x"}) {
    Exchange e;
    act(e, admin, std::string("action=1&Folder.parent=5&Folder.id=") + id);
    EXPECT_EQ("0", param(e, "Folder.id")) << id;
    EXPECT_EQ("0", param(e, "Folder.parent")) << id;
  }
  for (const char* parent : {"77", "-1", "99999999999"}) {
    Exchange e;
    act(e, admin, "action=1&Folder.name=Changed&Folder.id=" + std::to_string(a) +
                      "&Folder.parent=" + parent);
    EXPECT_EQ("0", param(e, "Folder.parent")) << parent;
    EXPECT_STREQ("A", folder(a).name.getValue()) << parent;
  }
  // Nobody without the right changes anything.
  act(plainSession, "action=1&Folder.name=Changed&Folder.parent=0&Folder.id=" + std::to_string(a));
  EXPECT_STREQ("A", folder(a).name.getValue());
}

TEST_F(GFolderActionsTest, DeleteFolder) {
  int parent = addFolder("Parent", 0, 0, false);
  int child = addFolder("Child", parent, folderAdmin);
  int image = addImage(plain);
  db().addFolderImage(child, image, GIMAGE_ACCEPTED);

  // A folder with a child stays; the parameters point at it.
  Exchange kept;
  act(kept, admin, "action=2&Folder.id=" + std::to_string(parent));
  EXPECT_EQ(parent, folder(parent).id);
  EXPECT_EQ(std::to_string(parent), param(kept, "Folder.id"));
  EXPECT_EQ("0", param(kept, "Folder.parent"));
  EXPECT_EQ("<none>", param(kept, "message"));

  // Nobody without the right deletes.
  act(plainSession, "action=2&Folder.id=" + std::to_string(child));
  EXPECT_EQ(child, folder(child).id);

  // The leaf goes with its publications; the session looking at it looks at its parent.
  session(fadminSession)->viewState.setObject("Folder.id", child);
  Exchange gone;
  act(gone, fadminSession, "action=2&Folder.id=" + std::to_string(child));
  GFolder none;
  EXPECT_EQ(-1, db().getFolder(child, none));
  EXPECT_EQ(-1, linkStatus(child, image));
  EXPECT_EQ("0", param(gone, "Folder.id"));
  EXPECT_EQ("0", param(gone, "Folder.imageFolder"));
  EXPECT_EQ(std::to_string(parent), param(gone, "Folder.parent"));
  EXPECT_EQ("2", param(gone, "message"));  // deleted
  EXPECT_EQ(parent, GView::toInt(session(fadminSession)->viewState.getObject("Folder.id")));

  // Then the parent can go; the root never.
  act(admin, "action=2&Folder.id=" + std::to_string(parent));
  EXPECT_EQ(-1, db().getFolder(parent, none));
  int before = folderCount();
  for (const char* id : {"0", "-1", "2147483647", "99999999999"}) {
    act(admin, std::string("action=2&Folder.id=") + id);
  }
  EXPECT_EQ(before, folderCount());
}

TEST_F(GFolderActionsTest, FolderAdministratorsKeepOnlyTheirOwnFolders) {
  // The buttons are hidden in the pages; a typed URL must not get further.
  int others = addFolder("Others", 0, plain, false);
  int adminsChild = addFolder("AdminsChild", others, 0);
  int mine = addFolder("Mine", 0, folderAdmin, false);
  const int foldersBefore = folderCount();

  struct Case {
    const char* what;
    std::string query;
  };
  const Case refused[] = {
      {"create under the root", "action=0&Folder.parent=0&Folder.name=X"},
      {"create under someone else's", "action=0&Folder.name=X&Folder.parent=" + std::to_string(others)},
      {"rename someone else's",
       "action=1&Folder.name=Taken&Folder.enabled=1&Folder.id=" + std::to_string(others) +
           "&Folder.parent=0"},
      {"delete someone else's", "action=2&Folder.id=" + std::to_string(adminsChild)},
  };
  for (const Case& c : refused) {
    act(fadminSession, c.query);
    EXPECT_EQ(foldersBefore, folderCount()) << c.what;
  }
  EXPECT_STREQ("Others", folder(others).name.getValue());
  EXPECT_EQ(others, folder(adminsChild).parentId);

  // Their own folders they keep: a child under one, renamed, then deleted again.
  Exchange made;
  act(made, fadminSession, "action=0&Folder.name=Sub&Folder.parent=" + std::to_string(mine));
  int sub = std::stoi(param(made, "Folder.id"));
  act(fadminSession, "action=1&Folder.name=Sub2&Folder.enabled=1&Folder.id=" + std::to_string(sub) +
                         "&Folder.parent=" + std::to_string(mine));
  EXPECT_STREQ("Sub2", folder(sub).name.getValue());
  act(fadminSession, "action=2&Folder.id=" + std::to_string(sub));
  EXPECT_EQ(foldersBefore, folderCount());
}
