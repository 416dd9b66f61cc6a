#include "webapp/GImageStore.h"

#include <unistd.h>

#include "lib/core/MException.h"
#include "views/GApplication.h"

namespace {

MString storePath(const char* _format, int _number) {
  return MString::format(_format, GApplication::get().getDirectory().getValue(), _number);
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
