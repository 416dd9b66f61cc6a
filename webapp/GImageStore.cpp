#include "webapp/GImageStore.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
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

bool exists(const MString& _path) {
  struct stat info;
  return stat(_path.getValue(), &info) == 0;
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

MString GImageStore::temporaryPath(int _number) try {
  return storePath("%s/images/original/tmp_%07d.jpg", _number);
} M_RETHROW("MString GImageStore::temporaryPath(int _number)")

void GImageStore::removeFiles(int _image_id) try {
  unlink(originalPath(_image_id).getValue());
  unlink(preview1Path(_image_id).getValue());
  unlink(preview2Path(_image_id).getValue());
} M_RETHROW("void GImageStore::removeFiles(int _image_id)")

int GImageStore::sweep() try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  const char* root = application.getDirectory().getValue();
  int removed = 0;

  std::set<int> kept;
  int count = database.getNumOfImages();
  // Ids are record numbers; a file of free records ends the scan early only when all the
  // images in use have been seen.
  for (int id = 0, seen = 0; seen < count && id >= 0; ++id) {
    GImage image;
    if (database.getImage(id, image) < 0) continue;
    ++seen;
    // An upload completes its record last, with the picture's size: a record without any
    // is one whose upload was cut short. A completed record stays even when a file is
    // missing (removed from outside): its texts are the users' data.
    if (image.width != 0 || image.height != 0 || image.size != 0) {
      kept.insert(id);
      if (!exists(originalPath(id)) || !exists(preview1Path(id)) || !exists(preview2Path(id))) {
        fprintf(stderr, "The image (%d) misses a file of the image store!\n", id);
      }
      continue;
    }
    database.deleteImageFolders(id);
    database.deleteImage(id);
    fprintf(stderr, "Removed the incomplete image (%d)!\n", id);
    ++removed;
  }

  const char* directories[] = {"original", "preview1", "preview2"};
  for (const char* name : directories) {
    MString directory = MString::format("%s/images/%s", root, name);
    for (const std::string& file : listDirectory(directory)) {
      if (file.size() < 5 || file.compare(file.size() - 4, 4, ".jpg") != 0) continue;
      std::string stem = file.substr(0, file.size() - 4);
      bool temporary = strcmp(name, "original") == 0 && stem.compare(0, 4, "tmp_") == 0 &&
                       isDigits(stem.substr(4));
      bool orphan = isDigits(stem) && stem.size() <= 9 && kept.count(std::stoi(stem)) == 0;
      if ((temporary || orphan) && removeFile(directory, file)) ++removed;
    }
  }
  return removed;
} M_RETHROW("int GImageStore::sweep()")
