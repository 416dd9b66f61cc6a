#include "webapp/GUpload.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "lib/core/MException.h"
#include "lib/net/MHttpRequest.h"
#include "views/GApplication.h"
#include "views/GSession.h"
#include "webapp/GImageStore.h"
#include "webapp/GMultipartForm.h"

namespace {

// The request's Content-Type header, whatever the letter case of its name; empty without.
MString contentType(MHttpRequest& _request) {
  for (MItem* item = _request.headers.getFirstItem(); item != nullptr;
       item = _request.headers.getNextItem(item)) {
    if (strcasecmp(item->key->toString().getValue(), "Content-Type") == 0) {
      return item->object->toString();
    }
  }
  return MString();
}

std::string readBody(MDataStream& _content) {
  std::string body;
  body.reserve((size_t)_content.getEndPos());
  _content.setReadPos(0);
  char buffer[10000];
  int n;
  while ((n = _content.readData(buffer, sizeof buffer)) > 0) body.append(buffer, (size_t)n);
  return body;
}

int fileSize(const char* _path) {
  struct stat info;
  if (stat(_path, &info) != 0 || info.st_size > 0x7FFFFFFF) return -1;
  return (int)info.st_size;
}

}  // namespace

bool GUpload::process(GSession& _session, MHttpRequest& _request) try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();

  GUser user;
  if (_session.isGuest() || _session.user.id < 0 || database.getUser(_session.user.id, user) < 0) {
    return true;
  }
  if (!user.imageUpload || database.getNumOfUserImages(user.id) >= user.imageLimit) return true;

  if (_request.contentLength > application.getOriginalMaxSize()) return false;

  MString temporary;
  {
    std::string body = readBody(_request.content);
    size_t start = 0;
    size_t length = 0;
    if (!GMultipartForm::findFilePart(contentType(_request).getValue(), body, start, length)) {
      return false;
    }
    // Anything but a JPEG start marker is no JPEG file: not even a temporary file for it.
    if (length < 2 || (uchar)body[start] != 0xFF || (uchar)body[start + 1] != 0xD8) return false;
    temporary = GImageStore::temporaryPath(application.nextRequestId());
    if (!writeFile(temporary, body.data() + start, length)) return false;
  }

  // The previews are made before anything is stored, under temporary names that the
  // start-up repair removes like the original's.
  MString small = GImageStore::temporaryPath(application.nextRequestId());
  MString large = GImageStore::temporaryPath(application.nextRequestId());
  MJpegPreviews::Size size{0, 0};
  try {
    size = previews.make(temporary.getValue(),
                         {{preview1Height, small, application.getPreview1Quality()},
                          {preview2Height, large, application.getPreview2Quality()}},
                         maxSide);
  } catch (const MException&) {
    // Not decodable, or refused: nothing is stored and the upload ends below.
  } catch (...) {
    // Out of memory and the like fail the request, without leaving the file behind.
    unlink(temporary.getValue());
    throw;
  }
  if (size.width <= 0 || size.height <= 0) {
    unlink(temporary.getValue());
    return false;
  }
  store(size, temporary, small, large, user.id,
        user.imageAccept ? GIMAGE_WAITING : GIMAGE_ACCEPTED);
  return true;
} M_RETHROW("bool GUpload::process(GSession& _session,MHttpRequest& _request)")

bool GUpload::writeFile(const MString& _path, const char* _data, size_t _length) try {
  FILE* file = fopen(_path.getValue(), "wb");
  if (file == nullptr) {
    fprintf(stderr, "Cannot open the file (%s) for writing!\n", _path.getValue());
    return false;
  }
  bool written = fwrite(_data, 1, _length, file) == _length;
  if (fclose(file) != 0) written = false;
  if (!written) {
    fprintf(stderr, "Cannot write the file (%s)!\n", _path.getValue());
    unlink(_path.getValue());
  }
  return written;
} M_RETHROW("bool GUpload::writeFile(MString& _path,char *_data,size_t _length)")

int GUpload::store(MJpegPreviews::Size _size, const MString& _temporary, const MString& _small,
                   const MString& _large, int _user_id, GImageStatus _status) try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  GImage record;
  record.user = _user_id;
  record.status = _status;
  int id = -1;
  try {
    id = database.addImage(record);
    moveFile(_temporary, GImageStore::originalPath(id));
    record.width = (short)_size.width;
    record.height = (short)_size.height;
    record.size = fileSize(GImageStore::originalPath(id).getValue());
    moveFile(_small, GImageStore::preview1Path(id));
    moveFile(_large, GImageStore::preview2Path(id));
    if (database.updateImage(id, record) < 0) {
      throw MException("### DATABASE ###",
                       MString::format("The image record (%d) cannot be updated!", id).getValue());
    }
  } catch (...) {
    // Whatever failed, the half-made image goes: first the record, so that no page shows
    // an image whose files are missing, then every file of this upload.
    if (id >= 0) {
      // The failure that brought us here is the one to report, not one of the clean-up.
      try {
        database.deleteImage(id);
      } catch (const MException&) {
      }
      try {
        GImageStore::removeFiles(id);
      } catch (const MException&) {
      }
    }
    unlink(_temporary.getValue());
    unlink(_small.getValue());
    unlink(_large.getValue());
    throw;
  }
  return id;
} M_RETHROW("int GUpload::store(MJpegPreviews::Size _size,MString& _temporary,MString& _small,MString& _large,int _user_id,GImageStatus _status)")

void GUpload::moveFile(const MString& _from, const MString& _to) try {
  if (rename(_from.getValue(), _to.getValue()) != 0) {
    throw MException("### FILE ###", MString::format("The file (%s) cannot be renamed to (%s)!",
                                                     _from.getValue(), _to.getValue())
                                         .getValue());
  }
} M_RETHROW("void GUpload::moveFile(MString& _from,MString& _to)")
