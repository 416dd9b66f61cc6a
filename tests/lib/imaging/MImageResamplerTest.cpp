#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "lib/imaging/MImage.h"
#include "lib/imaging/MImageResampler.h"

namespace {

int grey(uint _pixel) { return (int)(_pixel & 0xFF); }

MImage picture(int _width, int _height, uint (*_pixel)(int, int)) {
  MImage image(_width, _height);
  for (int y = 0; y < _height; ++y)
    for (int x = 0; x < _width; ++x) image.setPixel(x, y, _pixel(x, y));
  return image;
}

MImage scaled(MImage& _source, int _width, int _height) {
  MImage result;
  EXPECT_TRUE(MImageResampler::scale(_source, result, _width, _height));
  EXPECT_EQ(_width, result.getWidth());
  EXPECT_EQ(_height, result.getHeight());
  return result;
}

struct Size {
  int width, height;
};
// Whole and uneven reductions, a side kept, enlargements, one-pixel results.
const Size SIZES[] = {{8, 8}, {10, 7}, {64, 5}, {1, 1}, {3, 64}, {100, 90}, {200, 130}};

TEST(MImageResamplerTest, LineFieldsAverageToTheirGrey) {
  // One-pixel black and white lines across, down, and a checkerboard: nearest-neighbour
  // sampling turns them into black, white or false stripes; a reduction must show grey.
  uint (*fields[])(int, int) = {
      [](int, int y) { return y % 2 ? 0xFFFFFFu : 0u; },
      [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; },
      [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; },
  };
  for (auto field : fields) {
    MImage lines = picture(64, 64, field);
    for (Size size : {Size{8, 8}, Size{10, 7}, Size{16, 5}, Size{1, 1}}) {
      SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
      MImage result = scaled(lines, size.width, size.height);
      // Where the filter is cut at the picture's edge, the lines it keeps weigh unevenly.
      for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
          bool edge = x == 0 || y == 0 || x == size.width - 1 || y == size.height - 1;
          ASSERT_NEAR(127.5, grey(result.getPixel(x, y)), edge ? 12 : 3) << x << ", " << y;
        }
    }
  }
}

TEST(MImageResamplerTest, AFlatAreaStaysExactUpToTheEdges) {
  MImage flat = picture(64, 64, [](int, int) { return 0x3C9A17u; });
  for (Size size : SIZES) {
    SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
    MImage result = scaled(flat, size.width, size.height);
    for (int y = 0; y < size.height; ++y)
      for (int x = 0; x < size.width; ++x) ASSERT_EQ(0x3C9A17u, result.getPixel(x, y)) << x << ", " << y;
  }
}

TEST(MImageResamplerTest, EdgesKeepWhatLiesThereAndNothingWrapsAround) {
  // A black frame one pixel wide around white: the frame darkens the result's border only,
  // on all four sides alike, and the middle stays white.
  MImage frame = picture(64, 48, [](int x, int y) {
    return x == 0 || y == 0 || x == 63 || y == 47 ? 0u : 0xFFFFFFu;
  });
  MImage result = scaled(frame, 16, 12);
  EXPECT_EQ(0xFFFFFFu, result.getPixel(8, 6));
  int corner = grey(result.getPixel(0, 0));
  EXPECT_LT(corner, 230);
  EXPECT_EQ(corner, grey(result.getPixel(15, 0)));
  EXPECT_EQ(corner, grey(result.getPixel(0, 11)));
  EXPECT_EQ(corner, grey(result.getPixel(15, 11)));
  EXPECT_EQ(grey(result.getPixel(0, 6)), grey(result.getPixel(15, 6)));
  EXPECT_EQ(grey(result.getPixel(8, 0)), grey(result.getPixel(8, 11)));

  // Black in the left column only: the right edge stays white (the filter is cut at the
  // picture's edge, not wrapped around it).
  MImage left = picture(64, 48, [](int x, int) { return x == 0 ? 0u : 0xFFFFFFu; });
  result = scaled(left, 16, 12);
  for (int y = 0; y < 12; ++y) {
    EXPECT_LT(grey(result.getPixel(0, y)), 240);
    EXPECT_EQ(0xFFFFFFu, result.getPixel(15, y));
  }
}

TEST(MImageResamplerTest, SharpEdgesOvershootNoFurtherThanTheChannelRange) {
  // Catmull-Rom rings at a step; the ringing is cut at 0 and 255, never wrapped around.
  MImage step = picture(40, 4, [](int x, int) { return x < 20 ? 0xFF0000u : 0x0000FFu; });
  MImage result = scaled(step, 100, 4);
  for (int x = 0; x < 100; ++x) {
    uint v = result.getPixel(x, 2);
    if (x < 45) {
      EXPECT_EQ(0xFF0000u, v) << x;
    } else if (x > 55) {
      EXPECT_EQ(0x0000FFu, v) << x;
    } else {
      EXPECT_EQ(0u, v >> 24) << x;
    }
  }
}

TEST(MImageResamplerTest, TheSameSizeGivesTheSamePixelsAndRowsArriveInOrder) {
  MImage noise = picture(33, 17, [](int x, int y) { return (uint)(x * 7919 + y * 104729) & 0xFFFFFFu; });
  MImage same = scaled(noise, 33, 17);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 33; ++x) ASSERT_EQ(noise.getPixel(x, y), same.getPixel(x, y));

  // Rows fed one by one reach the sink once each, top to bottom, as the result holds them.
  MImageResampler resampler(33, 17, 9, 5);
  ASSERT_TRUE(resampler.begin());
  std::vector<int> rows;
  resampler.setSink([&](int _y, const uint* _pixels) {
    rows.push_back(_y);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(resampler.result().getPixel(x, _y), _pixels[x]);
  });
  for (int y = 0; y < 17; ++y) {
    EXPECT_FALSE(resampler.done());
    resampler.row(y, noise.getData() + y * 33);
  }
  EXPECT_TRUE(resampler.done());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), rows);
}

}  // namespace
