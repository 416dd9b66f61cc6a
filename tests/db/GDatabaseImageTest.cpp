#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "tests/db/DbTestSupport.h"

namespace {

class GDatabaseImages : public testing::Test {
 protected:
  void SetUp() override { db.init(root.path.c_str()); }

  int addImage(int _user, GImageStatus _status, const char* _keywords = "") {
    GImage image;
    image.user = _user;
    image.status = _status;
    image.keywords = _keywords;
    return db.addImage(image);
  }

  std::vector<int> keys(MList& _list) {
    std::vector<int> out;
    for (MItem* i = _list.getFirstItem(); i; i = _list.getNextItem(i)) out.push_back(i->key->toInt());
    return out;
  }

  TempRoot root;
  ClockedDatabase db;
};

}  // namespace

TEST_F(GDatabaseImages, RecordBytesFollowTheLayout) {
  db.now = 0x11223344;
  GImage image;
  image.user = 7;
  image.status = 2;
  image.date = "2024-01-02-extra";
  image.width = (short)40000;  // beyond 32767: stored as 16 bits, reads back negative
  image.height = 480;
  image.size = 123456;
  image.name = std::string(45, 'n').c_str();
  image.description = std::string(250, 'd').c_str();
  image.keywords = "Red car";
  ASSERT_EQ(0, db.addImage(image));

  Bytes expected(472, 0);
  le32(expected, 0, 0);
  le32(expected, 4, 0x11223344);
  le32(expected, 8, 7);
  expected[12] = 2;
  text(expected, 13, "2024-01-02");
  le16(expected, 24, 40000);
  le16(expected, 26, 480);
  le32(expected, 28, 123456);
  text(expected, 32, std::string(39, 'n'));
  text(expected, 72, std::string(199, 'd'));
  text(expected, 272, "Red car");
  EXPECT_EQ(expected, readBytes(root.file("image.db")));

  GImage back;
  ASSERT_EQ(0, db.getImage(0, back));
  EXPECT_EQ(40000 - 65536, back.width);
  EXPECT_STREQ("2024-01-02", back.date.getValue());
  EXPECT_EQ(199, back.description.getLength());
  EXPECT_STREQ("Red car", back.keywords.getValue());
}

TEST_F(GDatabaseImages, CreationTimesAreUniqueWithinOneSecondAndAcrossARestart) {
  db.now = 5000;
  addImage(3, 1);
  addImage(3, 1);
  db.now = 5007;
  addImage(3, 1);
  MList images;
  ASSERT_EQ(3, db.getUserImages(3, images));
  EXPECT_EQ((std::vector<int>{5000, 5001, 5007}), keys(images));

  // The clock went back while the server was down: new times still come after the old.
  ClockedDatabase restarted;
  restarted.now = 4000;
  restarted.init(root.path.c_str());
  GImage image;
  image.user = 3;
  restarted.addImage(image);
  restarted.getUserImages(3, images);
  EXPECT_EQ((std::vector<int>{5000, 5001, 5007, 5008}), keys(images));
}

TEST_F(GDatabaseImages, UpdateStatusChangesAndDeletionKeepTheCreationTime) {
  db.now = 7000;
  addImage(1, 0);
  GImage image;
  ASSERT_EQ(0, db.getImage(0, image));
  image.name = "renamed";
  image.id = 55;  // a stale id in the object must not move the record
  EXPECT_EQ(0, db.updateImage(0, image));
  EXPECT_EQ(0, db.acceptImage(0));
  Bytes record = readBytes(root.file("image.db"));
  EXPECT_EQ(0, readLe32(record, 0));
  EXPECT_EQ(7000, readLe32(record, 4));
  EXPECT_EQ(1, record[12]);
  EXPECT_EQ("renamed", std::string((const char*)record.data() + 32));
  EXPECT_EQ(0, db.denyImage(0));
  EXPECT_EQ(2, readBytes(root.file("image.db"))[12]);

  for (int id : {-1, 1, 40}) {
    EXPECT_EQ(-1, db.getImage(id, image));
    EXPECT_EQ(-1, db.updateImage(id, image));
    EXPECT_EQ(-1, db.acceptImage(id));
    EXPECT_EQ(-1, db.denyImage(id));
    EXPECT_EQ(-1, db.deleteImage(id));
  }
  EXPECT_EQ(0, db.deleteImage(0));
  Bytes freed(472, 0);
  le32(freed, 0, (uint32_t)-1);
  EXPECT_EQ(freed, readBytes(root.file("image.db")));
  EXPECT_EQ(0, addImage(1, 0));  // the free record is taken again
}

