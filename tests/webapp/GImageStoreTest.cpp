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
  for (const char* d : {"original", "preview1", "preview2", "preview2x", "screen"}) {
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
    // The pictures for screens: the complete image has none yet (stored before them).
    if (id == 7) {
      root.write(std::string("images/preview2x/") + name, "jpg");
      root.write(std::string("images/screen/") + name, "jpg");
    }
  }
  root.write("images/original/tmp_0000042.jpg", "partial");
  root.write("images/original/tmp_bg00000071.jpg", "made in the background");
  root.write("images/original/notes.txt", "not the store's");

  // The complete image lacks no file it must have (no notice on standard error).
  testing::internal::CaptureStderr();
  EXPECT_EQ(9, GImageStore::sweep());
  EXPECT_EQ(std::string::npos, testing::internal::GetCapturedStderr().find("misses a file"));

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

// The images that get their pictures for screens in the background: complete ones with an
// original that lack either picture.
TEST(GImageStore, ImagesLackingThePicturesForScreens) {
  testroot::TestRoot root(-1);
  testapp::FakeApplication application(root.path);
  GImage complete;
  complete.width = 10;
  complete.height = 8;
  complete.size = 3;
  struct Case {
    bool original, large2x, screen, lacking;
  };
  const Case cases[] = {
      {true, false, false, true}, {true, true, false, true}, {true, false, true, true},
      {true, true, true, false},  {false, false, false, false},
  };
  std::vector<int> expected;
  for (const Case& c : cases) {
    int id = application.database.addImage(complete);
    char name[32];
    snprintf(name, sizeof name, "%07d.jpg", id);
    if (c.original) root.write(std::string("images/original/") + name, "jpg");
    if (c.large2x) root.write(std::string("images/preview2x/") + name, "jpg");
    if (c.screen) root.write(std::string("images/screen/") + name, "jpg");
    if (c.lacking) expected.push_back(id);
  }
  GImage halfMade;
  int cut = application.database.addImage(halfMade);
  root.write(MString::format("images/original/%07d.jpg", cut).getValue(), "jpg");
  EXPECT_EQ(expected, GImageStore::lackingLargeFiles(GImageStore::list(MString(root.path.c_str()))));
}
