#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lib/core/MString.h"
#include "lib/imaging/MImage.h"

namespace {

// A pixel value that names its own place, so that a moved pixel shows where it came from.
uint place(int _x, int _y) { return ((uint)_x << 12) | (uint)_y; }

void fillWithPlaces(MImage& _image) {
  for (int y = 0; y < _image.getHeight(); ++y)
    for (int x = 0; x < _image.getWidth(); ++x) _image.setPixel(x, y, place(x, y));
}

}  // namespace

TEST(MImage, ConstructionGivesPixelsOnlyForPositiveSizes) {
  MImage empty;
  EXPECT_EQ(0, empty.getWidth());
  EXPECT_EQ(0, empty.getHeight());
  EXPECT_EQ(nullptr, empty.getData());
  EXPECT_FALSE(empty.hasTransparency());

  MImage black(3, 2);
  ASSERT_NE(nullptr, black.getData());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(0u, black.getPixel(x, y));
  EXPECT_FALSE(black.hasTransparency());

  MImage flat(-3, 5);
  EXPECT_EQ(-3, flat.getWidth());
  EXPECT_EQ(5, flat.getHeight());
  EXPECT_EQ(nullptr, flat.getData());
  EXPECT_EQ(MImage::OUTSIDE, flat.getPixel(0, 0));
}

TEST(MImage, ReadingOutsideGivesOutsideValueAndWritingThereIsIgnored) {
  MImage image(4, 3);
  EXPECT_EQ(0xFF000000u, image.getPixel(-1, 0));
  EXPECT_EQ(0xFF000000u, image.getPixel(4, 0));
  EXPECT_EQ(0xFF000000u, image.getPixel(0, -1));
  EXPECT_EQ(0xFF000000u, image.getPixel(0, 3));
  image.setPixel(-1, 0, 0xFF000000u);
  image.setPixel(4, 2, 0xFF000000u);
  image.setPixel(0, 3, 0xFF000000u);
  EXPECT_FALSE(image.hasTransparency());
  EXPECT_FALSE(image.isTransparent(-1, 0));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(0u, image.getPixel(x, y));

  MImage none;
  none.setPixel(0, 0, 1);
  none.fill(5);
  none.mirror();
  none.flip();
  none.rotateLeft();
  none.rotateRight();
  EXPECT_EQ(nullptr, none.getData());
  EXPECT_EQ(0, none.getWidth());
}

TEST(MImage, TransparencyFollowsThePixels) {
  MImage image(3, 3);
  image.setPixel(0, 0, 0xFF000000u);
  EXPECT_TRUE(image.hasTransparency());
  EXPECT_TRUE(image.isTransparent(0, 0));
  EXPECT_FALSE(image.isTransparent(1, 0));
  image.fill(0);
  EXPECT_FALSE(image.hasTransparency());

  // Overwriting the only transparent pixel must not leave the old answer behind.
  image.setPixel(1, 1, 0x01000000u);
  EXPECT_TRUE(image.hasTransparency());
  image.setPixel(1, 1, 0x00FFFFFFu);
  EXPECT_FALSE(image.hasTransparency());

  image.fill(0x80123456u);
  EXPECT_TRUE(image.hasTransparency());
  EXPECT_TRUE(image.isTransparent(2, 2));

  uint* buffer = MImage::allocatePixels(2, 1);
  buffer[0] = 0;
  buffer[1] = 0;
  image.setData(2, 1, buffer);
  EXPECT_FALSE(image.hasTransparency());

  MImage source(2, 2);
  source.setPixel(0, 0, 0x7F000000u);
  MImage target;
  target.scale(source, 1, 1);
  EXPECT_TRUE(target.hasTransparency());
  target.resize(3, 3);
  EXPECT_TRUE(target.hasTransparency());
}

TEST(MImage, MirrorAndFlipSwapAcrossTheMiddle) {
  MImage image(3, 2);
  fillWithPlaces(image);
  image.mirror();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(place(2 - x, y), image.getPixel(x, y));

  fillWithPlaces(image);
  image.flip();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(place(x, 1 - y), image.getPixel(x, y));

  MImage tall(1, 3);
  fillWithPlaces(tall);
  tall.flip();
  EXPECT_EQ(place(0, 2), tall.getPixel(0, 0));
  EXPECT_EQ(place(0, 1), tall.getPixel(0, 1));
  EXPECT_EQ(place(0, 0), tall.getPixel(0, 2));
}

