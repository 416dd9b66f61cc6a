#include "db/GDatabase.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "db/GDatabaseDump.h"
#include "db/GFolderRecord.h"
#include "db/GImageRecord.h"
#include "db/GKeywordMatcher.h"
#include "db/GPasswordHash.h"
#include "db/GRecordBytes.h"
#include "db/GRecordScanner.h"
#include "db/GResultList.h"
#include "db/GUserRecord.h"
#include "lib/core/MCoordinate2D.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/platform/MClock.h"

namespace {

bool inUse(const uchar* _record) { return GRecordBytes::getInt(_record, 0) >= 0; }

void copyLink(const GImageFolderRec& _link, GImageFolder& _imageFolder) {
  _imageFolder.folder = _link.folder;
  _imageFolder.user = _link.user;
  _imageFolder.image = _link.image;
  _imageFolder.status = _link.status;
}

}  // namespace

GDatabase::GDatabase()
    : imageFile(GImageRecord::SIZE),
      folderImageFile(GImageFolderRec::SIZE),
      userFile(GUserRecord::SIZE),
      folderFile(GFolderRecord::SIZE),
      indexes(userFile, imageFile, folderFile, folderImageFile),
      lastImageTime(0),
      lastLinkTime(0) {
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
}

// ---------------------------------------------------------------------------------------
// Opening and creating the files

void GDatabase::init(const char* _directory) try {
  MMutexLock lock(mutex);
  directory = _directory;
  openFile(imageFile, "%s/database/image.db", "ERROR: Cannot create the image file (%s)!\n",
           false);
  openFile(folderImageFile, "%s/database/folderImage.db",
           "ERROR: Cannot create the image folder file (%s)!\n", false);
  openFile(folderFile, "%s/database/folder.db", "ERROR: Cannot create the folder file (%s)!\n",
           true);
  openFile(userFile, "%s/database/user.db", "ERROR: Cannot create the user file (%s)!\n", true);
  indexes.rebuild();
  hashClearPasswords();
  seedCreationTimes();
} M_RETHROW("void GDatabase::init(char *_directory)")

// A new folder or user file is made complete under a temporary name (with its first
// records) and then renamed into place, so a crash during the first start never leaves a
// file without its root folder or its two accounts.
void GDatabase::openFile(GRecordFile& _file, const char* _format, const char* _message,
                         bool _seeded) {
  MString path = MString::format(_format, directory.getValue());
  if (_file.openExisting(path.getValue())) return;
  bool created = false;
  MString staged = _seeded ? MString(path.getValue(), ".new") : path;
  if (errno == ENOENT) {
    if (_seeded) unlink(staged.getValue());
    created = _file.createNew(staged.getValue());
  }
  if (!created) {
    fprintf(stderr, _message, path.getValue());
    exit(1);
  }
  MString databaseDir = MString::format("%s/database", directory.getValue());
  if (!_seeded) {
    GRecordFile::syncDirectory(databaseDir.getValue());
    return;
  }
  if (&_file == &folderFile) {
    GFolder root;
    root.name = "Folders";
    root.parentId = -1;
    root.ownerId = 0;
    root.enabled = true;
    root.imageFolder = false;
    addFolder(root);
  } else {
    GUser admin;
    admin.type = 1;
    admin.enabled = true;
    admin.username = "admin";
    admin.password = GPasswordHash::hash("tarbo");
    admin.firstname = "System";
    admin.lastname = "Administrator";
    admin.imageLimit = 10000;
    admin.imageAccept = false;
    admin.folderAccept = false;
    admin.folderAdmin = true;
    admin.imageUpload = false;
    admin.imageDownload = true;
    addUser(admin);
    GUser guest;
    guest.type = 0;
    guest.enabled = true;
    guest.username = "guest";
    guest.password = GPasswordHash::hash("plivo");
    guest.firstname = "User";
    guest.lastname = "Guest";
    guest.language = "eng";
    guest.imageLimit = 0;
    guest.imageAccept = true;
    guest.folderAccept = true;
    guest.folderAdmin = false;
    guest.imageUpload = false;
    guest.imageDownload = false;
    addUser(guest);
  }
  _file.sync();
  if (rename(staged.getValue(), path.getValue()) != 0) {
    fprintf(stderr, _message, path.getValue());
    exit(1);
  }
  _file.setPath(path.getValue());
  GRecordFile::syncDirectory(databaseDir.getValue());
}

