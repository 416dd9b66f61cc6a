#include "db/GDatabase.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "db/GDatabaseDump.h"
#include "db/GDatabaseSeed.h"
#include "db/GFolderRecord.h"
#include "db/GImageRecord.h"
#include "db/GKeywordMatcher.h"
#include "db/GPasswordHash.h"
#include "db/GRecordBytes.h"
#include "db/GRecordScanner.h"
#include "db/GRecordTable.h"
#include "db/GResultList.h"
#include "db/GShareLinkRecord.h"
#include "db/GUserRecord.h"
#include "lib/core/MCoordinate2D.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/platform/MClock.h"

namespace {

void copyLink(const GImageFolderRec& _link, GImageFolder& _imageFolder) {
  _imageFolder.folder = _link.folder;
  _imageFolder.user = _link.user;
  _imageFolder.image = _link.image;
  _imageFolder.status = _link.status;
}

uint creationTime(const uchar* _link) {
  return GRecordBytes::getUInt(_link, GImageFolderRec::CREATION_TIME);
}

}  // namespace

// The four files as tables, over the free records the index keeps of each.
struct GDatabase::Tables {
  explicit Tables(GDatabase& _database)
      : users(_database.userFile, _database.indexes.freeRecords(_database.userFile),
              _database.mutex),
        images(_database.imageFile, _database.indexes.freeRecords(_database.imageFile),
               _database.mutex),
        folders(_database.folderFile, _database.indexes.freeRecords(_database.folderFile),
                _database.mutex),
        links(_database.folderImageFile,
              _database.indexes.freeRecords(_database.folderImageFile), _database.mutex),
        shareLinks(_database.shareLinkFile, noneFree, _database.mutex) {}

  GRecordTable<GUserRecord> users;
  GRecordTable<GImageRecord> images;
  GRecordTable<GFolderRecord> folders;
  GRecordTable<GImageFolderRec> links;
  // Share links are never freed: every addition appends.
  const std::set<int> noneFree;
  GRecordTable<GShareLinkRecord> shareLinks;
};

GDatabase::GDatabase()
    : shareLinkFile(GShareLinkRecord::SIZE),
      imageFile(GImageRecord::SIZE),
      folderImageFile(GImageFolderRec::SIZE),
      userFile(GUserRecord::SIZE),
      folderFile(GFolderRecord::SIZE),
      indexes(userFile, imageFile, folderFile, folderImageFile),
      tables(new Tables(*this)),
      lastImageTime(0),
      lastLinkTime(0),
      lastUserTime(0) {
  imageFile.setObserver(&indexes);
  folderImageFile.setObserver(&indexes);
  userFile.setObserver(&indexes);
  folderFile.setObserver(&indexes);
}

GDatabase::~GDatabase() {}

uint GDatabase::currentTime() { return (uint)getTime(); }

void GDatabase::setDurable(bool _durable) {
  imageFile.setDurable(_durable);
  folderImageFile.setDurable(_durable);
  userFile.setDurable(_durable);
  folderFile.setDurable(_durable);
  shareLinkFile.setDurable(_durable);
}

// ---------------------------------------------------------------------------------------
// Opening and creating the files

void GDatabase::init(const char* _directory) try {
  MMutexLock lock(mutex);
  directory = _directory;
  openFile(imageFile, "%s/database/image.db", "ERROR: Cannot create the image file (%s)!\n",
           nullptr);
  openFile(folderImageFile, "%s/database/folderImage.db",
           "ERROR: Cannot create the image folder file (%s)!\n", nullptr);
  openFile(folderFile, "%s/database/folder.db", "ERROR: Cannot create the folder file (%s)!\n",
           &GDatabase::seedFolders);
  openFile(userFile, "%s/database/user.db", "ERROR: Cannot create the user file (%s)!\n",
           &GDatabase::seedUsers);
  openFile(shareLinkFile, "%s/database/sharelink.db",
           "ERROR: Cannot create the share link file (%s)!\n", nullptr);
  indexes.rebuild();
  hashClearPasswords();
  seedCreationTimes();
  sweepShareLinks();
} M_RETHROW("void GDatabase::init(char *_directory)")

// A new folder or user file is made complete under a temporary name (with its first
// records) and then renamed into place, so a crash during the first start never leaves a
// file without its root folder or its two accounts.
void GDatabase::openFile(GRecordFile& _file, const char* _format, const char* _message,
                         void (GDatabase::*_seed)()) {
  bool seeded = _seed != nullptr;
  MString path = MString::format(_format, directory.getValue());
  if (_file.openExisting(path.getValue())) return;
  bool created = false;
  MString staged = seeded ? MString(path.getValue(), ".new") : path;
  if (errno == ENOENT) {
    if (seeded) unlink(staged.getValue());
    created = _file.createNew(staged.getValue());
  }
  if (!created) {
    fprintf(stderr, _message, path.getValue());
    exit(1);
  }
  MString databaseDir = MString::format("%s/database", directory.getValue());
  if (!seeded) {
    GRecordFile::syncDirectory(databaseDir.getValue());
    return;
  }
  (this->*_seed)();
  _file.sync();
  if (rename(staged.getValue(), path.getValue()) != 0) {
    fprintf(stderr, _message, path.getValue());
    exit(1);
  }
  _file.setPath(path.getValue());
  GRecordFile::syncDirectory(databaseDir.getValue());
}

