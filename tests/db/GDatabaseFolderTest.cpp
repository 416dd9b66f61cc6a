#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "lib/core/MCoordinate2D.h"
#include "lib/core/MList.h"
#include "tests/db/DbTestSupport.h"

namespace {

class GDatabaseFolders : public testing::Test {
 protected:
  void SetUp() override { db.init(root.path.c_str()); }

  int addFolder(const char* _name, int _parent, int _owner = 0) {
    GFolder folder;
    folder.name = _name;
    folder.parentId = _parent;
    folder.ownerId = _owner;
    return db.addFolder(folder);
  }

  int addImage(int _user, GImageStatus _status) {
    GImage image;
    image.user = _user;
    image.status = _status;
    return db.addImage(image);
  }

  static std::vector<std::string> names(MList& _folders) {
    std::vector<std::string> out;
    for (MItem* i = _folders.getFirstItem(); i; i = _folders.getNextItem(i)) {
      out.push_back(((GFolder*)i->object)->name.getValue());
    }
    return out;
  }

  static std::vector<int> images(MList& _links) {
    std::vector<int> out;
    for (MItem* i = _links.getFirstItem(); i; i = _links.getNextItem(i)) {
      out.push_back(((GImageFolder*)i->object)->image);
    }
    return out;
  }

  TempRoot root;
  ClockedDatabase db;
};

}  // namespace

TEST_F(GDatabaseFolders, RecordBytesAndTheUntouchableRoot) {
  GFolder folder;
  folder.name = std::string(120, 'f').c_str();
  folder.parentId = 0;
  folder.ownerId = 9;
  folder.enabled = false;
  folder.imageFolder = true;
  ASSERT_EQ(1, db.addFolder(folder));
  Bytes expected(120, 0);
  le32(expected, 0, 1);
  le32(expected, 8, 0);
  le32(expected, 12, 9);
  text(expected, 16, std::string(99, 'f'));
  expected[116] = 1;
  EXPECT_EQ(expected, slice(readBytes(root.file("folder.db")), 1, 120));

  GFolder got;
  EXPECT_EQ(-1, db.getFolder(0, got));
  EXPECT_EQ(-1, db.deleteFolder(0));
  EXPECT_EQ(-1, db.updateFolder(0, got));
  EXPECT_EQ(-1, db.getFolder(2, got));
  EXPECT_EQ(1, db.getFolder(1, got));
  EXPECT_FALSE(got.enabled);
  EXPECT_TRUE(got.imageFolder);

  MList all;
  EXPECT_EQ(2, db.getFolders(all));
  EXPECT_EQ("Folders", names(all)[0]);
  MList none;
  EXPECT_EQ(0, db.getChildFolders(-1, none));
  EXPECT_TRUE(db.hasChildFolders(-1));  // the root's parent is -1
}

TEST_F(GDatabaseFolders, TreeOperations) {
  int nature = addFolder("Nature", 0);      // 1
  int birds = addFolder("Birds", nature);   // 2
  int owls = addFolder("Owls", birds);      // 3
  int cars = addFolder("Cars", 0);          // 4
  int alps = addFolder("Alps", nature);     // 5

  MList list;
  db.getParentFolders(owls, list);
  EXPECT_EQ((std::vector<std::string>{"Birds", "Nature"}), names(list));
  EXPECT_STREQ("2", list.getFirstItem()->key->toString().getValue());
  db.getParentFolders(nature, list);
  EXPECT_EQ(0, list.getLength());
  db.getParentFolders(0, list);
  EXPECT_EQ(0, list.getLength());

  EXPECT_TRUE(db.isChildFolder(owls, birds));
  EXPECT_TRUE(db.isChildFolder(owls, nature));
  EXPECT_TRUE(db.isChildFolder(owls, 0));
  EXPECT_FALSE(db.isChildFolder(nature, owls));
  EXPECT_FALSE(db.isChildFolder(owls, owls));
  EXPECT_FALSE(db.isChildFolder(0, -1));
  EXPECT_FALSE(db.isChildFolder(owls, cars));

  EXPECT_STREQ("/Nature/Birds/Owls", db.getFolderPath(owls).getValue());
  EXPECT_STREQ("/Cars", db.getFolderPath(cars).getValue());
  EXPECT_STREQ("/", db.getFolderPath(0).getValue());
  EXPECT_STREQ("/", db.getFolderPath(42).getValue());

  EXPECT_EQ(2, db.getChildFolders(nature, list));
  EXPECT_EQ((std::vector<std::string>{"Birds", "Alps"}), names(list));
  EXPECT_STREQ("Birds:2", list.getFirstItem()->key->toString().getValue());
  EXPECT_EQ(2, db.getNumOfChildFolders(0));
  EXPECT_TRUE(db.hasChildFolders(birds));
  EXPECT_FALSE(db.hasChildFolders(owls));

  // Deleting a folder leaves its children alone; the slot is reused.
  EXPECT_EQ(birds, db.deleteFolder(birds));
  EXPECT_STREQ("/Owls", db.getFolderPath(owls).getValue());
  EXPECT_EQ(birds, addFolder("Fish", alps));
  EXPECT_STREQ("/Nature/Alps/Fish", db.getFolderPath(birds).getValue());
}