// Creation times must stay unique even when the clock was set back between two runs, since
// the result lists are keyed by them: the counters start from the latest time on file.
void GDatabase::seedCreationTimes() {
  GRecordScanner images(imageFile);
  while (const uchar* record = images.next()) {
    uint t = GRecordBytes::getUInt(record, GImageRecord::CREATION_TIME);
    if (inUse(record) && t > lastImageTime) lastImageTime = t;
  }
  GRecordScanner links(folderImageFile);
  while (const uchar* record = links.next()) {
    uint t = GRecordBytes::getUInt(record, GImageFolderRec::CREATION_TIME);
    if (t > lastLinkTime) lastLinkTime = t;
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

// ---------------------------------------------------------------------------------------
// Record changes in crash-safe order

void GDatabase::addRecord(GRecordFile& _file, int _index, uchar* _record) {
  uchar id[4];
  memcpy(id, _record, 4);
  GRecordBytes::putInt(_record, 0, -1);
  _file.writeRecord(_index, _record);
  _file.sync();
  _file.write(_index, 0, id, 4);
  _file.sync();
  memcpy(_record, id, 4);
}

void GDatabase::freeRecord(GRecordFile& _file, int _index, uchar* _record) {
  uchar freeId[4];
  GRecordBytes::putInt(freeId, 0, -1);
  _file.write(_index, 0, freeId, 4);
  _file.sync();
  GRecordBytes::putInt(_record, 0, -1);
  _file.writeRecord(_index, _record);
  _file.sync();
}

void GDatabase::updateRecord(GRecordFile& _file, int _index, const uchar* _record) {
  _file.writeRecord(_index, _record);
  _file.sync();
}

// A direct read that hits: the whole record is there and in use under that id.
bool GDatabase::readHit(GRecordFile& _file, int _id, uchar* _record) {
  return _id >= 0 && _file.readRecord(_id, _record) && GRecordBytes::getInt(_record, 0) == _id;
}

int GDatabase::findFreeRecord(GRecordFile& _file) { return indexes.firstFree(_file); }

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
    if (!inUse(record)) continue;
    MString password = GRecordBytes::getText(record, GUserRecord::PASSWORD, 29);
    if (password.getLength() > 0 && !GPasswordHash::isHash(password)) {
      clear.push_back(scanner.getIndex());
    }
  }
  for (int index : clear) {
    uchar record[GUserRecord::SIZE];
    if (!readHit(userFile, index, record)) continue;
    GUser user;
    GUserRecord::decode(record, user);
    user.password = GPasswordHash::hash(user.password);
    GUserRecord::encode(user, record);
    updateRecord(userFile, index, record);
  }
  if (!clear.empty()) {
    fprintf(stderr, "Hashed the clear passwords of %d accounts.\n", (int)clear.size());
  }
}

int GDatabase::addUser(GUser& _user) try {
  MMutexLock lock(mutex);
  int id = findFreeRecord(userFile);
  GUser stored(_user);
  stored.id = id;
  uchar record[GUserRecord::SIZE];
  GUserRecord::encode(stored, record);
  addRecord(userFile, id, record);
  _user.id = id;
  return id;
} M_RETHROW("int GDatabase::addUser(GUser& _user)")

int GDatabase::deleteUser(int _user_id) try {
  MMutexLock lock(mutex);
  if (_user_id < 2) return -1;
  uchar record[GUserRecord::SIZE];
  if (!readHit(userFile, _user_id, record)) return -1;
  memset(record, 0, sizeof record);
  freeRecord(userFile, _user_id, record);
  return _user_id;
} M_RETHROW("int GDatabase::deleteUser(int _user_id)")