void GDatabase::seedFolders() {
  for (GFolder& folder : GDatabaseSeed::folders()) addFolder(folder);
}

void GDatabase::seedUsers() {
  for (GUser& user : GDatabaseSeed::users()) addUser(user);
}

// Creation times must stay unique even when the clock was set back between two runs, since
// the result lists are keyed by them: the counters start from the latest time on file.
void GDatabase::seedCreationTimes() {
  GRecordScanner imageScanner(imageFile);
  while (const uchar* record = imageScanner.next()) {
    uint t = GRecordBytes::getUInt(record, GImageRecord::CREATION_TIME);
    if (GImageRecord::inUse(record) && t > lastImageTime) lastImageTime = t;
  }
  GRecordScanner linkScanner(folderImageFile);
  while (const uchar* record = linkScanner.next()) {
    uint t = GRecordBytes::getUInt(record, GImageFolderRec::CREATION_TIME);
    if (t > lastLinkTime) lastLinkTime = t;
  }
  GRecordScanner accounts(userFile);
  while (const uchar* record = accounts.next()) {
    uint t = GRecordBytes::getUInt(record, GUserRecord::GENERATION);
    if (GUserRecord::inUse(record) && t > lastUserTime) lastUserTime = t;
  }
}

uint GDatabase::nextCreationTime(uint& _last) {
  uint t = currentTime();
  if (t > _last) {
    _last = t;
  } else {
    _last += 1;
    t = _last;
  }
  return t;
}

const uchar* GDatabase::linkedImage(const uchar* _link) {
  int image = GRecordBytes::getInt(_link, GImageFolderRec::IMAGE);
  const uchar* record = imageFile.record(image);
  return record != nullptr && GImageRecord::holds(record, image) ? record : nullptr;
}

std::vector<int> GDatabase::linksWith(int _field, int _value) {
  std::vector<int> records;
  if (_field == GImageFolderRec::FOLDER && _value >= 0) {
    records = indexes.folderLinks(_value);
  } else if (_field == GImageFolderRec::IMAGE && _value >= 0) {
    indexes.imageLinks(_value, records);
  } else {
    GRecordScanner scanner(folderImageFile);
    while (const uchar* record = scanner.next()) {
      if (GRecordBytes::getInt(record, _field) == _value) records.push_back(scanner.getIndex());
    }
  }
  return records;
}

// ---------------------------------------------------------------------------------------
// Users

// Records of older versions hold the password in clear: each is replaced by its hash, one
// update of the whole record, so a crash leaves each record clear (hashed at the next
// start) or hashed. The clear text may already have been cut to the field's length by the
// old record; it is hashed as it stands, so the account logs in as before.
void GDatabase::hashClearPasswords() {
  std::vector<int> clear;
  GRecordScanner scanner(userFile);
  while (const uchar* record = scanner.next()) {
    if (!GUserRecord::inUse(record)) continue;
    MString password = GRecordBytes::getText(record, GUserRecord::PASSWORD, 29);
    if (password.getLength() > 0 && !GPasswordHash::isHash(password)) {
      clear.push_back(scanner.getIndex());
    }
  }
  for (int index : clear) {
    GUser user;
    if (!tables->users.get(index, user)) continue;
    user.password = GPasswordHash::hash(user.password);
    tables->users.update(index, user);
  }
  if (!clear.empty()) {
    fprintf(stderr, "Hashed the clear passwords of %d accounts.\n", (int)clear.size());
  }
}

int GDatabase::addUser(GUser& _user) try {
  // A freed id comes back with a new stamp: whoever still remembers the deleted account sees
  // that this is another one.
  uint generation = 0;
  _user.id = tables->users.add(_user, [this, &generation](uchar* _record) {
    generation = nextCreationTime(lastUserTime);
    GRecordBytes::putUInt(_record, GUserRecord::GENERATION, generation);
  });
  _user.generation = generation;
  return _user.id;
} M_RETHROW("int GDatabase::addUser(GUser& _user)")

int GDatabase::deleteUser(int _user_id) try {
  if (_user_id < 2) return -1;
  MMutexLock lock(mutex);
  GUser user;
  if (!tables->users.get(_user_id, user)) return -1;
  endShareLinks([_user_id](const GShareLink& _link) { return _link.maker == _user_id; },
                GShareLink::MAKER_GONE);
  return tables->users.remove(_user_id) ? _user_id : -1;
} M_RETHROW("int GDatabase::deleteUser(int _user_id)")

int GDatabase::getUser(int _user_id, GUser& _user) try {
  return tables->users.get(_user_id, _user) ? _user_id : -1;
} M_RETHROW("int GDatabase::getUser(int _user_id,GUser& _user)")

int GDatabase::getUserByUsername(const char* _username, GUser& _user) try {
  MMutexLock lock(mutex);
  const char* wanted = _username ? _username : "";
  size_t length = strlen(wanted);
  if (length > 39) return -1;  // stored names hold at most 39 characters
  const uchar* record = userFile.record(indexes.userByName(wanted, length));
  if (record == nullptr) return -1;
  GUserRecord::decode(record, _user);
  return _user.id;
} M_RETHROW("int GDatabase::getUserByUsername(char* _username,GUser& _user)")

