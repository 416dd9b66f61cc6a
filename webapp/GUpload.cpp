#include "webapp/GUpload.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "lib/core/MException.h"
#include "lib/imaging/MImage.h"
#include "lib/net/MHttpRequest.h"
#include "views/GApplication.h"
#include "views/GSession.h"
#include "webapp/GImageStore.h"
#include "webapp/GMultipartForm.h"

namespace {

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
  MImage image;
  {
    Int64 start = 0;
    Int64 length = 0;
    if (!GMultipartForm::findFilePart(_request, start, length)) return false;
    // Anything but a JPEG start marker is no JPEG file: not even a temporary file for it.
    uchar marker[2] = {0, 0};
    if (length < 2 || _request.readContent(start, marker, 2) != 2 || marker[0] != 0xFF ||
        marker[1] != 0xD8)
      return false;
    temporary = GImageStore::temporaryPath(application.nextRequestId());
    if (!writeFile(temporary, _request, start, length)) return false;
  }

  try {
    jpeg.load(temporary.getValue(), image);
  } catch (const MException&) {
    // Not decodable: the image stays empty and the upload ends below.
  } catch (...) {
    // Out of memory and the like fail the request, without leaving the file behind.
    unlink(temporary.getValue());
    throw;
  }
  if (image.getWidth() <= 0 || image.getHeight() <= 0 || image.getWidth() > maxSide ||
      image.getHeight() > maxSide) {
    unlink(temporary.getValue());
    return false;
  }
  store(image, temporary, user.id, user.imageAccept ? GIMAGE_WAITING : GIMAGE_ACCEPTED);
  return true;
} M_RETHROW("bool GUpload::process(GSession& _session,MHttpRequest& _request)")

bool GUpload::writeFile(const MString& _path, MHttpRequest& _request, Int64 _start,
                        Int64 _length) try {
  FILE* file = fopen(_path.getValue(), "wb");
  if (file == nullptr) {
    fprintf(stderr, "Cannot open the file (%s) for writing!\n", _path.getValue());
    return false;
  }
  // Copied in pieces: the body may be far larger than what a request should hold in memory.
  bool written = true;
  char buffer[65536];
  for (Int64 done = 0; written && done < _length;) {
    int want = _length - done < (Int64)sizeof buffer ? (int)(_length - done) : (int)sizeof buffer;
    int n = _request.readContent(_start + done, buffer, want);
    written = n > 0 && fwrite(buffer, 1, (size_t)n, file) == (size_t)n;
    done += n;
  }
  if (fclose(file) != 0) written = false;
  if (!written) {
    fprintf(stderr, "Cannot write the file (%s)!\n", _path.getValue());
    unlink(_path.getValue());
  }
  return written;
} M_RETHROW("bool GUpload::writeFile(MString& _path,MHttpRequest& _request,Int64 _start,Int64 _length)")

int GUpload::store(MImage& _image, const MString& _temporary, int _user_id,
                   GImageStatus _status) try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  GImage record;
  record.user = _user_id;
  record.status = _status;
  int id = -1;
  try {
    id = database.addImage(record);
    MString original = GImageStore::originalPath(id);
    if (rename(_temporary.getValue(), original.getValue()) != 0) {
      throw MException("### FILE ###", MString::format("The file (%s) cannot be renamed to (%s)!",
                                                       _temporary.getValue(), original.getValue())
                                           .getValue());
    }
    record.width = (short)_image.getWidth();
    record.height = (short)_image.getHeight();
    record.size = fileSize(original.getValue());
    writePreview(_image, preview1Height, GImageStore::preview1Path(id),
                 application.getPreview1Quality());
    writePreview(_image, preview2Height, GImageStore::preview2Path(id),
                 application.getPreview2Quality());
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
    throw;
  }
  return id;
} M_RETHROW("int GUpload::store(MImage& _image,MString& _temporary,int _user_id,GImageStatus _status)")

void GUpload::writePreview(MImage& _original, int _height, const MString& _path,
                           int _quality) try {
  MImage preview;
  preview.scale(_original,
                MImage::previewWidth(_original.getWidth(), _original.getHeight(), _height),
                _height);
  if (preview.getData() == nullptr) {
    throw MException("### SCALE ###",
                     MString::format("The preview (%s) cannot be made!", _path.getValue()).getValue());
  }
  jpeg.save(_path.getValue(), preview, _quality);
} M_RETHROW("void GUpload::writePreview(MImage& _original,int _height,MString& _path,int _quality)")