int GDatabase::getUser(int _user_id, GUser& _user) try {
  MMutexLock lock(mutex);
  uchar record[GUserRecord::SIZE];
  if (!readHit(userFile, _user_id, record)) return -1;
  GUserRecord::decode(record, _user);
  return _user_id;
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
  MMutexLock lock(mutex);
  GResultList result(_users, true);
  GRecordScanner scanner(userFile);
  while (const uchar* record = scanner.next()) {
    if (!inUse(record)) continue;
    GUser* user = new GUser();
    GUserRecord::decode(record, *user);
    MString key = MString::format("%s:%s:%s:%d", user->lastname.getValue(),
                                  user->firstname.getValue(), user->username.getValue(), user->id);
    result.add((const char*)key.getValue(), user);
  }
  return _users.getLength();
} M_RETHROW("int GDatabase::getUsers(MList& _users)")

int GDatabase::updateUser(int _user_id, GUser& _user) try {
  MMutexLock lock(mutex);
  uchar record[GUserRecord::SIZE];
  if (!readHit(userFile, _user_id, record)) return -1;
  GUser stored(_user);
  stored.id = _user_id;
  GUserRecord::encode(stored, record);
  updateRecord(userFile, _user_id, record);
  return _user_id;
} M_RETHROW("int GDatabase::updateUser(int _user_id,GUser& _user)")

// ---------------------------------------------------------------------------------------
// Images

int GDatabase::addImage(GImage& _image) try {
  MMutexLock lock(mutex);
  int id = findFreeRecord(imageFile);
  GImage stored(_image);
  stored.id = id;
  uchar record[GImageRecord::SIZE];
  GImageRecord::encode(stored, nextCreationTime(lastImageTime), record);
  addRecord(imageFile, id, record);
  _image.id = id;
  return id;
} M_RETHROW("int GDatabase::addImage(GImage& _image)")

int GDatabase::getImage(int _image_id, GImage& _image) try {
  MMutexLock lock(mutex);
  uchar record[GImageRecord::SIZE];
  if (!readHit(imageFile, _image_id, record)) return -1;
  GImageRecord::decode(record, _image);
  return _image_id;
} M_RETHROW("int GDatabase::getImage(int _image_id,GImage& _image)")

int GDatabase::updateImage(int _image_id, GImage& _image) try {
  MMutexLock lock(mutex);
  uchar record[GImageRecord::SIZE];
  if (!readHit(imageFile, _image_id, record)) return -1;
  // The record keeps its number as id whatever the object says, so that a stale object can
  // never make the record unreachable.
  GImage stored(_image);
  stored.id = _image_id;
  uint creationTime = GRecordBytes::getUInt(record, GImageRecord::CREATION_TIME);
  GImageRecord::encode(stored, creationTime, record);
  updateRecord(imageFile, _image_id, record);
  return _image_id;
} M_RETHROW("int GDatabase::updateImage(int _image_id,GImage& _image)")

int GDatabase::setImageStatus(int _image_id, GImageStatus _status) {
  MMutexLock lock(mutex);
  uchar record[GImageRecord::SIZE];
  if (!readHit(imageFile, _image_id, record)) return -1;
  record[GImageRecord::STATUS] = _status;
  updateRecord(imageFile, _image_id, record);
  return _image_id;
}

int GDatabase::acceptImage(int _image_id) try {
  return setImageStatus(_image_id, GIMAGE_ACCEPTED);
} M_RETHROW("int GDatabase::acceptImage(int _image_id)")

int GDatabase::denyImage(int _image_id) try {
  return setImageStatus(_image_id, GIMAGE_DENIED);
} M_RETHROW("int GDatabase::denyImage(int _image_id)")

int GDatabase::deleteImage(int _image_id) try {
  MMutexLock lock(mutex);
  uchar record[GImageRecord::SIZE];
  if (!readHit(imageFile, _image_id, record)) return -1;
  memset(record, 0, sizeof record);
  freeRecord(imageFile, _image_id, record);
  return _image_id;
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
  GRecordScanner scanner(imageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageRecord::USER) != _user_id) continue;
    if (memcmp(record, cleared, sizeof cleared) == 0) continue;  // nothing would change
    imageFile.write(scanner.getIndex(), GImageRecord::ID, freeId, 4);
    freed.push_back(scanner.getIndex());
  }
  if (freed.empty()) return;
  imageFile.sync();
  for (int index : freed) imageFile.writeRecord(index, cleared);
  imageFile.sync();
} M_RETHROW("void GDatabase::deleteUserImages(int _user_id)")