int GDatabase::getUsers(MList& _users) try {
  return tables->users.collect(_users, GUserRecord::inUse, [](const GUser& _user, const uchar*) {
    return MString::format("%s:%s:%s:%d", _user.lastname.getValue(), _user.firstname.getValue(),
                           _user.username.getValue(), _user.id);
  });
} M_RETHROW("int GDatabase::getUsers(MList& _users)")

bool GDatabase::hasAccount(const GUser& _user) try {
  GUser stored;
  return tables->users.get(_user.id, stored) && stored.generation == _user.generation;
} M_RETHROW("bool GDatabase::hasAccount(const GUser& _user)")

int GDatabase::updateUser(int _user_id, GUser& _user) try {
  return tables->users.update(_user_id, _user) ? _user_id : -1;
} M_RETHROW("int GDatabase::updateUser(int _user_id,GUser& _user)")

// ---------------------------------------------------------------------------------------
// Images

int GDatabase::addImage(GImage& _image) try {
  _image.id = tables->images.add(_image, [this](uchar* _record) {
    GRecordBytes::putUInt(_record, GImageRecord::CREATION_TIME, nextCreationTime(lastImageTime));
  });
  return _image.id;
} M_RETHROW("int GDatabase::addImage(GImage& _image)")

int GDatabase::addImageWithinLimit(GImage& _image) try {
  // The check runs under the lock where the addition picks its record. An addition of the
  // same owner between its first write and its mark is not in the owner's index yet: the
  // owner's additions under way count as well, until the index holds them.
  struct NoPlace {
    int code;
  };
  const int owner = _image.user;
  int reserved = -1;
  auto finished = [&]() {
    MMutexLock lock(mutex);
    if (reserved >= 0) imagesUnderWay.erase(reserved);
  };
  try {
    _image.id = tables->images.add(_image, [&](uchar* _record) {
      GUser user;
      if (!tables->users.get(owner, user)) throw NoPlace{-2};
      const std::vector<int>& stored = indexes.userImages(owner);
      size_t count = stored.size();
      for (const auto& addition : imagesUnderWay) {
        if (addition.second == owner &&
            std::find(stored.begin(), stored.end(), addition.first) == stored.end())
          ++count;
      }
      if ((long long)count >= user.imageLimit) throw NoPlace{-1};
      GRecordBytes::putUInt(_record, GImageRecord::CREATION_TIME, nextCreationTime(lastImageTime));
      reserved = GRecordBytes::getInt(_record, GImageRecord::ID);
      imagesUnderWay[reserved] = owner;
    });
  } catch (const NoPlace& _refused) {
    return _refused.code;
  } catch (...) {
    finished();
    throw;
  }
  finished();
  return _image.id;
} M_RETHROW("int GDatabase::addImageWithinLimit(GImage& _image)")

int GDatabase::getImage(int _image_id, GImage& _image) try {
  return tables->images.get(_image_id, _image) ? _image_id : -1;
} M_RETHROW("int GDatabase::getImage(int _image_id,GImage& _image)")

// The record keeps its number as id and its creation time whatever the object says, so that
// a stale object can never make the record unreachable.
int GDatabase::updateImage(int _image_id, GImage& _image) try {
  return tables->images.update(_image_id, _image) ? _image_id : -1;
} M_RETHROW("int GDatabase::updateImage(int _image_id,GImage& _image)")

int GDatabase::setImageStatus(int _image_id, GImageStatus _status) {
  bool changed = tables->images.change(_image_id, [_status](uchar* _record) {
    _record[GImageRecord::STATUS] = _status;
  });
  return changed ? _image_id : -1;
}

int GDatabase::acceptImage(int _image_id) try {
  return setImageStatus(_image_id, GIMAGE_ACCEPTED);
} M_RETHROW("int GDatabase::acceptImage(int _image_id)")

int GDatabase::denyImage(int _image_id) try {
  return setImageStatus(_image_id, GIMAGE_DENIED);
} M_RETHROW("int GDatabase::denyImage(int _image_id)")

int GDatabase::deleteImage(int _image_id) try {
  MMutexLock lock(mutex);
  GImage image;
  if (!tables->images.get(_image_id, image)) return -1;
  endShareLinks(
      [_image_id](const GShareLink& _link) {
        return _link.kind == GShareLink::PICTURE && _link.target == _image_id;
      },
      GShareLink::TARGET_GONE);
  return tables->images.remove(_image_id) ? _image_id : -1;
} M_RETHROW("int GDatabase::deleteImage(int _image_id)")

void GDatabase::deleteUserImages(int _user_id) try {
  MMutexLock lock(mutex);
  uchar cleared[GImageRecord::SIZE];
  memset(cleared, 0, sizeof cleared);
  GRecordBytes::putInt(cleared, GImageRecord::ID, -1);
  GRecordBytes::putInt(cleared, GImageRecord::USER, -1);
  // The same order as for one deletion, but one sync per step for all the records: first
  // every record is marked free, then every one is cleared.
  uchar freeId[4];
  GRecordBytes::putInt(freeId, 0, -1);
  std::vector<int> freed;
  endShareLinks(
      [this, _user_id](const GShareLink& _link) {
        const uchar* image = imageFile.record(_link.target);
        return _link.kind == GShareLink::PICTURE && image != nullptr &&
               GImageRecord::holds(image, _link.target) &&
               GRecordBytes::getInt(image, GImageRecord::USER) == _user_id;
      },
      GShareLink::TARGET_GONE);
  GRecordScanner scanner(imageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageRecord::USER) != _user_id) continue;
    if (memcmp(record, cleared, sizeof cleared) == 0) continue;  // nothing would change
    if (tables->images.isReserved(scanner.getIndex())) continue;  // its own steps are under way
    imageFile.write(scanner.getIndex(), GImageRecord::ID, freeId, 4);
    freed.push_back(scanner.getIndex());
  }
  if (freed.empty()) return;
  imageFile.sync();
  for (int index : freed) imageFile.writeRecord(index, cleared);
  imageFile.sync();
} M_RETHROW("void GDatabase::deleteUserImages(int _user_id)")

