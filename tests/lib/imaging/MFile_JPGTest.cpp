#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/core/MException.h"
#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"
#include "tests/lib/imaging/JpegTestSupport.h"

namespace {

using namespace jpegtest;

const char* LOAD_SIGNATURE = "void MFile_JPG::load(char *_filename,MImage& _image)";
const char* SAVE_SIGNATURE = "void MFile_JPG::save(char *_filename,MImage& _image,int _quality)";

class MFile_JPGTest : public JpegFileTest {
 protected:
  // Four quadrants of a colour each, with busy detail so that files are not trivial.
  static void paint(MImage& _image) {
    int w = _image.getWidth(), h = _image.getHeight();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint colour = y < h / 2 ? (x < w / 2 ? 0xE01010u : 0x10E010u)
                                : (x < w / 2 ? 0x1010E0u : 0x808080u);
        _image.setPixel(x, y, colour);
      }
    }
  }

  // A file of some size: our writer, a noisy picture.
  std::string makeBaseline(const std::string& _name, int _width, int _height) {
    MImage image(_width, _height);
    uint seed = 12345;
    for (int y = 0; y < _height; ++y)
      for (int x = 0; x < _width; ++x) {
        seed = seed * 1103515245u + 12345u;
        image.setPixel(x, y, (seed >> 8) & 0xFFFFFF);
      }
    std::string file = path(_name);
    jpg.save(file.c_str(), image, 90);
    return file;
  }

  std::string makeProgressive(const std::string& _name) {
    std::string source = makeBaseline(_name + ".source.jpg", 256, 192);
    std::string file = path(_name);
    convert("'" + source + "' -interlace JPEG -quality 90 '" + file + "'");
    return file;
  }

  // Loads a file that must be refused: the failure chain, the expected text on standard
  // error, and an image that keeps what it had.
  void expectLoadFails(const std::string& _file, const std::string& _stderrText) {
    MImage image(2, 2);
    image.fill(0x00ABCDEF);
    uint* before = image.getData();
    testing::internal::CaptureStderr();
    bool thrown = false;
    try {
      jpg.load(_file.c_str(), image);
    } catch (const MException& e) {
      thrown = true;
      EXPECT_STREQ(LOAD_SIGNATURE, e.getLocation().getValue());
      EXPECT_STREQ("Operation failed!", e.getMessage().getValue());
      ASSERT_NE(nullptr, e.getInner());
      EXPECT_STREQ("### LOAD ###", e.getInner()->getLocation().getValue());
      EXPECT_EQ("Image load (" + _file + ") failed!",
                std::string(e.getInner()->getMessage().getValue()));
    }
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(thrown) << _file << " loaded";
    EXPECT_NE(std::string::npos, errors.find(_stderrText)) << "standard error: " << errors;
    EXPECT_EQ(before, image.getData());
    EXPECT_EQ(2, image.getWidth());
    EXPECT_EQ(0x00ABCDEFu, image.getPixel(1, 1));
  }

  // _code: the errno value the failure carries (0: not a failure of the file).
  void expectSaveFails(const std::string& _file, MImage& _image, const std::string& _stderrText,
                       int _code = 0) {
    testing::internal::CaptureStderr();
    bool thrown = false;
    try {
      jpg.save(_file.c_str(), _image, 75);
    } catch (const MException& e) {
      thrown = true;
      EXPECT_STREQ(SAVE_SIGNATURE, e.getLocation().getValue());
      ASSERT_NE(nullptr, e.getInner());
      EXPECT_STREQ("### SAVE ###", e.getInner()->getLocation().getValue());
      EXPECT_EQ("Image save (" + _file + ") failed!",
                std::string(e.getInner()->getMessage().getValue()));
      EXPECT_EQ(_code, e.getInner()->getCode());
    }
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(thrown);
    EXPECT_NE(std::string::npos, errors.find(_stderrText)) << "standard error: " << errors;
  }

  // Offset of the first frame header (SOF0 to SOF2) in a file.
  static size_t findFrameHeader(const Bytes& _bytes) {
    for (size_t i = 2; i + 9 < _bytes.size(); ++i)
      if (_bytes[i] == 0xFF && _bytes[i + 1] >= 0xC0 && _bytes[i + 1] <= 0xC2) return i;
    return 0;
  }

  MFile_JPG jpg;
};