int GDatabase::getUserImages(int _user_id, MList& _images) try {
  MMutexLock lock(mutex);
  GResultList result(_images, true);
  GRecordScanner scanner(imageFile);
  while (const uchar* record = scanner.next()) {
    if (!inUse(record) || GRecordBytes::getInt(record, GImageRecord::USER) != _user_id) continue;
    GImage* image = new GImage();
    GImageRecord::decode(record, *image);
    result.add(GRecordBytes::getUInt(record, GImageRecord::CREATION_TIME), image);
  }
  return _images.getLength();
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

int GDatabase::getImagesByKeywords(MList& _words, MList& _images) try {
  MMutexLock lock(mutex);
  std::vector<std::string> words;
  for (MItem* item = _words.getFirstItem(); item != nullptr; item = _words.getNextItem(item)) {
    words.push_back(item->object != nullptr ? item->object->toString().getValue() : "");
  }
  GResultList result(_images, true);
  GKeywordMatcher matcher(words);
  if (matcher.matchesNothing()) return 0;
  std::vector<int> found;
  indexes.matchKeywords(GIMAGE_ACCEPTED, matcher, found);
  for (int record : found) {
    GImage* image = new GImage();
    GImageRecord::decode(imageFile.record(record), *image);
    result.add(image->id, image);
  }
  return _images.getLength();
} M_RETHROW("int GDatabase::getImagesByKeywords(MList& _words,MList& _images)")

int GDatabase::getImagesByStatus(uchar _status, MList& _images) try {
  MMutexLock lock(mutex);
  GResultList result(_images, false);
  GRecordScanner scanner(imageFile);
  while (const uchar* record = scanner.next()) {
    if (!inUse(record) || record[GImageRecord::STATUS] != _status) continue;
    GImage* image = new GImage();
    GImageRecord::decode(record, *image);
    result.add(image->id, image);
  }
  return _images.getLength();
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
  if (_folder_id < 0) return 0;
  const std::vector<int>& links = indexes.folderLinks(_folder_id);
  int count = 0;
  for (auto at = links.rbegin(); at != links.rend(); ++at) {
    GImageFolderRec link;
    link.decode(folderImageFile.record(*at));
    if (link.image < 0 || (_acceptedOnly && link.status != GIMAGE_ACCEPTED)) continue;
    const uchar* image = imageFile.record(link.image);
    if (image == nullptr || GRecordBytes::getInt(image, GImageRecord::ID) != link.image ||
        image[GImageRecord::STATUS] != GIMAGE_ACCEPTED) {
      continue;
    }
    if (count >= _first && count - _first < _max) {
      GImageFolder* imageFolder = new GImageFolder();
      copyLink(link, *imageFolder);
      result.addRising(count, imageFolder);
    }
    count++;
  }
  return count;
} M_RETHROW("int GDatabase::getFolderImagesPage(int _folder_id,bool _acceptedOnly,int _first,int _max,MList& _imageFolders)")

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
  MMutexLock lock(mutex);
  GResultList result(_imageFolders, true);
  GRecordScanner scanner(folderImageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageFolderRec::USER) != _user_id) continue;
    GImageFolderRec link;
    link.decode(record);
    GImageFolder* imageFolder = new GImageFolder();
    copyLink(link, *imageFolder);
    result.add((MObject*)new MCoordinate2D(link.folder, link.image), imageFolder);
  }
  return _imageFolders.getLength();
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
  MMutexLock lock(mutex);
  int id = findFreeRecord(folderFile);
  GFolder stored(_folder);
  stored.id = id;
  uchar record[GFolderRecord::SIZE];
  GFolderRecord::encode(stored, record);
  addRecord(folderFile, id, record);
  _folder.id = id;
  return id;
} M_RETHROW("int GDatabase::addFolder(GFolder& _folder)")