int GDatabase::getUserImages(int _user_id, MList& _images) try {
  return tables->images.collect(
      _images,
      [_user_id](const uchar* _record) {
        return GImageRecord::inUse(_record) &&
               GRecordBytes::getInt(_record, GImageRecord::USER) == _user_id;
      },
      [](const GImage&, const uchar* _record) {
        return GRecordBytes::getUInt(_record, GImageRecord::CREATION_TIME);
      });
} M_RETHROW("int GDatabase::getUserImages(int _user_id,MList& _images)")

int GDatabase::getNumOfUserImages(int _user_id, int& _total) try {
  MMutexLock lock(mutex);
  _total = indexes.imageCount();
  return (int)indexes.userImages(_user_id).size();
} M_RETHROW("int GDatabase::getNumOfUserImages(int _user_id,int& _total)")

int GDatabase::getNumOfUserImages(int _user_id) try {
  int total;
  return getNumOfUserImages(_user_id, total);
} M_RETHROW("int GDatabase::getNumOfUserImages(int _user_id)")

int GDatabase::getNumOfImages() try {
  MMutexLock lock(mutex);
  return indexes.imageCount();
} M_RETHROW("int GDatabase::getNumOfImages()")

std::vector<std::pair<std::string, int>> GDatabase::getRecordCounts() try {
  return {{"user", tables->users.inUse()},
          {"image", tables->images.inUse()},
          {"folder", tables->folders.inUse()},
          {"folderImage", tables->links.inUse()},
          {"sharelink", tables->shareLinks.inUse()}};
} M_RETHROW("std::vector<std::pair<std::string, int>> GDatabase::getRecordCounts()")

// Only accepted images are found, whoever searches. Record numbers are the ids.
void GDatabase::keywordRecords(const std::vector<std::string>& _words, std::vector<int>& _records) {
  _records.clear();
  GKeywordMatcher matcher(_words);
  if (!matcher.matchesNothing()) indexes.matchKeywords(GIMAGE_ACCEPTED, matcher, _records);
}

int GDatabase::getImagesByKeywords(MList& _words, MList& _images) try {
  std::vector<std::string> words;
  for (MItem* item = _words.getFirstItem(); item != nullptr; item = _words.getNextItem(item)) {
    words.push_back(item->object != nullptr ? item->object->toString().getValue() : "");
  }
  MMutexLock lock(mutex);
  GResultList result(_images, true);
  std::vector<int> found;
  keywordRecords(words, found);
  for (int record : found) {
    GImage* image = new GImage();
    GImageRecord::decode(imageFile.record(record), *image);
    result.add(image->id, image);
  }
  return _images.getLength();
} M_RETHROW("int GDatabase::getImagesByKeywords(MList& _words,MList& _images)")

void GDatabase::getImageIdsByKeywords(const std::vector<std::string>& _words,
                                      std::vector<int>& _ids) try {
  MMutexLock lock(mutex);
  keywordRecords(_words, _ids);
  std::reverse(_ids.begin(), _ids.end());
} M_RETHROW("void GDatabase::getImageIdsByKeywords(std::vector<std::string>& _words,std::vector<int>& _ids)")

int GDatabase::getImagesByStatus(uchar _status, MList& _images) try {
  return tables->images.collect(
      _images,
      [_status](const uchar* _record) {
        return GImageRecord::inUse(_record) && _record[GImageRecord::STATUS] == _status;
      },
      [](const GImage& _image, const uchar*) { return _image.id; }, false);
} M_RETHROW("int GDatabase::getImagesByStatus(uchar _status,MList& _images)")

int GDatabase::imagesPage(const std::vector<int>& _records, int _first, int _max,
                          MList& _images) {
  GResultList result(_images, true);
  int count = (int)_records.size();
  int first = _first < 0 ? 0 : _first;
  for (int j = first; j < count && j - first < _max; ++j) {
    GImage* image = new GImage();
    GImageRecord::decode(imageFile.record(_records[(size_t)j]), *image);
    result.addRising(j, image);
  }
  return count;
}

int GDatabase::getUserImagesPage(int _user_id, int _first, int _max, MList& _images) try {
  MMutexLock lock(mutex);
  return imagesPage(indexes.userImages(_user_id), _first, _max, _images);
} M_RETHROW("int GDatabase::getUserImagesPage(int _user_id,int _first,int _max,MList& _images)")

int GDatabase::getImagesByStatusPage(uchar _status, int _first, int _max, MList& _images) try {
  MMutexLock lock(mutex);
  return imagesPage(indexes.imagesWithStatus(_status), _first, _max, _images);
} M_RETHROW("int GDatabase::getImagesByStatusPage(uchar _status,int _first,int _max,MList& _images)")