TEST_F(GDatabaseImages, CountsAndUserWideDeletion) {
  int owners[10] = {7, 4, 7, 4, 1, 7, 2, 4, 3, 5};
  for (int owner : owners) addImage(owner, 1);
  int total = -1;
  EXPECT_EQ(3, db.getNumOfUserImages(7, total));
  EXPECT_EQ(10, total);
  EXPECT_EQ(3, db.getNumOfUserImages(4));
  EXPECT_EQ(10, db.getNumOfImages());

  db.deleteUserImages(4);
  Bytes file = readBytes(root.file("image.db"));
  for (int i : {1, 3, 7}) {
    EXPECT_EQ(-1, readLe32(file, i * 472));
    EXPECT_EQ(-1, readLe32(file, i * 472 + 8));
  }
  EXPECT_EQ(0, db.getNumOfUserImages(4, total));
  EXPECT_EQ(7, total);
  EXPECT_EQ(1, addImage(9, 1));
}

TEST_F(GDatabaseImages, AnAdditionWithinTheLimitCountsTheOwnersAdditionsUnderWay) {
  auto account = [&](const char* _name, int _limit) {
    GUser user;
    user.username = _name;
    user.imageLimit = _limit;
    return db.addUser(user);
  };
  // Admin 0 and guest 1 come with the database.
  int two = account("two", 2), none = account("none", 0), racing = account("racing", 3);
  auto within = [&](int _owner) {
    GImage image;
    image.user = _owner;
    return db.addImageWithinLimit(image);
  };
  EXPECT_EQ(0, within(two));
  addImage(two, 1);  // an image added otherwise counts as well
  EXPECT_EQ(-1, within(two));
  EXPECT_EQ(-1, within(none));
  EXPECT_EQ(-2, within(99));
  EXPECT_EQ(2, db.getNumOfImages());

  // Eight threads adding at once for an owner with three places: three additions. With the
  // syncs, during which an addition is under way but not yet in its owner's index.
  db.setDurable(true);
  std::vector<std::thread> threads;
  std::vector<int> added(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t]() {
      for (int i = 0; i < 5; ++i) added[(size_t)t] += within(racing) >= 0 ? 1 : 0;
    });
  }
  for (std::thread& thread : threads) thread.join();
  int total = 0;
  for (int n : added) total += n;
  EXPECT_EQ(3, total);
  EXPECT_EQ(3, db.getNumOfUserImages(racing));
}

TEST_F(GDatabaseImages, StatusListsAreKeyedByIdAndAppendToTheGivenList) {
  addImage(1, 0);
  addImage(1, 1);
  addImage(1, 0);
  addImage(1, 2);
  MList waiting;
  EXPECT_EQ(2, db.getImagesByStatus(0, waiting));
  EXPECT_EQ((std::vector<int>{0, 2}), keys(waiting));
  EXPECT_EQ(3, db.getImagesByStatus(2, waiting));
  EXPECT_EQ((std::vector<int>{0, 2, 3}), keys(waiting));
}

