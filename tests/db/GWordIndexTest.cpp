#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "db/GImageRecord.h"
#include "db/GKeywordMatcher.h"
#include "tests/db/DbTestSupport.h"

// The keyword search through the word index against the full scan it replaced: every image
// record of the file read raw and its keywords field put to GKeywordMatcher, the accepted
// ones kept, the highest id first. Libraries made by random additions, keyword edits,
// decisions, deletions and restarts; searches of words at the edges of the folding.
namespace {

// Pieces of keywords: cases and letters beyond ASCII, a tab inside a word, Latin-1 bytes
// that are not UTF-8, a word that holds another.
const char* const kPieces[] = {
    "Harbour", "harbour", "SUNSET", "sunset-boat", "Überlingen", "ÜBERLINGEN", "straße",
    "STRASSE", "ΑΘΉΝΑ", "αθήνα", "ΟΔΥΣΣΕΥΣ", "Москва", "sea\tsun", "caf\xe9", "CAF\xc9",
    "ha", "x", "boat",
};

// Search words: whole words folded, parts of words, parts that end inside a letter
// ("b\xc3" is "b" and the first byte of "ü"), words spanning a blank, words that folding
// changes or that are too short (they find nothing), a word only a cut text loses.
const char* const kSearched[] = {
    "harbour", "arbo", "überlingen", "berl", "b\xc3", "straße", "strasse", "ss",
    "αθήνα", "θήν", "οδυσσευσ", "москва", "sea", "sea\tsun", "sun", "caf\xe9", "caf",
    "ha", "boat", "our sun", "a h", "Harbour", "x", "", "zzz", "ngen",
};

class GWordIndexTest : public testing::Test {
 protected:
  void SetUp() override { open(); }
  void open() {
    db.reset(new ClockedDatabase());
    db->now = clock;
    db->init(root.path.c_str());
  }
  void restart() {
    clock = db->now;
    db.reset();
    open();
  }

  // Now and then longer than the field, so that the record holds a cut text.
  std::string keywords() {
    std::string text;
    int count = rng() % 8 == 0 ? 40 : (int)(rng() % 5);
    for (int n = 0; n < count; ++n) {
      text += std::string(n == 0 ? "" : rng() % 4 == 0 ? "  " : " ") + kPieces[rng() % std::size(kPieces)];
    }
    return text;
  }

  int someImage() {
    int records = (int)(readBytes(root.file("image.db")).size() / GImageRecord::SIZE);
    return (int)(rng() % (size_t)(records + 1));
  }

  void step() {
    db->now++;
    int image = someImage();
    switch (rng() % 10) {
      case 0: case 1: case 2: case 3: {
        GImage added;
        added.user = 2 + (int)(rng() % 3);
        added.status = (GImageStatus)(rng() % 3);
        added.keywords = keywords().c_str();
        db->addImage(added);
        break;
      }
      case 4: case 5: {
        GImage changed;
        if (db->getImage(image, changed) < 0) break;
        changed.keywords = keywords().c_str();
        db->updateImage(image, changed);
        break;
      }
      case 6: rng() % 2 ? db->acceptImage(image) : db->denyImage(image); break;
      case 7: db->deleteImage(image); break;
      case 8: if (rng() % 10 == 0) db->deleteUserImages(2 + (int)(rng() % 3)); break;
      case 9: if (rng() % 10 == 0) restart(); break;
    }
  }

  static std::vector<int> scan(const Bytes& _images, const std::vector<std::string>& _words) {
    GKeywordMatcher matcher(_words);
    std::vector<int> found;
    for (size_t at = 0; at + GImageRecord::SIZE <= _images.size(); at += GImageRecord::SIZE) {
      const unsigned char* record = _images.data() + at;
      if (readLe32(_images, at) < 0 || record[GImageRecord::STATUS] != GIMAGE_ACCEPTED) continue;
      if (matcher.matches(record + GImageRecord::KEYWORDS, GImageRecord::KEYWORDS_MAX)) {
        found.push_back(readLe32(_images, at));
      }
    }
    std::reverse(found.begin(), found.end());
    return found;
  }

  // Random searches of one to three words, and every word alone.
  void check() {
    Bytes images = readBytes(root.file("image.db"));
    std::vector<std::vector<std::string>> searches;
    for (const char* word : kSearched) searches.push_back({word});
    for (int i = 0; i < 20; ++i) {
      std::vector<std::string> words;
      for (int n = 1 + (int)(rng() % 3); n > 0; --n) words.push_back(kSearched[rng() % std::size(kSearched)]);
      searches.push_back(words);
    }
    for (const auto& words : searches) {
      std::vector<int> found;
      db->getImageIdsByKeywords(words, found);
      std::string shown;
      for (const std::string& word : words) shown += "[" + word + "]";
      ASSERT_EQ(scan(images, words), found) << shown;
    }
  }

  TempRoot root;
  std::unique_ptr<ClockedDatabase> db;
  uint clock = 1000000;
  std::mt19937 rng{35};
};

}  // namespace

TEST_F(GWordIndexTest, FindsWhatTheFullScanFindsThroughChangesAndRestarts) {
  for (int round = 0; round < 500; ++round) {
    step();
    if (round % 10 == 9) {
      SCOPED_TRACE(testing::Message() << "round " << round);
      check();
    }
    if (HasFailure()) return;
  }
  restart();
  check();
}

// Words that no record carries any more are dropped in bulk; the words still carried keep
// their records, and new words come in after them.
TEST_F(GWordIndexTest, DroppingWordsNoLongerCarriedKeepsTheOthers) {
  const int count = 9000;
  for (int i = 0; i < count; ++i) {
    GImage image;
    image.user = 2;
    image.status = GIMAGE_ACCEPTED;
    image.keywords = ("w" + std::to_string(i) + " common").c_str();
    db->addImage(image);
  }
  for (int i = 0; i < count; ++i) {
    if (i % 10 != 3) db->deleteImage(i);
  }
  GImage added;
  added.user = 2;
  added.status = GIMAGE_ACCEPTED;
  added.keywords = "w13 fresh";
  db->addImage(added);
  Bytes images = readBytes(root.file("image.db"));
  for (std::vector<std::string> words : {std::vector<std::string>{"common"}, {"w13"}, {"w1"},
                                         {"fresh"}, {"w8993"}, {"w8994"}, {"w1", "common"}}) {
    std::vector<int> found;
    db->getImageIdsByKeywords(words, found);
    EXPECT_EQ(scan(images, words), found) << words[0];
  }
}