TEST_F(GDatabaseFolders, ParentCycleEndsTheWalks) {
  int a = addFolder("A", 0);
  int b = addFolder("B", a);
  int c = addFolder("C", b);
  GFolder folder;
  db.getFolder(a, folder);
  folder.parentId = c;  // A -> C -> B -> A
  ASSERT_EQ(a, db.updateFolder(a, folder));

  MList list;
  db.getParentFolders(c, list);
  EXPECT_EQ((std::vector<std::string>{"B", "A"}), names(list));
  EXPECT_FALSE(db.isChildFolder(c, 0));
  EXPECT_TRUE(db.isChildFolder(c, a));
  EXPECT_STREQ("/A/B/C", db.getFolderPath(c).getValue());
}

TEST_F(GDatabaseFolders, OwnerChange) {
  addFolder("x", 0, 4);
  addFolder("y", 0, 5);
  addFolder("z", 1, 4);
  db.changeFolderOwners(4, 8);
  GFolder f;
  db.getFolder(1, f);
  EXPECT_EQ(8, f.ownerId);
  db.getFolder(2, f);
  EXPECT_EQ(5, f.ownerId);
  db.getFolder(3, f);
  EXPECT_EQ(8, f.ownerId);
}

TEST_F(GDatabaseFolders, LinkRecordBytesAndAddingTwice) {
  for (int i = 0; i < 13; ++i) addImage(i == 12 ? 7 : 1, 1);
  db.now = 0x01020304;
  db.addFolderImage(4, 12, 0);
  db.now += 10;
  db.addFolderImage(4, 12, 1);
  Bytes expected(20, 0);
  le32(expected, 0, 0x01020304);
  le32(expected, 4, 4);
  le32(expected, 8, 7);
  le32(expected, 12, 12);
  expected[16] = 0;
  EXPECT_EQ(expected, readBytes(root.file("folderImage.db")));

  db.addFolderImage(4, 99, 1);  // no such image
  db.addFolderImage(4, -1, 1);
  EXPECT_EQ(20u, readBytes(root.file("folderImage.db")).size());

  GImageFolder link;
  EXPECT_EQ(0, db.getFolderImage(4, 12, link));
  EXPECT_EQ(7, link.user);
  EXPECT_EQ(-1, db.getFolderImage(4, 11, link));
}

