#include "webapp/GImageStore.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <tuple>
#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"

namespace {

MString storePath(const char* _format, int _number) {
  return MString::format(_format, GApplication::get().getDirectory().getValue(), _number);
}

bool isDigits(const std::string& _text) {
  if (_text.empty()) return false;
  for (char c : _text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The names in one directory of the store.
std::vector<std::string> listDirectory(const MString& _directory) {
  std::vector<std::string> names;
  DIR* dir = opendir(_directory.getValue());
  if (dir == nullptr) return names;
  while (struct dirent* entry = readdir(dir)) names.push_back(entry->d_name);
  closedir(dir);
  return names;
}

// The number of a name "<digits>.jpg" with at most nine digits (after _skip characters), or
// -1 for any other name.
int jpgNumber(const std::string& _name, size_t _skip) {
  if (_name.size() < _skip + 5 || _name.size() > _skip + 13) return -1;
  size_t end = _name.size() - 4;
  if (_name.compare(end, 4, ".jpg") != 0) return -1;
  int number = 0;
  for (size_t i = _skip; i < end; ++i) {
    if (_name[i] < '0' || _name[i] > '9') return -1;
    number = number * 10 + (_name[i] - '0');
  }
  return number;
}

// The id an image file of the store is named after ("%07d.jpg"), or -1 for any other name.
int storeId(const std::string& _name) {
  size_t digits = _name.size() - 4;
  if (digits < 7 || (digits > 7 && _name[0] == '0')) return -1;
  return jpgNumber(_name, 0);
}

bool removeFile(const MString& _directory, const std::string& _name) {
  MString path = MString::format("%s/%s", _directory.getValue(), _name.c_str());
  if (unlink(path.getValue()) != 0) return false;
  fprintf(stderr, "Removed the leftover file (%s)!\n", path.getValue());
  return true;
}

}  // namespace

MString GImageStore::originalPath(int _image_id) try {
  return storePath("%s/images/original/%07d.jpg", _image_id);
} M_RETHROW("MString GImageStore::originalPath(int _image_id)")

MString GImageStore::preview1Path(int _image_id) try {
  return storePath("%s/images/preview1/%07d.jpg", _image_id);
} M_RETHROW("MString GImageStore::preview1Path(int _image_id)")

MString GImageStore::preview2Path(int _image_id) try {
  return storePath("%s/images/preview2/%07d.jpg", _image_id);
} M_RETHROW("MString GImageStore::preview2Path(int _image_id)")

MString GImageStore::preview2xPath(int _image_id) try {
  return storePath("%s/images/preview2x/%07d.jpg", _image_id);
} M_RETHROW("MString GImageStore::preview2xPath(int _image_id)")

MString GImageStore::screenPath(int _image_id) try {
  return storePath("%s/images/screen/%07d.jpg", _image_id);
} M_RETHROW("MString GImageStore::screenPath(int _image_id)")

MString GImageStore::temporaryPath(int _number) try {
  return storePath("%s/images/original/tmp_%07d.jpg", _number);
} M_RETHROW("MString GImageStore::temporaryPath(int _number)")

MString GImageStore::backgroundPath(int _image_id, int _kind) try {
  return MString::format("%s/images/original/tmp_bg%07d%d.jpg",
                         GApplication::get().getDirectory().getValue(), _image_id, _kind);
} M_RETHROW("MString GImageStore::backgroundPath(int _image_id,int _kind)")

void GImageStore::removeFiles(int _image_id) try {
  unlink(originalPath(_image_id).getValue());
  unlink(preview1Path(_image_id).getValue());
  unlink(preview2Path(_image_id).getValue());
  unlink(preview2xPath(_image_id).getValue());
  unlink(screenPath(_image_id).getValue());
} M_RETHROW("void GImageStore::removeFiles(int _image_id)")

const char* const GImageStore::directories[5] = {"original", "preview1", "preview2",
                                                 "preview2x", "screen"};

GImageStore::Listings GImageStore::list(const MString& _root) try {
  const int count = (int)std::tuple_size<Listings>::value;
  std::future<std::vector<std::string>> listing[count];
  for (int d = 0; d < count; ++d) {
    MString directory = MString::format("%s/images/%s", _root.getValue(), directories[d]);
    listing[d] = std::async(std::launch::async, [directory]() { return listDirectory(directory); });
  }
  Listings listings;
  for (int d = 0; d < count; ++d) listings[d] = listing[d].get();
  return listings;
} M_RETHROW("GImageStore::Listings GImageStore::list(const MString& _root)")

int GImageStore::sweep() try {
  return sweep(list(GApplication::get().getDirectory()));
} M_RETHROW("int GImageStore::sweep()")

int GImageStore::sweep(const Listings& _listings) try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  const char* root = application.getDirectory().getValue();
  int removed = 0;

  // Each directory of the store is listed once and the images' files are looked up in the
  // listings: a look-up on the file system per image would make the start of a large
  // library slow.
  const Listings& listings = _listings;
  std::vector<int> complete;
  std::vector<int> incomplete;
  database.getImageIds(complete, incomplete);
  // Whether each directory holds the file of an image, by id (ids are record numbers, so
  // below the larger of the last ids).
  size_t ids = (size_t)std::max(complete.empty() ? -1 : complete.back(),
                                incomplete.empty() ? -1 : incomplete.back()) + 1;
  const int count = (int)std::tuple_size<Listings>::value;
  std::vector<std::vector<bool>> present((size_t)count, std::vector<bool>(ids, false));
  std::vector<bool> kept(ids, false);
  for (int id : complete) kept[(size_t)id] = true;
  for (int d = 0; d < count; ++d) {
    for (const std::string& file : listings[d]) {
      int id = storeId(file);
      if (id >= 0 && (size_t)id < ids) present[d][(size_t)id] = true;
    }
  }

  // An upload completes its record last, with the picture's size: a record without any
  // is one whose upload was cut short. A completed record stays even when a file is
  // missing (removed from outside): its texts are the users' data. The files made for
  // screens (preview2x, screen) are not asked for: images stored before them lack them
  // until they are made in the background.
  for (int id : complete) {
    if (!present[0][(size_t)id] || !present[1][(size_t)id] || !present[2][(size_t)id]) {
      fprintf(stderr, "The image (%d) misses a file of the image store!\n", id);
    }
  }
  for (int id : incomplete) {
    database.deleteImageFolders(id);
    database.deleteImage(id);
    fprintf(stderr, "Removed the incomplete image (%d)!\n", id);
    ++removed;
  }

  for (int d = 0; d < count; ++d) {
    MString directory = MString::format("%s/images/%s", root, directories[d]);
    for (const std::string& file : listings[d]) {
      int number = jpgNumber(file, 0);
      bool orphan = number >= 0 && ((size_t)number >= ids || !kept[(size_t)number]);
      bool jpg = file.size() >= 5 && file.compare(file.size() - 4, 4, ".jpg") == 0;
      size_t prefix = file.compare(0, 6, "tmp_bg") == 0 ? 6 : 4;
      bool temporary = d == 0 && jpg && file.size() > prefix + 4 &&
                       file.compare(0, 4, "tmp_") == 0 &&
                       isDigits(file.substr(prefix, file.size() - prefix - 4));
      if ((temporary || orphan) && removeFile(directory, file)) ++removed;
    }
  }
  return removed;
} M_RETHROW("int GImageStore::sweep(const Listings& _listings)")

std::vector<int> GImageStore::lackingLargeFiles(const Listings& _listings) try {
  std::vector<int> complete;
  std::vector<int> incomplete;
  GApplication::get().getDatabase().getImageIds(complete, incomplete);
  size_t ids = complete.empty() ? 0 : (size_t)complete.back() + 1;
  std::vector<std::vector<bool>> present(3, std::vector<bool>(ids, false));
  const int looked[3] = {0, 3, 4};  // original, preview2x, screen
  for (int d = 0; d < 3; ++d) {
    for (const std::string& file : _listings[(size_t)looked[d]]) {
      int id = storeId(file);
      if (id >= 0 && (size_t)id < ids) present[(size_t)d][(size_t)id] = true;
    }
  }
  std::vector<int> lacking;
  for (int id : complete) {
    if (present[0][(size_t)id] && (!present[1][(size_t)id] || !present[2][(size_t)id]))
      lacking.push_back(id);
  }
  return lacking;
} M_RETHROW("std::vector<int> GImageStore::lackingLargeFiles(const Listings& _listings)")