TEST_F(MFile_JPGTest, RoundTripKeepsSizeAndColoursAndMakesPreviews) {
  MImage image(1600, 1200);
  paint(image);
  image.setPixel(10, 10, 0x7FE01010u);  // the transparency byte is not stored
  std::string file = path("original.jpg");
  jpg.save(file.c_str(), image, 90);

  MImage loaded;
  jpg.load(file.c_str(), loaded);
  ASSERT_EQ(1600, loaded.getWidth());
  ASSERT_EQ(1200, loaded.getHeight());
  EXPECT_FALSE(loaded.hasTransparency());
  EXPECT_TRUE(near(0xE01010u, loaded.getPixel(400, 300), 8));
  EXPECT_TRUE(near(0x10E010u, loaded.getPixel(1200, 300), 8));
  EXPECT_TRUE(near(0x1010E0u, loaded.getPixel(400, 900), 8));
  EXPECT_TRUE(near(0x808080u, loaded.getPixel(1200, 900), 8));
  EXPECT_TRUE(near(0xE01010u, loaded.getPixel(10, 10), 8));

  // The two previews of an upload.
  for (int height : {120, 240}) {
    MImage preview;
    preview.scale(loaded, MImage::previewWidth(1600, 1200, height), height);
    std::string name = path("preview" + std::to_string(height) + ".jpg");
    jpg.save(name.c_str(), preview, 75);
    MImage back;
    jpg.load(name.c_str(), back);
    EXPECT_EQ(height * 4 / 3, back.getWidth());
    EXPECT_EQ(height, back.getHeight());
    EXPECT_TRUE(near(0x1010E0u, back.getPixel(height / 3, height * 3 / 4), 10));
  }
}

TEST_F(MFile_JPGTest, SavedBytesIgnoreTransparencyAndClampQuality) {
  MImage opaque(16, 8);
  opaque.fill(0x00123456u);
  MImage marked(16, 8);
  marked.fill(0xFF123456u);
  jpg.save(path("opaque.jpg").c_str(), opaque, 80);
  jpg.save(path("marked.jpg").c_str(), marked, 80);
  EXPECT_EQ(readBytes(path("opaque.jpg")), readBytes(path("marked.jpg")));
  MImage back;
  jpg.load(path("marked.jpg").c_str(), back);
  EXPECT_TRUE(near(0x123456u, back.getPixel(3, 3), 3));

  paint(opaque);
  jpg.save(path("q100.jpg").c_str(), opaque, 100);
  jpg.save(path("q150.jpg").c_str(), opaque, 150);
  jpg.save(path("q0.jpg").c_str(), opaque, 0);
  jpg.save(path("q-5.jpg").c_str(), opaque, -5);
  EXPECT_EQ(readBytes(path("q100.jpg")), readBytes(path("q150.jpg")));
  EXPECT_EQ(readBytes(path("q0.jpg")), readBytes(path("q-5.jpg")));
  EXPECT_NE(readBytes(path("q0.jpg")), readBytes(path("q100.jpg")));
  jpg.load(path("q0.jpg").c_str(), back);  // tables above 255 at the lowest quality still decode
  EXPECT_EQ(16, back.getWidth());
}

TEST_F(MFile_JPGTest, SaveReplacesAnExistingFile) {
  std::string file = path("existing.jpg");
  writeBytes(file, Bytes(100000, 'x'));
  MImage image(8, 8);
  image.fill(0x00FF0000u);
  jpg.save(file.c_str(), image, 75);
  EXPECT_LT(readBytes(file).size(), 2000u);
  MImage back;
  jpg.load(file.c_str(), back);
  EXPECT_TRUE(near(0xFF0000u, back.getPixel(4, 4), 4));
}

