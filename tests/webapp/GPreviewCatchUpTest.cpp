#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"
#include "lib/platform/MClock.h"
#include "tests/support/ExifFixture.h"
#include "tests/support/FakeApplication.h"
#include "tests/support/TestRoot.h"
#include "webapp/GImageStore.h"
#include "webapp/GPreviewCatchUp.h"

namespace {

class GPreviewCatchUpTest : public ::testing::Test {
 protected:
  GPreviewCatchUpTest() : root(-1), application(root.path) {}

  // A complete image whose original is _bytes, stored as before the pictures for screens.
  int addImage(const std::string& _bytes, int _width, int _height) {
    GImage image;
    image.width = (short)_width;
    image.height = (short)_height;
    image.size = (int)_bytes.size();
    int id = application.database.addImage(image);
    root.write(MString::format("images/original/%07d.jpg", id).getValue(), _bytes);
    root.write(MString::format("images/preview1/%07d.jpg", id).getValue(), "jpg");
    root.write(MString::format("images/preview2/%07d.jpg", id).getValue(), "jpg");
    return id;
  }
  // A JPEG file of _width x _height: red on the left half, blue on the right.
  std::string jpeg(int _width, int _height) {
    MImage image(_width, _height);
    for (int y = 0; y < _height; ++y)
      for (int x = 0; x < _width; ++x) image.setPixel(x, y, x < _width / 2 ? 0xE01010u : 0x1010E0u);
    std::string path = root.path + "/made.jpg";
    MFile_JPG().save(path.c_str(), image, 90);
    std::string bytes = root.read("made.jpg");
    root.remove("made.jpg");
    return bytes;
  }
  // The size of a stored picture, or (-1, -1) when it is not there.
  std::pair<int, int> size(const char* _store, int _id) {
    std::string path = root.file(MString::format("images/%s/%07d.jpg", _store, _id).getValue());
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return {-1, -1};
    MImage image;
    MFile_JPG().load(path.c_str(), image);
    last = image;
    return {image.getWidth(), image.getHeight()};
  }
  void runToTheEnd(GPreviewCatchUp& _catchUp) {
    // A deadline, not a measure: the catch-up runs at the lowest priority, and under the
    // sanitizers on a busy machine it takes long.
    for (int i = 0; i < 18000 && !_catchUp.isFinished(); ++i) sleepFor(0, 10);
    ASSERT_TRUE(_catchUp.isFinished());
  }

  testroot::TestRoot root;
  testapp::FakeApplication application;
  MImage last;
};

}  // namespace

TEST_F(GPreviewCatchUpTest, OldImagesGetThePicturesForScreensUprightAndNothingElseChanges) {
  int wide = addImage(jpeg(2400, 1800), 2400, 1800);
  // Stored on its side, to be turned right for viewing: upright 1200 x 1600.
  std::string turned = testexif::withOrientation(jpeg(1600, 1200), 6);
  ASSERT_FALSE(turned.empty());
  int upright = addImage(turned, 1200, 1600);
  int broken = addImage("\xFF\xD8 not a picture", 100, 100);
  int done = addImage(jpeg(320, 240), 320, 240);
  root.write(MString::format("images/preview2x/%07d.jpg", done).getValue(), "made before");
  root.write(MString::format("images/screen/%07d.jpg", done).getValue(), "made before");

  std::vector<int> lacking =
      GImageStore::lackingLargeFiles(GImageStore::list(MString(root.path.c_str())));
  EXPECT_EQ((std::vector<int>{wide, upright, broken}), lacking);
  GPreviewCatchUp catchUp;
  testing::internal::CaptureStderr();
  catchUp.start(lacking, 85);
  runToTheEnd(catchUp);
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(3, catchUp.getDone());

  // 2400 x 1800 decoded at half the size for the screen: its 1200 x 900 is below seven
  // eighths of 2048, so the full size, filtered to 2048 x 1536.
  EXPECT_EQ(std::make_pair(MImage::previewWidth(2400, 1800, 480), 480), size("preview2x", wide));
  EXPECT_EQ(std::make_pair(2048, 1536), size("screen", wide));
  EXPECT_EQ(std::make_pair(360, 480), size("preview2x", upright));
  EXPECT_EQ(std::make_pair(1200, 1600), size("screen", upright));
  // Upright: the stored left half (red) is the top now.
  EXPECT_EQ(0xE0u, (last.getPixel(600, 100) >> 16) & 0xFF);
  EXPECT_LT((last.getPixel(600, 1500) >> 16) & 0xFF, 0x40u);
  EXPECT_EQ(std::make_pair(-1, -1), size("preview2x", broken));
  EXPECT_NE(std::string::npos, errors.find("(" + std::to_string(broken) + ") cannot be made"));
  EXPECT_EQ("made before", root.read(MString::format("images/screen/%07d.jpg", done).getValue()));
  // Nothing temporary stays, and the next start finds nothing to make but the broken one.
  EXPECT_EQ((std::vector<int>{broken}),
            GImageStore::lackingLargeFiles(GImageStore::list(MString(root.path.c_str()))));
  EXPECT_EQ(0, GImageStore::sweep());
}

TEST_F(GPreviewCatchUpTest, AnImageDeletedMeanwhileKeepsNoPicture) {
  int gone = addImage(jpeg(800, 600), 800, 600);
  application.database.deleteImage(gone);
  EXPECT_FALSE(GPreviewCatchUp::make(gone, 85));
  EXPECT_EQ(std::make_pair(-1, -1), size("preview2x", gone));
  EXPECT_EQ(std::make_pair(-1, -1), size("screen", gone));
  struct stat info;
  EXPECT_NE(0, stat(GImageStore::backgroundPath(gone, 1).getValue(), &info));

  // Stopped at once: what runs ends, the rest waits for the next start.
  std::vector<int> many;
  for (int i = 0; i < 20; ++i) many.push_back(addImage(jpeg(1600, 1200), 1600, 1200));
  GPreviewCatchUp catchUp;
  testing::internal::CaptureStderr();
  catchUp.start(many, 85);
  catchUp.stop();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(catchUp.isFinished());
  EXPECT_LT(catchUp.getDone(), 20);
}
