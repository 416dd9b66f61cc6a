#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "db/GImageFolderRec.h"
#include "db/GImageRecord.h"
#include "db/GKeywordMatcher.h"
#include "db/GUserRecord.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "tests/db/DbTestSupport.h"

// The answers that come from the in-memory indexes against what a full scan gives on the same
// data: the scans the database still has (the whole lists the pages walked before) and scans
// of the raw bytes of the files. A random run of additions, updates, deletions (so free
// records are reused), restarts and torn tails, checked after every step.
namespace {

const char* const kWords[] = {"harbour", "Sunset", "boat", "SEA", "light", "dawn", "ha", "ou"};
const char* const kNames[] = {"ann", "bob", "cy", "dee"};

struct Raw {
  Bytes users, images, links;
  explicit Raw(const TempRoot& _root)
      : users(readBytes(_root.file("user.db"))),
        images(readBytes(_root.file("image.db"))),
        links(readBytes(_root.file("folderImage.db"))) {}
  int count(const Bytes& _file, int _size) const { return (int)(_file.size() / _size); }
  const unsigned char* image(int _i) const { return images.data() + (size_t)_i * GImageRecord::SIZE; }
  const unsigned char* link(int _i) const { return links.data() + (size_t)_i * GImageFolderRec::SIZE; }
  int imageId(int _i) const { return readLe32(images, (size_t)_i * GImageRecord::SIZE); }
};

class GDatabaseIndexes : public testing::Test {
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

  std::string keywords() {
    std::string text;
    for (int n = (int)(rng() % 4); n > 0; --n) text += std::string(text.empty() ? "" : " ") + kWords[rng() % 8];
    return text;
  }

  // One random change.
  void step() {
    db->now += rng() % 3;  // several changes within one second too
    int images = (int)(readBytes(root.file("image.db")).size() / GImageRecord::SIZE) + 1;
    int image = (int)(rng() % images);
    int folder = 1 + (int)(rng() % 3);
    int user = 2 + (int)(rng() % 3);
    switch (rng() % 16) {
      case 0: case 1: case 2: case 3: {
        GImage added;
        added.user = user;
        added.status = (GImageStatus)(rng() % 3);
        added.keywords = keywords().c_str();
        db->addImage(added);
        break;
      }
      case 4: {
        GImage changed;
        if (db->getImage(image, changed) < 0) break;
        changed.user = user;
        changed.status = (GImageStatus)(rng() % 3);
        changed.keywords = keywords().c_str();
        db->updateImage(image, changed);
        break;
      }
      case 5: rng() % 2 ? db->acceptImage(image) : db->denyImage(image); break;
      case 6: case 7: db->deleteImageFolders(image); db->deleteImage(image); break;
      case 8: if (rng() % 8 == 0) db->deleteUserImages(user); break;
      case 9: case 10: db->addFolderImage(folder, image, (GImageStatus)(rng() % 3)); break;
      case 11: db->deleteFolderImage(folder, image); break;
      case 12: rng() % 2 ? db->acceptFolderImage(folder, image) : db->denyFolderImage(folder, image); break;
      case 13: if (rng() % 4 == 0) db->deleteFolderImages(folder); break;
      case 14: {
        GUser account;
        account.username = kNames[rng() % 4];
        if (rng() % 2) {
          db->addUser(account);
        } else {
          db->updateUser(2 + (int)(rng() % 6), account);
        }
        break;
      }
      case 15: if (rng() % 3 == 0) db->deleteUser(2 + (int)(rng() % 6)); break;
    }
  }

  static std::vector<int> ids(MList& _list, bool _backwards) {
    std::vector<int> out;
    if (_backwards) {
      for (MItem* i = _list.getLastItem(); i; i = _list.getPrevItem(i)) out.push_back(idOf(i->object));
    } else {
      for (MItem* i = _list.getFirstItem(); i; i = _list.getNextItem(i)) out.push_back(idOf(i->object));
    }
    return out;
  }
  static int idOf(MObject* _object) {
    if (GImage* image = dynamic_cast<GImage*>(_object)) return image->id;
    GImageFolder* link = dynamic_cast<GImageFolder*>(_object);
    return link->image * 100 + link->folder;
  }

  // A part of a list, in pieces of _piece entries, joined; and the count of every piece.
  template <class Part>
  std::vector<int> inPieces(int _piece, Part _part) {
    std::vector<int> joined;
    for (int first = 0;; first += _piece) {
      MList list;
      int count = _part(first, _piece, list);
      std::vector<int> piece = ids(list, false);
      joined.insert(joined.end(), piece.begin(), piece.end());
      if (first + _piece >= count) {
        EXPECT_EQ(count, (int)joined.size());
        return joined;
      }
    }
  }