// The links getFolderImages lists (to an image that is there and accepted), walked from the
// last record to the first as the folder's grid shows them.
int GDatabase::getFolderImagesPage(int _folder_id, bool _acceptedOnly, int _first, int _max,
                                   MList& _imageFolders) try {
  MMutexLock lock(mutex);
  GResultList result(_imageFolders, true);
  int number = _first;
  return folderPage(_folder_id, _acceptedOnly, _first, _max, [&](const GImageFolderRec& _link) {
    GImageFolder* imageFolder = new GImageFolder();
    copyLink(_link, *imageFolder);
    result.addRising(number++, imageFolder);
  });
} M_RETHROW("int GDatabase::getFolderImagesPage(int _folder_id,bool _acceptedOnly,int _first,int _max,MList& _imageFolders)")

int GDatabase::getFolderImageIdsPage(int _folder_id, int _first, int _max,
                                     std::vector<int>& _images) try {
  MMutexLock lock(mutex);
  _images.clear();
  return folderPage(_folder_id, true, _first, _max,
                    [&](const GImageFolderRec& _link) { _images.push_back(_link.image); });
} M_RETHROW("int GDatabase::getFolderImageIdsPage(int _folder_id,int _first,int _max,std::vector<int>& _images)")

int GDatabase::folderPage(int _folder_id, bool _acceptedOnly, int _first, int _max,
                          const std::function<void(const GImageFolderRec&)>& _take) {
  if (_folder_id < 0) return 0;
  const std::vector<int>& links = indexes.folderLinks(_folder_id);
  int count = 0;
  for (auto at = links.rbegin(); at != links.rend(); ++at) {
    const uchar* record = folderImageFile.record(*at);
    GImageFolderRec link;
    link.decode(record);
    if (link.image < 0 || (_acceptedOnly && link.status != GIMAGE_ACCEPTED)) continue;
    const uchar* image = linkedImage(record);
    if (image == nullptr || image[GImageRecord::STATUS] != GIMAGE_ACCEPTED) continue;
    if (count >= _first && count - _first < _max) _take(link);
    count++;
  }
  return count;
}

void GDatabase::getImageIds(std::vector<int>& _complete, std::vector<int>& _incomplete) try {
  MMutexLock lock(mutex);
  GRecordScanner scanner(imageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageRecord::ID) != scanner.getIndex()) continue;
    bool sized = GRecordBytes::getShort(record, GImageRecord::WIDTH) != 0 ||
                 GRecordBytes::getShort(record, GImageRecord::HEIGHT) != 0 ||
                 GRecordBytes::getInt(record, GImageRecord::BYTES) != 0;
    (sized ? _complete : _incomplete).push_back(scanner.getIndex());
  }
} M_RETHROW("void GDatabase::getImageIds(std::vector<int>& _complete,std::vector<int>& _incomplete)")

// ---------------------------------------------------------------------------------------
// The links of one user

int GDatabase::getUserImageFolders(int _user_id, MList& _imageFolders) try {
  return tables->links.collect(
      _imageFolders,
      [_user_id](const uchar* _record) {
        return GRecordBytes::getInt(_record, GImageFolderRec::USER) == _user_id;
      },
      [](const GImageFolder& _link, const uchar*) {
        return (MObject*)new MCoordinate2D(_link.folder, _link.image);
      });
} M_RETHROW("int GDatabase::getUserImageFolders(int _user_id,MList& _imageFolders)")

void GDatabase::deleteUserImageFolders(int _user_id) try {
  MMutexLock lock(mutex);
  freeLinks(GImageFolderRec::USER, _user_id);
} M_RETHROW("void GDatabase::deleteUserImageFolders(int _user_id)")

// Frees every link whose field at _field holds _value: folder, user and image become -1 in
// one write; the creation time and the status stay.
void GDatabase::freeLinks(int _field, int _value) {
  uchar freed[12];
  GRecordBytes::putInt(freed, 0, -1);
  GRecordBytes::putInt(freed, 4, -1);
  GRecordBytes::putInt(freed, 8, -1);
  bool changed = false;
  for (int link : linksWith(_field, _value)) {
    if (memcmp(folderImageFile.record(link) + GImageFolderRec::FOLDER, freed, sizeof freed) == 0) {
      continue;
    }
    folderImageFile.write(link, GImageFolderRec::FOLDER, freed, sizeof freed);
    changed = true;
  }
  if (changed) folderImageFile.sync();
}

// ---------------------------------------------------------------------------------------
// Folders

int GDatabase::addFolder(GFolder& _folder) try {
  _folder.id = tables->folders.add(_folder);
  return _folder.id;
} M_RETHROW("int GDatabase::addFolder(GFolder& _folder)")

// The root (folder 0) is neither read, changed nor deleted by number.
int GDatabase::updateFolder(int _folder_id, GFolder& _folder) try {
  return _folder_id > 0 && tables->folders.update(_folder_id, _folder) ? _folder_id : -1;
} M_RETHROW("int GDatabase::updateFolder(int _folder_id,GFolder& _folder)")