TEST_F(MFile_JPGTest, SaveFailuresAreReported) {
  MImage empty(0, 5);
  expectSaveFails(path("empty.jpg"), empty, "Empty JPEG image");
  EXPECT_TRUE(std::filesystem::exists(path("empty.jpg")));

  MImage tooWide(65501, 1);
  expectSaveFails(path("wide.jpg"), tooWide, "Maximum supported image dimension is 65500 pixels");

  MImage fine(4, 4);
  std::string unreachable = path("no/such/dir.jpg");
  expectSaveFails(unreachable, fine, "can't open " + unreachable + "\n", ENOENT);
  // A full disk says so, whether the data or only the last of it finds no room.
  MImage large(400, 400);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 400; ++x) large.setPixel(x, y, (uint)(x * 7919 + y * 104729));
  expectSaveFails("/dev/full", large, "Output file write error", ENOSPC);
  expectSaveFails("/dev/full", fine, "Output file write error", ENOSPC);

  // An image that lost its pixels to a failed scaling is written as nothing, not read.
  MImage lost(4, 4);
  MImage noPixels;
  testing::internal::CaptureStderr();
  lost.scale(noPixels, 4, 4);
  testing::internal::GetCapturedStderr();
  expectSaveFails(path("lost.jpg"), lost, "Empty JPEG image");

  try {
    jpg.save(nullptr, fine, 75);
    ADD_FAILURE() << "saved without a name";
  } catch (const MException& e) {
    EXPECT_STREQ(SAVE_SIGNATURE, e.getLocation().getValue());
    ASSERT_NE(nullptr, e.getInner());
    EXPECT_STREQ("### FILENAME ###", e.getInner()->getLocation().getValue());
    EXPECT_STREQ("The '_filename' parameter points to NULL!",
                 e.getInner()->getMessage().getValue());
  }
  try {
    jpg.load(nullptr, fine);
    ADD_FAILURE() << "loaded without a name";
  } catch (const MException& e) {
    EXPECT_STREQ(LOAD_SIGNATURE, e.getLocation().getValue());
    ASSERT_NE(nullptr, e.getInner());
    EXPECT_STREQ("### FILENAME ###", e.getInner()->getLocation().getValue());
  }
}

TEST_F(MFile_JPGTest, BrokenFilesAreRefusedAndLeaveTheImageAlone) {
  Bytes good = readBytes(makeBaseline("good.jpg", 64, 48));
  Bytes progressive = readBytes(makeProgressive("progressive.jpg"));
  size_t sof = findFrameHeader(good);
  ASSERT_GT(sof, 0u);

  auto withSize = [&](int _width, int _height) {
    Bytes bytes = good;
    bytes[sof + 5] = (unsigned char)(_height >> 8);
    bytes[sof + 6] = (unsigned char)_height;
    bytes[sof + 7] = (unsigned char)(_width >> 8);
    bytes[sof + 8] = (unsigned char)_width;
    return bytes;
  };
  auto withBadHuffmanTable = [&]() {
    Bytes bytes = good;
    for (size_t i = 2; i + 21 < bytes.size(); ++i) {
      if (bytes[i] == 0xFF && bytes[i + 1] == 0xC4) {
        for (size_t k = 0; k < 16; ++k) bytes[i + 5 + k] = 0xFF;  // the code counts
        break;
      }
    }
    return bytes;
  };
  const std::string text = "Hello, this is not a picture.\n";

  struct Case {
    std::string name;
    Bytes bytes;
    std::string stderrText;
  };
  const Case cases[] = {
      {"zero.jpg", Bytes(), "Empty input file"},
      {"text.jpg", Bytes(text.begin(), text.end()), "Not a JPEG file: starts with 0x48 0x65"},
      {"half.jpg", Bytes(good.begin(), good.begin() + good.size() / 2), "Premature end of JPEG file"},
      {"header-only.jpg", Bytes(good.begin(), good.begin() + 100), "Premature end of JPEG file"},
      {"half-progressive.jpg", Bytes(progressive.begin(), progressive.begin() + progressive.size() / 2),
       "Premature end of JPEG file"},
      {"bad-huffman.jpg", withBadHuffmanTable(), "Bogus Huffman table definition"},
      {"zero-width.jpg", withSize(0, 48), "Empty JPEG image"},
      // Decompression bombs: refused from the header, before any pixel memory is taken.
      {"huge.jpg", withSize(65000, 65000), "is too large: 65000 x 65000 pixels, at most 200000000"},
      {"just-too-big.jpg", withSize(20000, 10001), "is too large: 20000 x 10001 pixels"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(path(c.name), c.bytes);
    expectLoadFails(path(c.name), c.stderrText);
  }

  std::string missing = path("missing.jpg");
  SCOPED_TRACE("missing file");
  expectLoadFails(missing, "ERROR; Cannot open file (" + missing + ")!\n");
}

TEST_F(MFile_JPGTest, FileLackingOnlyItsEndMarkerLoads) {
  std::string whole = makeBaseline("whole.jpg", 64, 48);
  Bytes bytes = readBytes(whole);
  ASSERT_EQ(0xD9, bytes.back());
  bytes.resize(bytes.size() - 2);
  writeBytes(path("no-eoi.jpg"), bytes);

  MImage expected, image;
  jpg.load(whole.c_str(), expected);
  testing::internal::CaptureStderr();
  jpg.load(path("no-eoi.jpg").c_str(), image);
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, errors.find("Premature end of JPEG file")) << errors;
  ASSERT_EQ(64, image.getWidth());
  ASSERT_EQ(48, image.getHeight());
  EXPECT_EQ(0, memcmp(expected.getData(), image.getData(), 64 * 48 * sizeof(uint)));
}