  void check() {
    Raw raw(root);
    int piece = 1 + (int)(rng() % 5);
    for (int user = 1; user <= 5; ++user) {
      SCOPED_TRACE(testing::Message() << "user " << user);
      MList all;
      all.setSortMode(true, false);  // as the own images' page asks for them
      db->getUserImages(user, all);
      EXPECT_EQ(ids(all, false), inPieces(piece, [&](int _first, int _max, MList& _list) {
                  return db->getUserImagesPage(user, _first, _max, _list);
                }));
      int total = -1;
      EXPECT_EQ(all.getLength(), db->getNumOfUserImages(user, total));
      int inUse = 0;
      for (int i = 0; i < raw.count(raw.images, GImageRecord::SIZE); ++i) inUse += raw.imageId(i) >= 0;
      EXPECT_EQ(inUse, total);
      EXPECT_EQ(inUse, db->getNumOfImages());
    }
    for (int status = 0; status < 3; ++status) {
      MList all;
      db->getImagesByStatus((uchar)status, all);
      EXPECT_EQ(ids(all, false), inPieces(piece, [&](int _first, int _max, MList& _list) {
                  return db->getImagesByStatusPage((uchar)status, _first, _max, _list);
                }));
    }
    for (int folder = 0; folder <= 4; ++folder) {
      for (bool acceptedOnly : {false, true}) {
        MList all;
        db->getFolderImages(folder, all);
        std::vector<int> expected;
        for (MItem* i = all.getLastItem(); i; i = all.getPrevItem(i)) {
          GImageFolder* link = (GImageFolder*)i->object;
          if (!acceptedOnly || link->status == GIMAGE_ACCEPTED) expected.push_back(idOf(link));
        }
        EXPECT_EQ(expected, inPieces(piece, [&](int _first, int _max, MList& _list) {
                    return db->getFolderImagesPage(folder, acceptedOnly, _first, _max, _list);
                  }))
            << "folder " << folder << (acceptedOnly ? ", accepted links" : "");
      }
    }
    // Users by name: the first record in use holding it.
    for (const char* name : {"admin", "guest", "ann", "bob", "cy", "dee", "eve"}) {
      int expected = -1;
      for (int i = 0; expected < 0 && i < raw.count(raw.users, GUserRecord::SIZE); ++i) {
        const unsigned char* r = raw.users.data() + (size_t)i * GUserRecord::SIZE;
        if (readLe32(raw.users, (size_t)i * GUserRecord::SIZE) >= 0 &&
            std::string((const char*)r + GUserRecord::USERNAME,
                        strnlen((const char*)r + GUserRecord::USERNAME, 39)) == name) {
          expected = readLe32(raw.users, (size_t)i * GUserRecord::SIZE);
        }
      }
      GUser found;
      EXPECT_EQ(expected, db->getUserByUsername(name, found)) << name;
    }
    // The keyword search: the old scan with the same matcher over the raw records.
    std::vector<std::string> words;
    for (int n = (int)(rng() % 3); n > 0; --n) {
      std::string word = kWords[rng() % 8];
      if (rng() % 2) for (char& ch : word) ch = (char)tolower((unsigned char)ch);
      words.push_back(word);
    }
    GKeywordMatcher matcher(words);
    std::vector<int> expected;
    for (int i = 0; i < raw.count(raw.images, GImageRecord::SIZE) && !matcher.matchesNothing(); ++i) {
      if (raw.imageId(i) >= 0 && raw.image(i)[GImageRecord::STATUS] == GIMAGE_ACCEPTED &&
          matcher.matches(raw.image(i) + GImageRecord::KEYWORDS, GImageRecord::KEYWORDS_MAX)) {
        expected.push_back(raw.imageId(i));
      }
    }
    MList list;
    for (const std::string& word : words) list.addObject(list.getLength(), new MString(word.c_str()));
    MList found;
    db->getImagesByKeywords(list, found);
    EXPECT_EQ(expected, ids(found, false));
    // A link by folder and image, and the first free link record before it or at the end.
    for (int image = 0; image < 6; ++image) {
      int folder = 1 + image % 3;
      int at = -1;
      int empty = -1;
      for (int i = 0; at < 0 && i < raw.count(raw.links, GImageFolderRec::SIZE); ++i) {
        int f = readLe32(raw.links, (size_t)i * GImageFolderRec::SIZE + GImageFolderRec::FOLDER);
        int m = readLe32(raw.links, (size_t)i * GImageFolderRec::SIZE + GImageFolderRec::IMAGE);
        if (f == folder && m == image) at = i;
        if (at < 0 && empty < 0 && f < 0 && m < 0) empty = i;
      }
      if (at < 0 && empty < 0) empty = raw.count(raw.links, GImageFolderRec::SIZE);
      GImageFolderRec rec;
      int emptyFound = -7;
      EXPECT_EQ(at, db->findFolderImage(folder, image, rec, emptyFound));
      EXPECT_EQ(empty, emptyFound);
    }
  }

