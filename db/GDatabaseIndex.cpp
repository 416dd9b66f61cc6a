#include "db/GDatabaseIndex.h"

#include <algorithm>
#include <cstring>

#include "db/GImageFolderRec.h"
#include "db/GImageRecord.h"
#include "db/GKeywordMatcher.h"
#include "db/GNumberedRecord.h"
#include "db/GRecordBytes.h"
#include "db/GRecordFile.h"
#include "db/GUserRecord.h"

namespace {

enum { USERS, IMAGES, FOLDERS, LINKS };

bool isFree(int _file, const uchar* _record) {
  return _file == LINKS ? !GImageFolderRec::inUse(_record) : !GNumberedRecord::inUse(_record);
}

std::string userName(const uchar* _record) {
  const char* name = (const char*)_record + GUserRecord::USERNAME;
  return std::string(name, strnlen(name, 39));
}

}  // namespace

GDatabaseIndex::GDatabaseIndex(GRecordFile& _users, GRecordFile& _images, GRecordFile& _folders,
                               GRecordFile& _links)
    : files{&_users, &_images, &_folders, &_links}, imagesInUse(0) {}

GDatabaseIndex::~GDatabaseIndex() {}

int GDatabaseIndex::which(GRecordFile& _file) const {
  for (int i = 0; i < 4; ++i) {
    if (files[i] == &_file) return i;
  }
  return -1;
}

void GDatabaseIndex::rebuild() {
  for (std::set<int>& set : free) set.clear();
  usersByName.clear();
  imagesByUser.clear();
  imagesByStatus.clear();
  linksByFolder.clear();
  linksByImage.clear();
  imagesInUse = 0;
  words.clear(files[IMAGES]->getRecordCount());

  // In record order every list is filled by appends; the image lists by time are sorted at
  // the end instead of one insertion at a time.
  for (int f = 0; f < 4; ++f) {
    GRecordFile& file = *files[f];
    int count = file.getRecordCount();
    for (int i = 0; i < count; ++i) {
      const uchar* record = file.record(i);
      if (isFree(f, record)) free[f].insert(free[f].end(), i);
      if (f == USERS && !isFree(f, record)) usersByName[userName(record)].push_back(i);
      if (f == IMAGES && !isFree(f, record)) {
        imagesByUser[GRecordBytes::getInt(record, GImageRecord::USER)].push_back(i);
        imagesByStatus[record[GImageRecord::STATUS]].push_back(i);
        words.add(i, record);
        imagesInUse++;
      }
      if (f == LINKS) {
        int folder = GRecordBytes::getInt(record, GImageFolderRec::FOLDER);
        int image = GRecordBytes::getInt(record, GImageFolderRec::IMAGE);
        if (folder >= 0) linksByFolder[folder].push_back(i);
        if (image >= 0) linksByImage.emplace_back(image, i);
      }
    }
  }
  // Sorted by keys taken out of the records once, not read again at every comparison.
  std::vector<std::pair<int64_t, int>> keys;
  for (auto& entry : imagesByUser) {
    List& list = entry.second;
    keys.clear();
    for (int i : list) keys.emplace_back(-(int64_t)creationTime(i), i);
    std::sort(keys.begin(), keys.end());
    for (size_t k = 0; k < keys.size(); ++k) list[k] = keys[k].second;
  }
  std::sort(linksByImage.begin(), linksByImage.end());
}

void GDatabaseIndex::forget(GRecordFile& _file, int _index, const uchar* _record) {
  change(_file, _index, _record, false);
}

void GDatabaseIndex::learn(GRecordFile& _file, int _index, const uchar* _record) {
  change(_file, _index, _record, true);
}

void GDatabaseIndex::change(GRecordFile& _file, int _index, const uchar* _record, bool _add) {
  int f = which(_file);
  if (f < 0) return;
  if (isFree(f, _record)) {
    if (_add) {
      free[f].insert(_index);
    } else {
      free[f].erase(_index);
    }
    // A free link still names its folder or image when only one of them is negative.
    if (f != LINKS) return;
  }
  switch (f) {
    case USERS: changeUser(_index, _record, _add); break;
    case IMAGES: changeImage(_index, _record, _add); break;
    case LINKS: changeLink(_index, _record, _add); break;
    default: break;
  }
}

void GDatabaseIndex::changeUser(int _index, const uchar* _record, bool _add) {
  std::string name = userName(_record);
  if (_add) {
    insertSorted(usersByName[name], _index);
    return;
  }
  auto found = usersByName.find(name);
  if (found == usersByName.end()) return;
  eraseSorted(found->second, _index);
  if (found->second.empty()) usersByName.erase(found);
}