int GDatabase::deleteFolder(int _folder_id) try {
  MMutexLock lock(mutex);
  GFolder folder;
  if (_folder_id <= 0 || !tables->folders.get(_folder_id, folder)) return -1;
  endShareLinks(
      [_folder_id](const GShareLink& _link) {
        return _link.kind == GShareLink::FOLDER && _link.target == _folder_id;
      },
      GShareLink::TARGET_GONE);
  return tables->folders.remove(_folder_id) ? _folder_id : -1;
} M_RETHROW("int GDatabase::deleteFolder(int _folder_id)")

int GDatabase::getFolder(int _folder_id, GFolder& _folder) try {
  return _folder_id > 0 && tables->folders.get(_folder_id, _folder) ? _folder_id : -1;
} M_RETHROW("int GDatabase::getFolder(int _folder_id,GFolder& _folder)")

void GDatabase::changeFolderOwners(int _oldOwner, int _newOwner) try {
  MMutexLock lock(mutex);
  bool changed = false;
  GRecordScanner scanner(folderFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GFolderRecord::OWNER_ID) != _oldOwner) continue;
    if (_oldOwner == _newOwner) continue;
    if (tables->folders.isReserved(scanner.getIndex())) continue;  // its own steps are under way
    uchar owner[4];
    GRecordBytes::putInt(owner, 0, _newOwner);
    folderFile.write(scanner.getIndex(), GFolderRecord::OWNER_ID, owner, 4);
    changed = true;
  }
  if (changed) folderFile.sync();
} M_RETHROW("void GDatabase::changeFolderOwners(int _oldOwner,int _newOwner)")

int GDatabase::getFolders(MList& _folders) try {
  return tables->folders.collect(_folders, GFolderRecord::inUse,
                         [](const GFolder& _folder, const uchar*) { return _folder.id; });
} M_RETHROW("int GDatabase::getFolders(MList& _folders)")

int GDatabase::getChildFolders(int _parent_folder, MList& _folders) try {
  return tables->folders.collect(
      _folders,
      [_parent_folder](const uchar* _record) {
        return GRecordBytes::getInt(_record, GFolderRecord::ID) > 0 &&
               GRecordBytes::getInt(_record, GFolderRecord::PARENT_ID) == _parent_folder;
      },
      [](const GFolder& _folder, const uchar*) {
        return MString::format("%s:%d", _folder.name.getValue(), _folder.id);
      });
} M_RETHROW("int GDatabase::getChildFolders(int _parent_folder,MList& _folders)")

bool GDatabase::hasChildFolders(int _parent_folder) try {
  return getNumOfChildFolders(_parent_folder) > 0;
} M_RETHROW("bool GDatabase::hasChildFolders(int _parent_folder)")

int GDatabase::getNumOfChildFolders(int _parent_folder) try {
  return tables->folders.count([_parent_folder](const uchar* _record) {
    return GFolderRecord::inUse(_record) &&
           GRecordBytes::getInt(_record, GFolderRecord::PARENT_ID) == _parent_folder;
  });
} M_RETHROW("int GDatabase::getNumOfChildFolders(int _parent_folder)")

// The walks up the tree stop at a folder seen before, so a parent chain damaged into a cycle
// ends instead of looping for ever.
void GDatabase::getParentFolders(int _folder, MList& _folders) try {
  MMutexLock lock(mutex);
  GResultList result(_folders, true);
  GFolder current;
  if (_folder == 0 || getFolder(_folder, current) < 0) return;
  while (current.parentId != 0) {
    GFolder parent;
    if (getFolder(current.parentId, parent) < 0) return;
    if (parent.id == _folder || _folders.getObject(parent.id) != nullptr) return;
    result.add(parent.id, new GFolder(parent));
    current = parent;
  }
} M_RETHROW("void GDatabase::getParentFolders(int _folder,MList& _folders)")

bool GDatabase::isChildFolder(int _folder_id, int _parent_id) try {
  MMutexLock lock(mutex);
  int steps = folderFile.getRecordCount() + 1;
  int current = _folder_id;
  while (steps-- > 0) {
    GFolder folder;
    if (current == 0 || getFolder(current, folder) < 0 || folder.id < 0 || folder.parentId < 0) {
      return false;
    }
    if (folder.parentId == _parent_id) return true;
    current = folder.parentId;
  }
  return false;
} M_RETHROW("bool GDatabase::isChildFolder(int _folder_id,int _parent_id)")

MString GDatabase::getFolderPath(int _folder_id) try {
  MMutexLock lock(mutex);
  MString path("/");
  GFolder folder;
  if (_folder_id == 0 || getFolder(_folder_id, folder) < 0) return path;
  MList ancestors;
  getParentFolders(_folder_id, ancestors);
  for (MItem* item = ancestors.getLastItem(); item != nullptr; item = ancestors.getPrevItem(item)) {
    path += ((GFolder*)item->object)->name;
    path += "/";
  }
  path += folder.name;
  return path;
} M_RETHROW("MString GDatabase::getFolderPath(int _folder_id)")

// ---------------------------------------------------------------------------------------
// Folder-image links