  // The record an addition must take: the first free one, else the end.
  void checkNextAddition() {
    Raw raw(root);
    int expected = raw.count(raw.images, GImageRecord::SIZE);
    for (int i = 0; i < expected; ++i) {
      if (raw.imageId(i) < 0) {
        expected = i;
        break;
      }
    }
    GImage image;
    image.user = 9;
    image.keywords = "probe";
    EXPECT_EQ(expected, db->addImage(image));
    db->deleteImage(expected);
  }

  TempRoot root;
  std::unique_ptr<ClockedDatabase> db;
  uint clock = 1000000;
  std::mt19937 rng{20261210};
};

}  // namespace

TEST_F(GDatabaseIndexes, AgreeWithFullScansThroughRandomChangesRestartsAndTornTails) {
  for (int round = 0; round < 600; ++round) {
    step();
    if (round % 7 == 0) {
      SCOPED_TRACE(testing::Message() << "round " << round);
      check();
      checkNextAddition();
    }
    if (round % 97 == 96) {
      // A crash in the middle of appends: torn tails of every file, seen by the next start.
      restart();
      db.reset();
      appendBytes(root.file("image.db"), Bytes(GImageRecord::SIZE / 2, 0x41));
      appendBytes(root.file("folderImage.db"), Bytes(7, 0x05));
      appendBytes(root.file("user.db"), Bytes(100, 0x61));
      open();
      SCOPED_TRACE(testing::Message() << "after the restart in round " << round);
      check();
    }
    if (HasFailure()) return;
  }
}

// What the indexes give survives a restart unchanged: built from the files alone.
TEST_F(GDatabaseIndexes, GiveTheSameAnswersAfterARestart) {
  for (int round = 0; round < 300; ++round) step();
  auto answers = [&]() {
    std::vector<std::vector<int>> out;
    for (int user = 2; user <= 4; ++user) {
      MList list;
      db->getUserImagesPage(user, 0, 1000, list);
      out.push_back(ids(list, false));
    }
    for (int folder = 1; folder <= 3; ++folder) {
      MList list;
      db->getFolderImagesPage(folder, false, 0, 1000, list);
      out.push_back(ids(list, false));
    }
    MList waiting;
    db->getImagesByStatusPage(GIMAGE_WAITING, 0, 1000, waiting);
    out.push_back(ids(waiting, false));
    MList words("harbour", ' ');
    MList found;
    db->getImagesByKeywords(words, found);
    out.push_back(ids(found, false));
    return out;
  };
  auto before = answers();
  restart();
  EXPECT_EQ(before, answers());
}

// Pages past the end are empty but still count the whole list; a negative start counts
// from the first entry.
TEST_F(GDatabaseIndexes, PartsOutsideTheListAreEmpty) {
  for (int i = 0; i < 5; ++i) {
    GImage image;
    image.user = 3;
    db->addImage(image);
    db->now++;
  }
  MList list;
  EXPECT_EQ(5, db->getUserImagesPage(3, 5, 8, list));
  EXPECT_EQ(0, list.getLength());
  EXPECT_EQ(5, db->getUserImagesPage(3, -4, 2, list));
  EXPECT_EQ((std::vector<int>{4, 3}), ids(list, false));
  EXPECT_EQ(0, db->getFolderImagesPage(-1, false, 0, 8, list));
  EXPECT_EQ(0, db->getUserImagesPage(77, 0, 8, list));
}

// Keyword texts replaced often enough that the in-memory store is packed several times: the
// search still finds exactly what a scan of the records finds.
TEST_F(GDatabaseIndexes, KeywordSearchSurvivesThePackingOfReplacedTexts) {
  // Most images keep the text they were added with, so after a packing they are found only
  // where the packing put them.
  std::vector<int> images;
  for (int i = 0; i < 300; ++i) {
    GImage image;
    image.user = 2;
    image.status = GIMAGE_ACCEPTED;
    image.keywords = keywords().c_str();
    images.push_back(db->addImage(image));
  }
  for (int round = 0; round < 8000; ++round) {
    GImage image;
    int id = images[(size_t)(rng() % 5)];
    db->getImage(id, image);
    std::string text = keywords();
    while (text.size() < 190) text += " filler";
    image.keywords = text.c_str();
    db->updateImage(id, image);
  }
  for (int i = 0; i < 20 && !HasFailure(); ++i) check();
}