TEST(MImage, QuarterTurnsMovePixelsAndSwapSizes) {
  MImage left(3, 2);
  fillWithPlaces(left);
  left.rotateLeft();
  ASSERT_EQ(2, left.getWidth());
  ASSERT_EQ(3, left.getHeight());
  EXPECT_EQ(place(2, 0), left.getPixel(0, 0));
  for (int y = 0; y < 2; ++y)  // old (x, y) moves to (y, width-1-x)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(place(x, y), left.getPixel(y, 2 - x));

  MImage right(3, 2);
  fillWithPlaces(right);
  right.rotateRight();
  ASSERT_EQ(2, right.getWidth());
  ASSERT_EQ(3, right.getHeight());
  EXPECT_EQ(place(0, 1), right.getPixel(0, 0));
  for (int y = 0; y < 2; ++y)  // old (x, y) moves to (height-1-y, x)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(place(x, y), right.getPixel(1 - y, x));

  right.rotateLeft();
  ASSERT_EQ(3, right.getWidth());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(place(x, y), right.getPixel(x, y));
}

// Nearest-neighbour sampling from the top-left corner of each target cell.
struct ScaleCase {
  int sourceWidth, sourceHeight, width, height;
  std::vector<std::pair<int, int>> columns;  // target column -> source column
  std::vector<std::pair<int, int>> rows;     // target row -> source row
};

TEST(MImage, ScaleSamplesTheTopLeftOfEachCell) {
  const ScaleCase cases[] = {
      {1600, 1200, 160, 120, {{0, 0}, {1, 10}, {80, 800}, {159, 1590}}, {{0, 0}, {1, 10}, {119, 1190}}},
      {100, 50, 240, 120, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {239, 99}}, {{0, 0}, {2, 0}, {3, 1}, {119, 49}}},
      {1024, 768, 160, 120, {{0, 0}, {1, 6}, {5, 32}, {159, 1017}}, {{1, 6}, {5, 32}, {119, 761}}},
      {2, 2, 4, 4, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {3, 1, 2, 1, {{0, 0}, {1, 1}}, {{0, 0}}},
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " -> " << c.width
                                    << "x" << c.height);
    MImage source(c.sourceWidth, c.sourceHeight);
    fillWithPlaces(source);
    MImage target;
    target.scale(source, c.width, c.height);
    ASSERT_EQ(c.width, target.getWidth());
    ASSERT_EQ(c.height, target.getHeight());
    for (auto column : c.columns)
      for (auto row : c.rows)
        EXPECT_EQ(place(column.second, row.second), target.getPixel(column.first, row.first))
            << "target (" << column.first << "," << row.first << ")";
    EXPECT_FALSE(target.hasTransparency());
  }

  // Reducing by a whole factor takes every k-th pixel, everywhere.
  MImage source(1600, 1200);
  fillWithPlaces(source);
  MImage target;
  target.scale(source, 160, 120);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) ASSERT_EQ(place(10 * x, 10 * y), target.getPixel(x, y));

  // Enlarging uses every source column two or three times.
  MImage narrow(100, 50);
  fillWithPlaces(narrow);
  MImage wide;
  wide.scale(narrow, 240, 120);
  std::vector<int> uses(100, 0);
  for (int x = 0; x < 240; ++x) uses[wide.getPixel(x, 0) >> 12]++;
  for (int n : uses) EXPECT_TRUE(n == 2 || n == 3) << n;
}