int GDatabase::updateFolder(int _folder_id, GFolder& _folder) try {
  MMutexLock lock(mutex);
  uchar record[GFolderRecord::SIZE];
  if (_folder_id <= 0 || !readHit(folderFile, _folder_id, record)) return -1;
  GFolder stored(_folder);
  stored.id = _folder_id;
  GFolderRecord::encode(stored, record);
  updateRecord(folderFile, _folder_id, record);
  return _folder_id;
} M_RETHROW("int GDatabase::updateFolder(int _folder_id,GFolder& _folder)")

int GDatabase::deleteFolder(int _folder_id) try {
  MMutexLock lock(mutex);
  uchar record[GFolderRecord::SIZE];
  if (_folder_id <= 0 || !readHit(folderFile, _folder_id, record)) return -1;
  memset(record, 0, sizeof record);
  freeRecord(folderFile, _folder_id, record);
  return _folder_id;
} M_RETHROW("int GDatabase::deleteFolder(int _folder_id)")

int GDatabase::getFolder(int _folder_id, GFolder& _folder) try {
  MMutexLock lock(mutex);
  uchar record[GFolderRecord::SIZE];
  if (_folder_id <= 0 || !readHit(folderFile, _folder_id, record)) return -1;
  GFolderRecord::decode(record, _folder);
  return _folder_id;
} M_RETHROW("int GDatabase::getFolder(int _folder_id,GFolder& _folder)")

void GDatabase::changeFolderOwners(int _oldOwner, int _newOwner) try {
  MMutexLock lock(mutex);
  bool changed = false;
  GRecordScanner scanner(folderFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GFolderRecord::OWNER_ID) != _oldOwner) continue;
    if (_oldOwner == _newOwner) continue;
    uchar owner[4];
    GRecordBytes::putInt(owner, 0, _newOwner);
    folderFile.write(scanner.getIndex(), GFolderRecord::OWNER_ID, owner, 4);
    changed = true;
  }
  if (changed) folderFile.sync();
} M_RETHROW("void GDatabase::changeFolderOwners(int _oldOwner,int _newOwner)")

int GDatabase::getFolders(MList& _folders) try {
  MMutexLock lock(mutex);
  GResultList result(_folders, true);
  GRecordScanner scanner(folderFile);
  while (const uchar* record = scanner.next()) {
    if (!inUse(record)) continue;
    GFolder* folder = new GFolder();
    GFolderRecord::decode(record, *folder);
    result.add(folder->id, folder);
  }
  return _folders.getLength();
} M_RETHROW("int GDatabase::getFolders(MList& _folders)")

int GDatabase::getChildFolders(int _parent_folder, MList& _folders) try {
  MMutexLock lock(mutex);
  GResultList result(_folders, true);
  GRecordScanner scanner(folderFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GFolderRecord::ID) <= 0 ||
        GRecordBytes::getInt(record, GFolderRecord::PARENT_ID) != _parent_folder) {
      continue;
    }
    GFolder* folder = new GFolder();
    GFolderRecord::decode(record, *folder);
    MString key = MString::format("%s:%d", folder->name.getValue(), folder->id);
    result.add((const char*)key.getValue(), folder);
  }
  return _folders.getLength();
} M_RETHROW("int GDatabase::getChildFolders(int _parent_folder,MList& _folders)")

bool GDatabase::hasChildFolders(int _parent_folder) try {
  return getNumOfChildFolders(_parent_folder) > 0;
} M_RETHROW("bool GDatabase::hasChildFolders(int _parent_folder)")

int GDatabase::getNumOfChildFolders(int _parent_folder) try {
  MMutexLock lock(mutex);
  int count = 0;
  GRecordScanner scanner(folderFile);
  while (const uchar* record = scanner.next()) {
    if (inUse(record) && GRecordBytes::getInt(record, GFolderRecord::PARENT_ID) == _parent_folder) {
      count++;
    }
  }
  return count;
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
  _emptyIdx = indexes.firstFree(folderImageFile);
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
  // The whole record goes down still free; then folder, user and image mark it in use.
  GImageFolderRec link;
  link.creationTime = nextCreationTime(lastLinkTime);
  link.user = image.user;
  link.status = _status;
  uchar record[GImageFolderRec::SIZE];
  link.encode(record);
  folderImageFile.writeRecord(emptyIdx, record);
  folderImageFile.sync();
  uchar mark[12];
  GRecordBytes::putInt(mark, 0, _folder_id);
  GRecordBytes::putInt(mark, 4, image.user);
  GRecordBytes::putInt(mark, 8, _image_id);
  folderImageFile.write(emptyIdx, GImageFolderRec::FOLDER, mark, sizeof mark);
  folderImageFile.sync();
} M_RETHROW("void GDatabase::addFolderImage(int _folder_id, int _image_id,GImageStatus _status)")