int GDatabase::findFolderImage(int _folder_id, int _image_id, GImageFolderRec& _rec,
                               int& _emptyIdx) try {
  MMutexLock lock(mutex);
  // As a scan from the first record would find them: the free record seen before the link
  // (-1 when there is none before it), or the first free one (or the end) without a link.
  _emptyIdx = tables->links.firstFree();
  for (int link : linksWith(GImageFolderRec::IMAGE, _image_id)) {
    const uchar* record = folderImageFile.record(link);
    if (GRecordBytes::getInt(record, GImageFolderRec::FOLDER) == _folder_id) {
      _rec.decode(record);
      if (_emptyIdx >= link) _emptyIdx = -1;
      return link;
    }
  }
  return -1;
} M_RETHROW("int GDatabase::findFolderImage(int _folder_id,int _image_id,GImageFolderRec &_rec,int &_emptyIdx)")

// The compound link operations hold the (re-entrant) mutex across their look-ups and their
// write, so that no other operation can slip in between.
void GDatabase::addFolderImage(int _folder_id, int _image_id, GImageStatus _status) try {
  MMutexLock lock(mutex);
  GImage image;
  if (getImage(_image_id, image) < 0) return;
  GImageFolderRec existing;
  int emptyIdx;
  if (findFolderImage(_folder_id, _image_id, existing, emptyIdx) >= 0) return;
  GImageFolderRec link;
  link.creationTime = nextCreationTime(lastLinkTime);
  link.folder = _folder_id;
  link.user = image.user;
  link.image = _image_id;
  link.status = _status;
  tables->links.add(link);
} M_RETHROW("void GDatabase::addFolderImage(int _folder_id, int _image_id,GImageStatus _status)")

void GDatabase::deleteFolderImage(int _folder_id, int _image_id) try {
  MMutexLock lock(mutex);
  GImageFolderRec link;
  int emptyIdx;
  int index = findFolderImage(_folder_id, _image_id, link, emptyIdx);
  if (index >= 0) tables->links.remove(index);
} M_RETHROW("void GDatabase::deleteFolderImage(int _folder_id,int _image_id)")

void GDatabase::deleteImageFolders(int _image_id) try {
  MMutexLock lock(mutex);
  freeLinks(GImageFolderRec::IMAGE, _image_id);
} M_RETHROW("void GDatabase::deleteImageFolders(int _image_id)")

void GDatabase::deleteFolderImages(int _folder_id) try {
  MMutexLock lock(mutex);
  freeLinks(GImageFolderRec::FOLDER, _folder_id);
} M_RETHROW("void GDatabase::deleteFolderImages(int _folder_id)")

void GDatabase::setLinkStatus(int _folder_id, int _image_id, GImageStatus _status) {
  GImageFolderRec link;
  int emptyIdx;
  int index = findFolderImage(_folder_id, _image_id, link, emptyIdx);
  if (index < 0) return;
  link.status = _status;
  tables->links.update(index, link);
}

void GDatabase::acceptFolderImage(int _folder_id, int _image_id) try {
  MMutexLock lock(mutex);
  setLinkStatus(_folder_id, _image_id, GIMAGE_ACCEPTED);
} M_RETHROW("void GDatabase::acceptFolderImage(int _folder_id, int _image_id)")

void GDatabase::denyFolderImage(int _folder_id, int _image_id) try {
  MMutexLock lock(mutex);
  setLinkStatus(_folder_id, _image_id, GIMAGE_DENIED);
} M_RETHROW("void GDatabase::denyFolderImage(int _folder_id, int _image_id)")

void GDatabase::getFolderImages(int _folder_id, MList& _imageFolders) try {
  tables->links.collect(
      _imageFolders,
      [this, _folder_id](const uchar* _record) {
        if (GRecordBytes::getInt(_record, GImageFolderRec::FOLDER) != _folder_id) return false;
        const uchar* image = linkedImage(_record);
        return image != nullptr && image[GImageRecord::STATUS] == GIMAGE_ACCEPTED;
      },
      [](const GImageFolder&, const uchar* _record) { return creationTime(_record); });
} M_RETHROW("void GDatabase::getFolderImages(int _folder_id,MList& _imageFolders)")

int GDatabase::getNumOfFolderImages(int _folder_id) try {
  return tables->links.count([_folder_id](const uchar* _record) {
    return GRecordBytes::getInt(_record, GImageFolderRec::FOLDER) == _folder_id &&
           GRecordBytes::getInt(_record, GImageFolderRec::IMAGE) >= 0;
  });
} M_RETHROW("int GDatabase::getNumOfFolderImages(int _folder_id)")

void GDatabase::getWaitingFolderImages(MList& _imageFolders) try {
  tables->links.collect(
      _imageFolders,
      [this](const uchar* _record) {
        return GImageFolderRec::inUse(_record) &&
               _record[GImageFolderRec::STATUS] == GIMAGE_WAITING &&
               linkedImage(_record) != nullptr;
      },
      [](const GImageFolder&, const uchar* _record) { return creationTime(_record); });
} M_RETHROW("void GDatabase::getWaitingFolderImages(MList& _imageFolders)")

void GDatabase::getFolderImages(int _folder_id, int _user_id, MList& _images) try {
  MMutexLock lock(mutex);
  GResultList result(_images, true);
  GRecordScanner scanner(folderImageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageFolderRec::FOLDER) != _folder_id) continue;
    if (GRecordBytes::getInt(record, GImageFolderRec::USER) != _user_id) continue;
    const uchar* image = linkedImage(record);
    if (image == nullptr) continue;
    GImage* found = new GImage();
    GImageRecord::decode(image, *found);
    result.add(found->id, found);
  }
} M_RETHROW("void GDatabase::getFolderImages(int _folder_id, int _user_id,MList& _images)")