TEST(MImage, ScaleWithoutSizeOrSourceLeavesNothingToRead) {
  MImage source(4, 4);
  fillWithPlaces(source);
  MImage target(2, 3);
  target.fill(0x123456);
  uint* before = target.getData();
  target.scale(source, 0, 5);
  target.scale(source, 5, -1);
  EXPECT_EQ(before, target.getData());
  EXPECT_EQ(2, target.getWidth());
  EXPECT_EQ(3, target.getHeight());
  EXPECT_EQ(0x123456u, target.getPixel(1, 2));

  // A source without pixels: the message, and a target that has no pixels and says so.
  MImage empty;
  testing::internal::CaptureStderr();
  target.scale(empty, 8, 8);
  EXPECT_EQ("ERROR: Image data pointer is NULL!\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(nullptr, target.getData());
  EXPECT_EQ(0, target.getWidth());
  EXPECT_EQ(0, target.getHeight());
  EXPECT_EQ(MImage::OUTSIDE, target.getPixel(0, 0));

  // Scaling an image from itself works as resizing instead of losing the picture.
  source.scale(source, 2, 2);
  ASSERT_EQ(2, source.getWidth());
  EXPECT_EQ(place(2, 2), source.getPixel(1, 1));
}

TEST(MImage, ResizeSamplesInPlaceAndFillsAnEmptyImageGreen) {
  MImage empty;
  empty.resize(2, 2);
  ASSERT_EQ(2, empty.getWidth());
  ASSERT_EQ(2, empty.getHeight());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(0x0000FF00u, empty.getPixel(x, y));

  MImage image(1024, 768);
  fillWithPlaces(image);
  MImage scaled;
  scaled.scale(image, 160, 120);
  image.resize(160, 120);
  ASSERT_EQ(160, image.getWidth());
  ASSERT_EQ(120, image.getHeight());
  EXPECT_EQ(0, memcmp(scaled.getData(), image.getData(), 160 * 120 * sizeof(uint)));

  image.resize(0, 10);
  image.resize(10, 0);
  EXPECT_EQ(160, image.getWidth());
  EXPECT_EQ(120, image.getHeight());
}

TEST(MImage, CopiesAreDeepAndCarryTransparency) {
  MImage original(3, 2);
  fillWithPlaces(original);
  original.setPixel(2, 1, 0xFF000000u);

  MImage copy(original);
  EXPECT_NE(original.getData(), copy.getData());
  EXPECT_EQ(3, copy.getWidth());
  EXPECT_EQ(place(1, 1), copy.getPixel(1, 1));
  EXPECT_TRUE(copy.hasTransparency());
  copy.setPixel(0, 0, 7);
  EXPECT_EQ(place(0, 0), original.getPixel(0, 0));

  MImage assigned(1, 1);
  assigned = original;
  EXPECT_EQ(place(1, 0), assigned.getPixel(1, 0));
  assigned = assigned;
  EXPECT_EQ(place(1, 0), assigned.getPixel(1, 0));
  MImage none;
  assigned = none;
  EXPECT_EQ(nullptr, assigned.getData());

  MImage* duplicate = (MImage*)original.duplicate();
  EXPECT_EQ(place(2, 0), duplicate->getPixel(2, 0));
  delete duplicate;
  MImage* fresh = (MImage*)original.newObject();
  EXPECT_EQ(0, fresh->getWidth());
  EXPECT_EQ(nullptr, fresh->getData());
  delete fresh;
}

namespace {
// A surface that is not an image: 4 x 4 pixels computed on demand.
class PlaceSurface : public MImageSurface {
 public:
  int getWidth() override { return 4; }
  int getHeight() override { return 4; }
  uint getPixel(int _x, int _y) override { return place(_x, _y); }
};
}  // namespace

TEST(MImage, ScalingConstructorReadsAnySurface) {
  PlaceSurface surface;
  MImage image(surface, 2, 2);
  ASSERT_EQ(2, image.getWidth());
  EXPECT_EQ(place(0, 0), image.getPixel(0, 0));
  EXPECT_EQ(place(2, 0), image.getPixel(1, 0));
  EXPECT_EQ(place(2, 2), image.getPixel(1, 1));

  MImage none(surface, 0, 2);
  EXPECT_EQ(nullptr, none.getData());

  MImageSurface blank;
  EXPECT_EQ(0, blank.getWidth());
  EXPECT_EQ(0, blank.getHeight());
  EXPECT_EQ(0u, blank.getPixel(0, 0));
}

TEST(MImage, AnswersAsAnObject) {
  MImage image(160, 120);
  EXPECT_EQ(31, image.getType());
  EXPECT_STREQ("MImage", image.getTypeName().getValue());
  EXPECT_TRUE(image.isKindOf("MImage"));
  EXPECT_TRUE(image.isKindOf((uchar)31));
  EXPECT_TRUE(image.isKindOf((uchar)0));
  EXPECT_FALSE(image.isKindOf("MString"));
  EXPECT_FALSE(image.isKindOf((uchar)11));
  MString expected =
      MString::format("MImage:%llu:%d:%d", (unsigned long long)image.identity(), 160, 120);
  EXPECT_STREQ(expected.getValue(), image.toString().getValue());
  EXPECT_EQ(9 + 4 * 160 * 120, image.getStreamSize());

  MImage small(2, 1);
  small.setPixel(0, 0, 0x00ABCDEF);
  small.setPixel(1, 0, 0x00000012);
  FILE* file = tmpfile();
  ASSERT_NE(nullptr, file);
  small.print(file, 4);
  rewind(file);
  char text[256] = {0};
  size_t length = fread(text, 1, sizeof(text) - 1, file);
  fclose(file);
  EXPECT_EQ("IMAGE 2 1\n(0,0) abcdef\n(1,0) 000012\n", std::string(text, length));
}

TEST(MImage, PreviewWidthKeepsAspectAndStaysStorable) {
  struct Case {
    int width, height, previewHeight, expected;
  };
  const Case cases[] = {
      {1600, 1200, 120, 160}, {1600, 1200, 240, 320}, {1024, 768, 120, 160},
      {100, 50, 120, 240},    {4000, 3000, 240, 320}, {10, 100000, 120, 1},
      {1, 2000, 240, 1},      {60000, 10, 240, 65500}, {65500, 1, 120, 65500},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, MImage::previewWidth(c.width, c.height, c.previewHeight))
        << c.width << "x" << c.height << " at height " << c.previewHeight;
}