void GDatabase::deleteFolderImage(int _folder_id, int _image_id) try {
  MMutexLock lock(mutex);
  GImageFolderRec link;
  int emptyIdx;
  int index = findFolderImage(_folder_id, _image_id, link, emptyIdx);
  if (index < 0 || link.isFree()) return;
  uchar freed[12];
  GRecordBytes::putInt(freed, 0, -1);
  GRecordBytes::putInt(freed, 4, -1);
  GRecordBytes::putInt(freed, 8, -1);
  folderImageFile.write(index, GImageFolderRec::FOLDER, freed, sizeof freed);
  folderImageFile.sync();
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
  if (index < 0 || link.isFree()) return;
  link.status = _status;
  uchar record[GImageFolderRec::SIZE];
  link.encode(record);
  folderImageFile.writeRecord(index, record);
  folderImageFile.sync();
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
  MMutexLock lock(mutex);
  GResultList result(_imageFolders, true);
  uchar image[GImageRecord::SIZE];
  GRecordScanner scanner(folderImageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageFolderRec::FOLDER) != _folder_id) continue;
    GImageFolderRec link;
    link.decode(record);
    if (link.image < 0) continue;
    if (!readHit(imageFile, link.image, image) || image[GImageRecord::STATUS] != GIMAGE_ACCEPTED) {
      continue;
    }
    GImageFolder* imageFolder = new GImageFolder();
    copyLink(link, *imageFolder);
    result.add(link.creationTime, imageFolder);
  }
} M_RETHROW("void GDatabase::getFolderImages(int _folder_id,MList& _imageFolders)")

int GDatabase::getNumOfFolderImages(int _folder_id) try {
  MMutexLock lock(mutex);
  int count = 0;
  GRecordScanner scanner(folderImageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageFolderRec::FOLDER) == _folder_id &&
        GRecordBytes::getInt(record, GImageFolderRec::IMAGE) >= 0) {
      count++;
    }
  }
  return count;
} M_RETHROW("int GDatabase::getNumOfFolderImages(int _folder_id)")

void GDatabase::getWaitingFolderImages(MList& _imageFolders) try {
  MMutexLock lock(mutex);
  GResultList result(_imageFolders, true);
  uchar image[GImageRecord::SIZE];
  GRecordScanner scanner(folderImageFile);
  while (const uchar* record = scanner.next()) {
    GImageFolderRec link;
    link.decode(record);
    if (link.isFree() || link.status != GIMAGE_WAITING || link.image < 0) continue;
    if (!readHit(imageFile, link.image, image)) continue;
    GImageFolder* imageFolder = new GImageFolder();
    copyLink(link, *imageFolder);
    result.add(link.creationTime, imageFolder);
  }
} M_RETHROW("void GDatabase::getWaitingFolderImages(MList& _imageFolders)")

void GDatabase::getFolderImages(int _folder_id, int _user_id, MList& _images) try {
  MMutexLock lock(mutex);
  GResultList result(_images, true);
  uchar image[GImageRecord::SIZE];
  GRecordScanner scanner(folderImageFile);
  while (const uchar* record = scanner.next()) {
    if (GRecordBytes::getInt(record, GImageFolderRec::FOLDER) != _folder_id) continue;
    GImageFolderRec link;
    link.decode(record);
    if (link.user != _user_id || link.image < 0) continue;
    if (!readHit(imageFile, link.image, image)) continue;
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
    GDatabaseDump(userFile, folderFile, imageFile, folderImageFile).write(out);
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