TEST_F(GDatabaseImages, KeywordSearch) {
  addImage(1, 1, "Red sports car 1965");    // 0
  addImage(1, 1, "red bicycle");            // 1
  addImage(1, 0, "red car waiting");        // 2
  addImage(1, 2, "red car denied");         // 3
  addImage(1, 1, "CONCATENATE");            // 4
  addImage(1, 1, "");                       // 5
  addImage(1, 1, "Car, RED; \xC4hre");      // 6
  GImage withName;
  withName.status = 1;
  withName.name = "red car";
  withName.description = "red car";
  db.addImage(withName);                    // 7: only the keywords are searched
  db.deleteImage(5);
  addImage(1, 1, "Bodensee, Überlingen");   // 5 again
  addImage(1, 1, "ΘΕΣΣΑΛΟΝΊΚΗ; Санкт-Петербург; Łódź");  // 8

  struct Case {
    std::vector<const char*> words;
    std::vector<int> found;
  } cases[] = {
      {{"red", "car"}, {0, 6}},
      {{"car", "red"}, {0, 6}},
      {{"red"}, {0, 1, 6}},
      {{"red", "c"}, {}},                // one word too short
      {{"red", ""}, {}},                 // an empty word between two spaces
      {{}, {0, 1, 4, 5, 6, 7, 8}},       // no words: every accepted image
      {{"cat"}, {4}},                    // inside a longer keyword
      {{"Red"}, {}},                     // words are compared as given
      {{"ed s"}, {0}},                   // a substring across a blank
      {{"\xC4hre"}, {6}},                // other bytes are compared unchanged
      {{"\xE4hre"}, {}},
      {{"bicycle", "car"}, {}},
      {{"1965", "sports", "red", "car"}, {0}},
      {{"überlingen"}, {5}},             // letters beyond ASCII are folded too
      {{"Überlingen"}, {}},              // ...in the keywords; the words come folded
      {{"θεσσαλονίκη", "петербург"}, {8}},
      {{"łódź", "санкт"}, {8}},
  };
  for (const Case& c : cases) {
    MList words;
    for (size_t i = 0; i < c.words.size(); ++i) words.addObject((int)i, new MString(c.words[i]));
    MList found;
    found.addObject(99, new MString("stale"));
    int n = db.getImagesByKeywords(words, found);
    std::string label;
    for (const char* w : c.words) label += std::string("[") + w + "]";
    SCOPED_TRACE(label);
    EXPECT_EQ((int)c.found.size(), n);
    EXPECT_EQ(c.found, keys(found));
  }
}

TEST_F(GDatabaseImages, KeywordSearchReadsAFullLengthField) {
  std::string keywords(190, 'a');
  keywords += "xyzNEEDLE";  // 199 characters, the field's limit
  addImage(1, 1, keywords.c_str());
  MList words;
  words.addObject(0, new MString("needle"));
  MList found;
  EXPECT_EQ(1, db.getImagesByKeywords(words, found));
  words.clear();
  words.addObject(0, new MString("needlex"));
  EXPECT_EQ(0, db.getImagesByKeywords(words, found));
}

// Files from before may hold two images with one creation time; the list keyed by it
// refuses the second as the list always does, and nothing leaks.
TEST_F(GDatabaseImages, RepeatedKeysFromOldFilesFailAsTheListDoes) {
  db.now = 8000;
  addImage(3, 1);
  addImage(3, 1);
  Bytes file = readBytes(root.file("image.db"));
  le32(file, 472 + 4, 8000);
  writeBytes(root.file("image.db"), file);
  MList images;
  try {
    db.getUserImages(3, images);
    FAIL() << "no failure";
  } catch (const MException& e) {
    EXPECT_STREQ("int GDatabase::getUserImages(int _user_id,MList& _images)",
                 e.getLocation().getValue());
    const MException* inner = &e;
    while (inner->getInner() != nullptr) inner = inner->getInner();
    EXPECT_STREQ("The key (8000) is not unique (i.e. it is used)!", inner->getMessage().getValue());
  }
  EXPECT_EQ(1, images.getLength());
  EXPECT_TRUE(images.getUniqueKeys());

  // A status list given with an image already in it fails the same way.
  MList accepted;
  accepted.addObject(1, new MString("present"));
  EXPECT_THROW(db.getImagesByStatus(1, accepted), MException);
  EXPECT_TRUE(accepted.getUniqueKeys());
}
