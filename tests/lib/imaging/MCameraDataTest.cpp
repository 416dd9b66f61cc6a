#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/imaging/MCameraData.h"
#include "tests/support/CameraDataFixture.h"

using namespace testcamera;

namespace {

MCameraData read(const std::string& _bytes) {
  return MCameraData::readBytes((const unsigned char*)_bytes.data(), _bytes.size());
}

// A Photoshop segment of nearly 60 KB whose IPTC data holds the one keyword.
std::string bulkySegment(const std::string& _keyword) {
  std::string filler = iptcSet(2, 202, std::string(30000, 'x'));
  return photoshopSegment(iptcKeyword(_keyword) + filler + filler);
}

}  // namespace

// Where the reader looks and how far: the segments in front of the picture data, within its
// bounds, whatever the rest of the file holds.
TEST(MCameraData, ReadsOnlyTheHeaderSegmentsWithinBounds) {
  const std::string jpeg = plainJpeg();
  ASSERT_FALSE(jpeg.empty());
  const std::string keyword = photoshopSegment(iptcKeyword("found"));
  size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(std::string::npos, scan);
  std::string manySegments = jpeg;
  for (int i = 19; i >= 0; --i) manySegments = withSegment(manySegments, 0xED, bulkySegment("k" + std::to_string(i)));
  std::string manyKeywords;
  for (int i = 0; i < 300; ++i) manyKeywords += iptcKeyword("k" + std::to_string(i));
  struct Case {
    const char* what;
    std::string bytes;
    size_t keywords;
  };
  const Case cases[] = {
      {"a segment in front", withSegment(jpeg, 0xED, keyword), 1},
      {"fill bytes in front of the marker", jpeg.substr(0, 2) + "\xFF\xFF\xFF" + withSegment(jpeg, 0xED, keyword).substr(2), 1},
      {"behind the start of the picture data", jpeg.substr(0, scan + 2) + withSegment("\xFF\xD8", 0xED, keyword).substr(2) + jpeg.substr(scan + 2), 0},
      {"behind other segments of any kind", withSegment(withSegment(jpeg, 0xED, keyword), 0xE2, std::string(65000, 'i')), 1},
      {"no JPEG start marker", "GIF89a" + withSegment(jpeg, 0xED, keyword), 0},
      {"only fill bytes", "\xFF\xD8" + std::string(100000, '\xFF'), 0},
      {"empty", "", 0},
      {"keywords beyond what any field holds", withSegment(jpeg, 0xED, photoshopSegment(manyKeywords)), MCameraData::maxKeywords},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.keywords, read(c.bytes).keywords.size()) << c.what;
  }
  // Twenty segments of 60 KB: only those within the bound on Photoshop data are decoded.
  std::vector<std::string> kept = read(manySegments).keywords;
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ("k0", kept[0]);
  EXPECT_EQ(MCameraData::maxPhotoshopBytes / 60000, kept.size());
}

TEST(MCameraData, AFileThatCannotBeOpenedHasNoData) {
  MCameraData data = MCameraData::readFile("/nonexistent/vistrel.jpg");
  EXPECT_FALSE(data.taken.isKnown());
  EXPECT_TRUE(data.keywords.empty());
  EXPECT_TRUE(data.description.empty());
}