TEST_F(MFile_JPGTest, EndlessScansAreRefused) {
  // Repeat the smallest scan of a progressive file until there are far too many.
  Bytes bytes = readBytes(makeProgressive("scans.jpg"));
  ASSERT_EQ(0xD9, bytes.back());
  std::vector<size_t> starts;
  for (size_t i = 2; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) starts.push_back(i);
  ASSERT_GT(starts.size(), 2u);
  starts.push_back(bytes.size() - 2);
  size_t smallest = 0;
  for (size_t i = 1; i + 1 < starts.size(); ++i)
    if (starts[i + 1] - starts[i] < starts[smallest + 1] - starts[smallest]) smallest = i;
  Bytes scan(bytes.begin() + starts[smallest], bytes.begin() + starts[smallest + 1]);
  Bytes bomb(bytes.begin(), bytes.end() - 2);
  for (int i = 0; i < MFile_JPG::MAX_SCANS + 10; ++i) bomb.insert(bomb.end(), scan.begin(), scan.end());
  bomb.push_back(0xFF);
  bomb.push_back(0xD9);
  writeBytes(path("bomb.jpg"), bomb);
  expectLoadFails(path("bomb.jpg"), "more than 1000 scans");
}

TEST_F(MFile_JPGTest, ToolMadeFilesGiveTrueColours) {
  struct Case {
    std::string name;
    std::string arguments;  // for convert, before the output name
    uint topLeft, bottomRight;
    int tolerance;
  };
  const Case cases[] = {
      {"grey.jpg", "-size 16x16 xc:'#666666' -colorspace Gray -type Grayscale", 0x666666u, 0x666666u, 2},
      {"grey-gradient.jpg", "-size 16x64 gradient:white-black -colorspace Gray -type Grayscale",
       0xFFFFFFu, 0x000000u, 6},
      {"cmyk.jpg", "-size 16x16 xc:red -colorspace CMYK", 0xFF0000u, 0xFF0000u, 6},
      {"cmyk-mixed.jpg", "-size 16x16 xc:'#3080C0' -colorspace CMYK", 0x3080C0u, 0x3080C0u, 8},
      {"progressive.jpg", "-size 64x48 gradient:red-blue -interlace JPEG", 0xFF0000u, 0x0000FFu, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = path(c.name);
    convert(c.arguments + " -quality 95 '" + file + "'");
    MImage image;
    jpg.load(file.c_str(), image);
    ASSERT_NE(nullptr, image.getData());
    int w = image.getWidth(), h = image.getHeight();
    EXPECT_TRUE(near(c.topLeft, image.getPixel(0, 0), c.tolerance));
    EXPECT_TRUE(near(c.bottomRight, image.getPixel(w - 1, h - 1), c.tolerance));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(0u, image.getPixel(x, y) >> 24);
  }

  // The fixtures really are what they claim to be.
  Bytes grey = readBytes(path("grey.jpg"));
  size_t sof = findFrameHeader(grey);
  ASSERT_GT(sof, 0u);
  EXPECT_EQ(1, grey[sof + 9]) << "components";
  Bytes cmyk = readBytes(path("cmyk.jpg"));
  sof = findFrameHeader(cmyk);
  ASSERT_GT(sof, 0u);
  EXPECT_EQ(4, cmyk[sof + 9]) << "components";
  Bytes progressive = readBytes(path("progressive.jpg"));
  sof = findFrameHeader(progressive);
  ASSERT_GT(sof, 0u);
  EXPECT_EQ(0xC2, progressive[sof + 1]) << "frame type";

  // A greyscale picture is grey in every channel, not a shade of blue.
  MImage grey16;
  jpg.load(path("grey-gradient.jpg").c_str(), grey16);
  for (int y = 0; y < grey16.getHeight(); ++y) {
    uint v = grey16.getPixel(5, y);
    ASSERT_EQ(channel(v, 0), channel(v, 8));
    ASSERT_EQ(channel(v, 0), channel(v, 16));
  }
}

}  // namespace