int GDatabase::getFolderImage(int _folder_id, int _image_id, GImageFolder& _imageFolder) try {
  MMutexLock lock(mutex);
  GImageFolderRec link;
  int emptyIdx;
  int index = findFolderImage(_folder_id, _image_id, link, emptyIdx);
  if (index < 0) return -1;
  copyLink(link, _imageFolder);
  return index;
} M_RETHROW("int GDatabase::getFolderImage(int _folder_id, int _image_id,GImageFolder& _imageFolder)")

// ---------------------------------------------------------------------------------------
// Dump

void GDatabase::htmlDump(const char* _filename) try {
  MMutexLock lock(mutex);
  const char* name = _filename ? _filename : "";
  FILE* out = fopen(name, "wb");
  if (out == nullptr) {
    fprintf(stderr, "GDatabase::htmlDump(): Cannot open file (%s)!\n", name);
    return;
  }
  try {
    GDatabaseDump(userFile, folderFile, imageFile, folderImageFile)
        .withShareLinks(shareLinkFile)
        .write(out);
  } catch (...) {
    fclose(out);
    throw;
  }
  // A dump cut short by a full disk must not pass for a complete one.
  bool failed = ferror(out) != 0;
  if (fclose(out) != 0 || failed) {
    throw MException("### FILE ###",
                     MString::format("Cannot write the file (%s)!", name).getValue());
  }
} M_RETHROW("void GDatabase::htmlDump(char *_filename)")

// ---------------------------------------------------------------------------------------
// Links for people without an account

int GDatabase::addShareLink(GShareLink& _link) try {
  _link.id = tables->shareLinks.add(_link);
  return _link.id;
} M_RETHROW("int GDatabase::addShareLink(GShareLink& _link)")

int GDatabase::getShareLink(int _link_id, GShareLink& _link) try {
  return tables->shareLinks.get(_link_id, _link) ? _link_id : -1;
} M_RETHROW("int GDatabase::getShareLink(int _link_id,GShareLink& _link)")

int GDatabase::findShareLink(const uchar* _token, GShareLink& _link) try {
  MMutexLock lock(mutex);
  // Every record is compared whole, whichever matches: the time tells nothing of the token.
  int found = -1;
  GRecordScanner scanner(shareLinkFile);
  while (const uchar* record = scanner.next()) {
    bool same = GShareLink::sameToken(record + GShareLinkRecord::TOKEN, _token);
    if (same && GShareLinkRecord::inUse(record)) found = scanner.getIndex();
  }
  if (found < 0) return -1;
  GShareLinkRecord::decode(shareLinkFile.record(found), _link);
  return found;
} M_RETHROW("int GDatabase::findShareLink(const uchar* _token,GShareLink& _link)")

int GDatabase::getShareLinks(int _maker, MList& _links) try {
  return tables->shareLinks.collect(
      _links,
      [_maker](const uchar* _record) {
        return GShareLinkRecord::inUse(_record) &&
               (_maker < 0 || GRecordBytes::getInt(_record, GShareLinkRecord::MAKER) == _maker);
      },
      [](const GShareLink& _link, const uchar*) { return _link.id; });
} M_RETHROW("int GDatabase::getShareLinks(int _maker,MList& _links)")

bool GDatabase::changeShareLink(int _link_id,
                                const std::function<void(GShareLink&)>& _change) try {
  return tables->shareLinks.change(_link_id, [&](uchar* _record) {
    GShareLink link;
    GShareLinkRecord::decode(_record, link);
    _change(link);
    memcpy(link.token, _record + GShareLinkRecord::TOKEN, GShareLink::TOKEN_BYTES);
    GShareLinkRecord::store(link, _link_id, _record);
  });
} M_RETHROW("bool GDatabase::changeShareLink(int _link_id,const std::function<void(GShareLink&)>& _change)")

void GDatabase::endShareLinks(const std::function<bool(const GShareLink&)>& _which,
                              int _state) {
  MMutexLock lock(mutex);
  std::vector<int> ending;
  GRecordScanner scanner(shareLinkFile);
  while (const uchar* record = scanner.next()) {
    if (!GShareLinkRecord::inUse(record) || record[GShareLinkRecord::STATE] != GShareLink::LIVE) {
      continue;
    }
    GShareLink link;
    GShareLinkRecord::decode(record, link);
    if (_which(link)) ending.push_back(scanner.getIndex());
  }
  // One write of the state byte each, and one sync for all.
  const uchar state = (uchar)_state;
  for (int index : ending) shareLinkFile.write(index, GShareLinkRecord::STATE, &state, 1);
  if (!ending.empty()) shareLinkFile.sync();
}

void GDatabase::sweepShareLinks() {
  endShareLinks(
      [this](const GShareLink& _link) {
        GUser maker;
        return !tables->users.get(_link.maker, maker);
      },
      GShareLink::MAKER_GONE);
  endShareLinks(
      [this](const GShareLink& _link) {
        if (_link.kind == GShareLink::PICTURE) {
          GImage image;
          return !tables->images.get(_link.target, image);
        }
        GFolder folder;
        return _link.kind != GShareLink::FOLDER || _link.target <= 0 ||
               !tables->folders.get(_link.target, folder);
      },
      GShareLink::TARGET_GONE);
}
