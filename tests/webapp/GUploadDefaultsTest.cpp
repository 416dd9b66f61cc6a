#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "db/GImage.h"
#include "lib/imaging/MCameraData.h"
#include "tests/support/CameraDataFixture.h"
#include "webapp/GUploadDefaults.h"

using namespace testcamera;

namespace {

// The image a file of these bytes, uploaded under _fileName, starts with.
GImage defaultsOf(const std::string& _bytes, const std::string& _fileName) {
  char path[] = "/tmp/vistrel-defaults-XXXXXX";
  int handle = mkstemp(path);
  close(handle);
  std::ofstream(path, std::ios::binary).write(_bytes.data(), (std::streamsize)_bytes.size());
  GImage image;
  GUploadDefaults::apply(_fileName, MCameraData::readFile(path), image);
  unlink(path);
  return image;
}

std::string repeat(const std::string& _text, int _times) {
  std::string result;
  for (int i = 0; i < _times; ++i) result += _text;
  return result;
}

}  // namespace

TEST(GUploadDefaults, CameraDataOfTheFileBecomesTheImagesAttributes) {
  const std::string jpeg = plainJpeg();
  ASSERT_FALSE(jpeg.empty());
  const std::string zeta = "\xCE\x96";  // Greek capital zeta, two bytes
  const std::string uber = "\xC3\x9C" "berlingen";
  const std::string zakynthos = "\xCE\x96\xCE\xAC\xCE\xBA\xCF\x85\xCE\xBD\xCE\xB8\xCE\xBF\xCF\x82";
  const std::string iptcWithText = photoshopSegment(
      iptcUtf8Mark() + iptcKeyword(uber) + iptcKeyword(zakynthos) +
      iptcCaption("Hafen im Morgenlicht"));
  std::vector<std::string> manyKeywords(30, uber);
  for (size_t i = 0; i < manyKeywords.size(); ++i) manyKeywords[i] += std::to_string(i + 10);
  std::string thirteen;  // the first thirteen of them: 13 bytes each and 12 separators, 193 bytes
  for (int i = 0; i < 13; ++i) thirteen += (i > 0 ? ", " : "") + manyKeywords[(size_t)i];
  const std::string goodTiff = exifDates("2024:05:17 06:12:40", "");
  struct Case {
    const char* what;
    std::string bytes;
    std::string fileName;
    std::string name, date, keywords, description;
  };
  const Case cases[] = {
      {"no camera data: only the name", jpeg, "IMG_0042.JPG", "IMG_0042", "", "", ""},
      {"date taken", withSegment(jpeg, 0xE1, exifSegment(exifDates("2024:05:17 06:12:40", "2024:06:01 10:00:00"))),
       "harbour.jpg", "harbour", "17.05.2024", "", ""},
      {"only the date of the last change", withSegment(jpeg, 0xE1, exifSegment(exifDates("", "2023:09:02 08:00:00"))),
       "heron.jpeg", "heron", "02.09.2023", "", ""},
      {"camera clock never set: the date of the change",
       withSegment(jpeg, 0xE1, exifSegment(exifDates("0000:00:00 00:00:00", "2023:07:11 12:00:00"))),
       "gull.jpg", "gull", "11.07.2023", "", ""},
      {"no valid date at all", withSegment(jpeg, 0xE1, exifSegment(exifDates("2023:02:29 10:00:00", "yesterday"))),
       "x.jpg", "x", "", "", ""},
      {"IPTC keywords beyond ASCII and caption", withSegment(jpeg, 0xED, iptcWithText),
       "lake.jpg", "lake", "", uber + ", " + zakynthos, "Hafen im Morgenlicht"},
      {"IPTC in Latin-1 without the UTF-8 mark",
       withSegment(jpeg, 0xED, photoshopSegment(iptcKeyword("M\xFCnchen") + iptcCaption("Gr\xFC\xDF" "e\r\naus\tM\xFCnchen"))),
       "m.jpg", "m", "", "M\xC3\xBCnchen", "Gr\xC3\xBC\xC3\x9F" "e  aus M\xC3\xBCnchen"},
      {"XMP subject and description",
       withSegment(jpeg, 0xE1, xmpSegment(xmpSubject({"harbour", zakynthos, " "}) + xmpDescription("Boats &amp; nets"))),
       "b.jpg", "b", "", "harbour, " + zakynthos, "Boats & nets"},
      {"XMP description in one language only", withSegment(jpeg, 0xE1, xmpSegment(xmpDescription("M\xC3\xB6we", "de"))),
       "g.jpg", "g", "", "", "M\xC3\xB6we"},
      {"IPTC and XMP both, as Lightroom writes them: IPTC first, each keyword once",
       withSegment(withSegment(jpeg, 0xE1, xmpSegment(xmpSubject({"gull", "bird"}) + xmpDescription("Other"))), 0xED,
                   photoshopSegment(iptcKeyword("sea") + iptcKeyword("gull") + iptcCaption("Gull"))),
       "g.jpg", "g", "", "sea, gull, bird", "Gull"},
      {"damaged EXIF: the other blocks still count",
       withSegment(withSegment(jpeg, 0xE1, exifSegment(goodTiff.substr(0, 14))), 0xED,
                   photoshopSegment(iptcKeyword("kept"))),
       "d.jpg", "d", "", "kept", ""},
      {"damaged IPTC: a data set longer than its resource",
       withSegment(withSegment(jpeg, 0xE1, xmpSegment(xmpDescription("from XMP"))), 0xED,
                   photoshopSegment(iptcCaption("cut").substr(0, 3) + be16(5000) + "cut")),
       "d.jpg", "d", "", "", "from XMP"},
      {"damaged XMP: not well-formed",
       withSegment(withSegment(jpeg, 0xE1, xmpSegment("<dc:subject><rdf:Bag><rdf:li>open")), 0xE1,
                   exifSegment(goodTiff)),
       "d.jpg", "d", "17.05.2024", "", ""},
      {"segment longer than the file", withSegment(jpeg.substr(0, 2), 0xE1, exifSegment(goodTiff), 60000),
       "d.jpg", "d", "", "", ""},
      {"overlong values: cut at whole letters, whole keywords",
       withSegment(jpeg, 0xED, photoshopSegment([&] {
                     std::string sets = iptcCaption(repeat(zeta, 150));
                     for (const std::string& k : manyKeywords) sets += iptcKeyword(k);
                     return sets;
                   }())),
       repeat(zeta, 30) + ".jpg", repeat(zeta, 19), "", thirteen, repeat(zeta, 99)},
      {"one keyword longer than the field", withSegment(jpeg, 0xED, photoshopSegment(iptcKeyword(repeat("\xC3\xBC", 150)))),
       "C:\\Users\\anna\\Grey heron", "Grey heron", "", repeat("\xC3\xBC", 99), ""},
      {"a name that is only an extension", jpeg, "photos/.jpg", ".jpg", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GImage image = defaultsOf(c.bytes, c.fileName);
    EXPECT_EQ(c.name, image.name.getValue());
    EXPECT_EQ(c.date, image.date.getValue());
    EXPECT_EQ(c.keywords, image.keywords.getValue());
    EXPECT_EQ(c.description, image.description.getValue());
  }
}

TEST(GUploadDefaults, ValuesAlreadyGivenStay) {
  MCameraData camera;
  camera.taken = {2024, 5, 17};
  camera.keywords = {"sea"};
  camera.description = "from the file";
  GImage image;
  image.name = "typed";
  image.description = "typed too";
  GUploadDefaults::apply("file.jpg", camera, image);
  EXPECT_STREQ("typed", image.name.getValue());
  EXPECT_STREQ("17.05.2024", image.date.getValue());
  EXPECT_STREQ("sea", image.keywords.getValue());
  EXPECT_STREQ("typed too", image.description.getValue());
}
