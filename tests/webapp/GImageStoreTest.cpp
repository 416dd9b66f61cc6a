#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "tests/support/FakeApplication.h"
#include "tests/support/TestRoot.h"
#include "webapp/GImageStore.h"

namespace {

std::vector<std::string> storeFiles(const testroot::TestRoot& _root) {
  std::vector<std::string> names;
  for (const char* d : {"original", "preview1", "preview2"}) {
    DIR* dir = opendir(_root.file(std::string("images/") + d).c_str());
    while (struct dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') names.push_back(std::string(d) + "/" + e->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// What a crash can leave in the store, one case each: a temporary upload file, a record
// whose upload never completed (with the original already moved in and its link), and the
// files of an image whose record was deleted. The complete image and files that are none of
// the store's stay.
TEST(GImageStore, SweepRemovesWhatACrashLeftAndKeepsCompleteImages) {
  testroot::TestRoot root(-1);
  testapp::FakeApplication application(root.path);
  GDatabase& database = application.database;

  GImage complete;
  complete.width = 10;
  complete.height = 8;
  complete.size = 3;
  int kept = database.addImage(complete);
  GImage halfMade;  // as the upload adds it, before the files are in place
  int cut = database.addImage(halfMade);
  database.addFolderImage(0, cut, GIMAGE_ACCEPTED);
  database.addFolderImage(0, kept, GIMAGE_ACCEPTED);
  for (int id : {kept, cut, 7}) {
    char name[32];
    snprintf(name, sizeof name, "%07d.jpg", id);
    root.write(std::string("images/original/") + name, "jpg");
    if (id != cut) {
      root.write(std::string("images/preview1/") + name, "jpg");
      root.write(std::string("images/preview2/") + name, "jpg");
    }
  }
  root.write("images/original/tmp_0000042.jpg", "partial");
  root.write("images/original/notes.txt", "not the store's");

  EXPECT_EQ(6, GImageStore::sweep());

  GImage read;
  EXPECT_EQ(kept, database.getImage(kept, read));
  EXPECT_EQ(-1, database.getImage(cut, read));
  EXPECT_EQ(1, database.getNumOfImages());
  GImageFolderRec link;
  int empty = -1;
  EXPECT_GE(database.findFolderImage(0, kept, link, empty), 0);
  EXPECT_LT(database.findFolderImage(0, cut, link, empty), 0);
  std::vector<std::string> expected = {"original/0000000.jpg", "original/notes.txt",
                                       "preview1/0000000.jpg", "preview2/0000000.jpg"};
  EXPECT_EQ(expected, storeFiles(root));
  EXPECT_EQ(0, GImageStore::sweep()) << "a second sweep finds nothing";
}