void GDatabaseIndex::changeImage(int _index, const uchar* _record, bool _add) {
  int user = GRecordBytes::getInt(_record, GImageRecord::USER);
  uchar status = _record[GImageRecord::STATUS];
  if (_add) {
    insertByTime(imagesByUser[user], _index);
    insertSorted(imagesByStatus[status], _index);
    words.add(_index, _record);
    imagesInUse++;
    return;
  }
  // Taken out while the record still holds what it was filed under.
  auto byUser = imagesByUser.find(user);
  if (byUser != imagesByUser.end()) {
    eraseByTime(byUser->second, _index);
    if (byUser->second.empty()) imagesByUser.erase(byUser);
  }
  auto byStatus = imagesByStatus.find(status);
  if (byStatus != imagesByStatus.end()) {
    eraseSorted(byStatus->second, _index);
    if (byStatus->second.empty()) imagesByStatus.erase(byStatus);
  }
  words.remove(_index, _record);
  imagesInUse--;
}

void GDatabaseIndex::changeLink(int _index, const uchar* _record, bool _add) {
  int folder = GRecordBytes::getInt(_record, GImageFolderRec::FOLDER);
  int image = GRecordBytes::getInt(_record, GImageFolderRec::IMAGE);
  if (folder >= 0) {
    if (_add) {
      insertSorted(linksByFolder[folder], _index);
    } else {
      auto found = linksByFolder.find(folder);
      if (found != linksByFolder.end()) {
        eraseSorted(found->second, _index);
        if (found->second.empty()) linksByFolder.erase(found);
      }
    }
  }
  if (image >= 0) {
    std::pair<int, int> key(image, _index);
    auto at = std::lower_bound(linksByImage.begin(), linksByImage.end(), key);
    if (_add) {
      if (at == linksByImage.end() || *at != key) linksByImage.insert(at, key);
    } else if (at != linksByImage.end() && *at == key) {
      linksByImage.erase(at);
    }
  }
}

// ---------------------------------------------------------------------------------------
// Keywords

void GDatabaseIndex::matchKeywords(uchar _status, const GKeywordMatcher& _matcher,
                                   std::vector<int>& _records) const {
  std::vector<int> found;
  words.find(_matcher, _status, *files[IMAGES], found);
  _records.insert(_records.end(), found.begin(), found.end());
}

// ---------------------------------------------------------------------------------------
// Look-ups

const std::set<int>& GDatabaseIndex::freeRecords(GRecordFile& _file) const {
  int f = which(_file);
  return f < 0 ? noneFree : free[f];
}

int GDatabaseIndex::userByName(const char* _name, size_t _length) const {
  auto found = usersByName.find(std::string(_name, _length));
  return found == usersByName.end() || found->second.empty() ? -1 : found->second.front();
}

const std::vector<int>& GDatabaseIndex::userImages(int _user) const {
  auto found = imagesByUser.find(_user);
  return found == imagesByUser.end() ? none : found->second;
}

const std::vector<int>& GDatabaseIndex::imagesWithStatus(uchar _status) const {
  auto found = imagesByStatus.find(_status);
  return found == imagesByStatus.end() ? none : found->second;
}

const std::vector<int>& GDatabaseIndex::folderLinks(int _folder) const {
  auto found = linksByFolder.find(_folder);
  return found == linksByFolder.end() ? none : found->second;
}

void GDatabaseIndex::imageLinks(int _image, std::vector<int>& _records) const {
  auto at = std::lower_bound(linksByImage.begin(), linksByImage.end(), std::make_pair(_image, -1));
  for (; at != linksByImage.end() && at->first == _image; ++at) _records.push_back(at->second);
}

// ---------------------------------------------------------------------------------------
// Sorted lists

uint32_t GDatabaseIndex::creationTime(int _imageIndex) const {
  return GRecordBytes::getUInt(files[IMAGES]->record(_imageIndex), GImageRecord::CREATION_TIME);
}

void GDatabaseIndex::insertSorted(List& _list, int _index) {
  auto at = std::lower_bound(_list.begin(), _list.end(), _index);
  if (at == _list.end() || *at != _index) _list.insert(at, _index);
}

void GDatabaseIndex::eraseSorted(List& _list, int _index) {
  auto at = std::lower_bound(_list.begin(), _list.end(), _index);
  if (at != _list.end() && *at == _index) _list.erase(at);
}

// The newest first; among equal times, record order. The record being filed or taken out
// holds the time it is filed under.
bool GDatabaseIndex::newerFirst(int _a, int _b) const {
  uint32_t ta = creationTime(_a);
  uint32_t tb = creationTime(_b);
  return ta != tb ? ta > tb : _a < _b;
}

void GDatabaseIndex::insertByTime(List& _list, int _index) {
  auto at = std::lower_bound(_list.begin(), _list.end(), _index,
                             [this](int _a, int _b) { return newerFirst(_a, _b); });
  if (at == _list.end() || *at != _index) _list.insert(at, _index);
}

void GDatabaseIndex::eraseByTime(List& _list, int _index) {
  auto at = std::lower_bound(_list.begin(), _list.end(), _index,
                             [this](int _a, int _b) { return newerFirst(_a, _b); });
  if (at != _list.end() && *at == _index) {
    _list.erase(at);
  } else {
    // Not where its time says (it cannot happen while every change passes by here): look
    // through the whole list rather than keep a stale entry.
    auto stale = std::find(_list.begin(), _list.end(), _index);
    if (stale != _list.end()) _list.erase(stale);
  }
}
