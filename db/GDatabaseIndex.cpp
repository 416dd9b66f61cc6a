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
#include "lib/core/MUtf8.h"

namespace {

enum { USERS, IMAGES, FOLDERS, LINKS };

const uint32_t kNoText = UINT32_MAX;
// The store is packed once replaced texts are more than half of it and this large.
const size_t kGarbageToPack = 1024 * 1024;

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
    : files{&_users, &_images, &_folders, &_links}, imagesInUse(0), keywordGarbage(0) {}

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
  keywordsAt.assign((size_t)files[IMAGES]->getRecordCount(), kNoText);
  keywordStore.clear();
  keywordGarbage = 0;
  textStarts.clear();
  textOwners.clear();

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
        addKeywords(i, record);
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
    addKeywords(_index, _record);
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
  removeKeywords(_index);
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

void GDatabaseIndex::addKeywords(int _index, const uchar* _record) {
  if ((size_t)_index >= keywordsAt.size()) keywordsAt.resize((size_t)_index + 1, kNoText);
  removeKeywords(_index);
  const char* field = (const char*)_record + GImageRecord::KEYWORDS;
  size_t length = strnlen(field, GImageRecord::KEYWORDS_MAX);
  keywordsAt[(size_t)_index] = (uint32_t)keywordStore.size();
  textStarts.push_back((uint32_t)keywordStore.size());
  textOwners.push_back(_index);
  size_t start = keywordStore.size();
  keywordStore.resize(start + length);
  keywordStore.resize(start + MUtf8::fold(field, length, keywordStore.data() + start));
  keywordStore.push_back(0);
}

void GDatabaseIndex::removeKeywords(int _index) {
  if ((size_t)_index >= keywordsAt.size() || keywordsAt[(size_t)_index] == kNoText) return;
  keywordGarbage += strlen(keywordStore.data() + keywordsAt[(size_t)_index]) + 1;
  keywordsAt[(size_t)_index] = kNoText;
  if (keywordGarbage < kGarbageToPack || keywordGarbage * 2 < keywordStore.size()) return;
  // Pack: the texts still in use, in record order.
  std::vector<char> packed;
  packed.reserve(keywordStore.size() - keywordGarbage);
  textStarts.clear();
  textOwners.clear();
  for (size_t record = 0; record < keywordsAt.size(); ++record) {
    uint32_t& at = keywordsAt[record];
    if (at == kNoText) continue;
    const char* text = keywordStore.data() + at;
    at = (uint32_t)packed.size();
    textStarts.push_back(at);
    textOwners.push_back((int)record);
    packed.insert(packed.end(), text, text + strlen(text) + 1);
  }
  keywordStore.swap(packed);
  keywordGarbage = 0;
}

void GDatabaseIndex::matchKeywords(uchar _status, const GKeywordMatcher& _matcher,
                                   std::vector<int>& _records) const {
  if (_matcher.matchesNothing()) return;
  const uchar* store = (const uchar*)keywordStore.data();
  size_t size = keywordStore.size();
  // The text is folded already, which the matcher's folding leaves as it is. The matcher
  // ends the text at its terminator; what follows it in the store (the next texts) may be
  // read in whole blocks but is never matched, as behind the terminator of a field.
  auto matches = [&](uint32_t _at) {
    size_t room = size - _at;
    size_t most = (size_t)GImageRecord::KEYWORDS_MAX + 1;
    return _matcher.matches(store + _at, (int)(room < most ? room : most));
  };
  const std::vector<std::string>& words = _matcher.getWords();
  if (words.empty()) {
    for (int index : imagesWithStatus(_status)) {
      if ((size_t)index < keywordsAt.size() && keywordsAt[(size_t)index] != kNoText &&
          matches(keywordsAt[(size_t)index])) {
        _records.push_back(index);
      }
    }
    return;
  }
  // Only the texts holding the longest word (as a rule the rarest) are matched whole: one
  // search through the store finds them. A word holds no zero byte, so a find lies inside
  // one text.
  const std::string* key = &words[0];
  for (const std::string& word : words) {
    if (word.size() > key->size()) key = &word;
  }
  size_t from = 0;
  size_t text = 0;  // finds come in store order: the text holding one is at or after the last
  size_t texts = textStarts.size();
  while (from < size) {
    const void* hit = memmem(store + from, size - from, key->data(), key->size());
    if (hit == nullptr) break;
    uint32_t position = (uint32_t)((const uchar*)hit - store);
    while (text + 1 < texts && textStarts[text + 1] <= position) ++text;
    from = text + 1 < texts ? textStarts[text + 1] : size;
    uint32_t at = textStarts[text];
    // The text is at hand: matched first; the owner's record is read only for a match.
    if (!matches(at)) continue;
    int index = textOwners[text];
    if (keywordsAt[(size_t)index] != at) continue;  // replaced since
    if (files[IMAGES]->record(index)[GImageRecord::STATUS] != _status) continue;
    _records.push_back(index);
  }
  std::sort(_records.begin(), _records.end());
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