TEST_F(GDatabaseFolders, DeletedLinkFreesItsRecordForTheNextLink) {
  for (int i = 0; i < 13; ++i) addImage(1, 1);
  db.addFolderImage(4, 10, 1);
  db.addFolderImage(4, 12, 1);
  db.addFolderImage(5, 12, 1);
  db.deleteFolderImage(4, 12);
  db.deleteFolderImage(4, 3);  // no such link: nothing happens

  GImageFolderRec rec;
  int empty = -5;
  EXPECT_EQ(-1, db.findFolderImage(4, 12, rec, empty));
  EXPECT_EQ(1, empty);
  Bytes file = readBytes(root.file("folderImage.db"));
  ASSERT_EQ(60u, file.size());
  EXPECT_EQ(-1, readLe32(file, 24));
  EXPECT_EQ(-1, readLe32(file, 28));
  EXPECT_EQ(-1, readLe32(file, 32));
  EXPECT_EQ(1, file[36]);  // the status stays
  EXPECT_EQ(2, db.findFolderImage(5, 12, rec, empty));
  EXPECT_EQ(1, empty);
  EXPECT_EQ(5, rec.folder);

  db.addFolderImage(6, 1, 0);
  EXPECT_EQ(1, db.findFolderImage(6, 1, rec, empty));
  EXPECT_EQ(-1, empty);  // found before any free record was seen
  EXPECT_EQ(0, rec.status);
  EXPECT_EQ(-1, db.findFolderImage(6, 99, rec, empty));
  EXPECT_EQ(3, empty);  // no free record: a new link goes at the end
}

TEST_F(GDatabaseFolders, FolderListingsAndTheirStatusRules) {
  addImage(1, 1);  // 0 accepted
  addImage(2, 2);  // 1 denied
  addImage(1, 0);  // 2 waiting
  addImage(2, 1);  // 3 accepted
  addImage(1, 1);  // 4 accepted, deleted below
  db.now = 100;
  db.addFolderImage(4, 0, 1);
  db.addFolderImage(4, 1, 1);
  db.addFolderImage(4, 2, 0);
  db.addFolderImage(4, 3, 0);
  db.addFolderImage(9, 3, 0);
  db.addFolderImage(4, 4, 0);
  db.deleteImage(4);

  MList list;
  db.getFolderImages(4, list);
  EXPECT_EQ((std::vector<int>{0, 3}), images(list));  // accepted images, any link status
  EXPECT_STREQ("100", list.getFirstItem()->key->toString().getValue());
  EXPECT_EQ(5, db.getNumOfFolderImages(4));            // whatever the statuses

  db.getWaitingFolderImages(list);
  EXPECT_EQ((std::vector<int>{2, 3, 3}), images(list));

  MList own;
  db.getFolderImages(4, 2, own);
  ASSERT_EQ(2, own.getLength());
  EXPECT_EQ(1, ((GImage*)own.getFirstItem()->object)->id);

  db.acceptFolderImage(4, 3);
  db.denyFolderImage(9, 3);
  db.acceptFolderImage(8, 3);  // no link: nothing
  GImageFolder link;
  db.getFolderImage(4, 3, link);
  EXPECT_EQ(1, link.status);
  db.getFolderImage(9, 3, link);
  EXPECT_EQ(2, link.status);
  EXPECT_EQ(6u * 20, readBytes(root.file("folderImage.db")).size());
}

TEST_F(GDatabaseFolders, UserImageAndFolderWideLinkDeletion) {
  addImage(1, 1);
  addImage(2, 1);
  addImage(1, 1);
  db.addFolderImage(4, 0, 1);
  db.addFolderImage(4, 1, 1);
  db.addFolderImage(5, 2, 0);
  db.addFolderImage(5, 1, 0);

  MList links;
  EXPECT_EQ(2, db.getUserImageFolders(1, links));
  MCoordinate2D* key = (MCoordinate2D*)links.getFirstItem()->key;
  EXPECT_EQ(4, key->getX());
  EXPECT_EQ(0, key->getY());

  db.deleteUserImageFolders(1);
  EXPECT_EQ(0, db.getUserImageFolders(1, links));
  EXPECT_EQ(2, db.getUserImageFolders(2, links));

  db.deleteImageFolders(1);
  EXPECT_EQ(0, db.getUserImageFolders(2, links));

  db.addFolderImage(7, 0, 1);
  db.addFolderImage(7, 2, 1);
  db.deleteFolderImages(7);
  EXPECT_EQ(0, db.getNumOfFolderImages(7));
  EXPECT_EQ(4u * 20, readBytes(root.file("folderImage.db")).size());
}
