#include "webapp/GUpload.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/imaging/MCameraData.h"
#include "lib/net/MHttpRequest.h"
#include "views/GApplication.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GUploadMessage.h"
#include "webapp/GImageStore.h"
#include "webapp/GMultipartForm.h"
#include "webapp/GUploadDefaults.h"

namespace {

bool isDiskFull(int _error) { return _error == ENOSPC || _error == EDQUOT; }

// A failure that a full disk caused, anywhere down its chain (MFile_JPG::save gives the
// errno value as the code).
bool isDiskFull(const MException& _failure) {
  for (const MException* e = &_failure; e != nullptr; e = e->getInner()) {
    if (isDiskFull(e->getCode())) return true;
  }
  return false;
}

int fileSize(const char* _path) {
  struct stat info;
  if (stat(_path, &info) != 0 || info.st_size > 0x7FFFFFFF) return -1;
  return (int)info.st_size;
}

}  // namespace

bool GUpload::process(GSession& _session, MHttpRequest& _request, GSlowStep* _slow) try {
  MList& params = _request.params;
  GUser user;
  if (!mayUpload(_session, user)) {
    GUploadMessage::set(params, GUploadMessage::NOT_ALLOWED);
    return true;
  }
  return processFor(user, GRights::uploadWaitsForAcceptance(user) ? GIMAGE_WAITING
                                                                  : GIMAGE_ACCEPTED,
                    _request, _slow);
} M_RETHROW("bool GUpload::process(GSession& _session,MHttpRequest& _request)")

bool GUpload::processFor(const GUser& _owner, GImageStatus _status, MHttpRequest& _request,
                         GSlowStep* _slow) try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  MList& params = _request.params;
  const GUser& user = _owner;
  if (database.getNumOfUserImages(user.id) >= user.imageLimit) {
    GUploadMessage::set(params, GUploadMessage::AT_LIMIT);
    return true;
  }

  if (_request.contentLength > application.getOriginalMaxSize()) {
    GUploadMessage::set(params, GUploadMessage::TOO_LARGE);
    return false;
  }
  // The body could not be kept while it arrived (see MHttpRequest::bodyError).
  if (_request.bodyError != 0) {
    GUploadMessage::set(params, isDiskFull(_request.bodyError) ? GUploadMessage::DISK_FULL
                                                               : GUploadMessage::FAILED);
    return false;
  }

  // The previews are made before anything is stored, under temporary names that the
  // start-up repair removes like the original's.
  MString temporary = GImageStore::temporaryPath(application.nextRequestId());
  Made made;
  made.small = GImageStore::temporaryPath(application.nextRequestId());
  made.large = GImageStore::temporaryPath(application.nextRequestId());
  made.large2x = GImageStore::temporaryPath(application.nextRequestId());
  made.screen = GImageStore::temporaryPath(application.nextRequestId());
  GImageStatus status = _status;
  int quality1 = application.getPreview1Quality();
  int quality2 = application.getPreview2Quality();
  if (_slow == nullptr) {
    return tell(params, receiveAndStore(_request, temporary, made, user, status, quality1,
                                        quality2));
  }
  // Even finding the file in a body of megabytes and copying it out takes the server loop
  // milliseconds: the worker does it, on the body the request hands over, which stays
  // readable when the connection is gone.
  std::shared_ptr<MHttpRequest> body = std::make_shared<MHttpRequest>();
  _request.handBodyTo(*body);
  struct Outcome {
    GUploadMessage::Outcome told = GUploadMessage::FAILED;
    std::unique_ptr<MException> failure;
  };
  std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();
  _slow->work = [this, outcome, body, temporary, made, user, status, quality1, quality2]() {
    try {
      outcome->told = receiveAndStore(*body, temporary, made, user, status, quality1, quality2);
    } catch (const MException& _failure) {
      outcome->failure.reset(new MException(_failure));
    } catch (const std::exception& _failure) {
      outcome->failure.reset(new MException("### SYSTEM ###", _failure.what()));
    }
    // Its file and its room in the spool go now, before the answer: whoever hears it may
    // send the next body at once.
    body->releaseBody();
  };
  // The request outlives its slow step: the answer is made from it afterwards.
  MList* later = &params;
  _slow->after = [outcome, later]() {
    if (outcome->failure) raise(*outcome->failure);
    return tell(*later, outcome->told);
  };
  return true;
} M_RETHROW("bool GUpload::processFor(const GUser& _owner,GImageStatus _status,MHttpRequest& _request)")

bool GUpload::mayUpload(GSession& _session, GUser& _user) {
  // The account as stored now, and the same account (not one added later under its id).
  return GRights::isLoggedIn(_session) &&
         GApplication::get().getDatabase().getUser(_session.user.id, _user) >= 0 &&
         _user.generation == _session.user.generation && GRights::mayUpload(_user);
}

bool GUpload::tell(MList& _params, GUploadMessage::Outcome _outcome) {
  GUploadMessage::set(_params, _outcome);
  return _outcome == GUploadMessage::STORED || _outcome == GUploadMessage::WAITING;
}

GUploadMessage::Outcome GUpload::receiveAndStore(MHttpRequest& _request,
                                                 const MString& _temporary, const Made& _made,
                                                 const GUser& _owner,
                                                 GImageStatus _status, int _quality1,
                                                 int _quality2) {
  Int64 start = 0;
  Int64 length = 0;
  std::string fileName;
  // A form without a file field, or with an empty one (nothing chosen).
  if (!GMultipartForm::findFilePart(_request, start, length, &fileName) || length == 0) {
    return GUploadMessage::NO_FILE;
  }
  // Anything but a JPEG start marker is no JPEG file: not even a temporary file for it.
  uchar marker[2] = {0, 0};
  if (length < 2 || _request.readContent(start, marker, 2) != 2 || marker[0] != 0xFF ||
      marker[1] != 0xD8)
    return GUploadMessage::NOT_JPEG;
  int error = writeFile(_temporary, _request, start, length);
  if (error != 0) return isDiskFull(error) ? GUploadMessage::DISK_FULL : GUploadMessage::FAILED;
  return makeAndStore(_temporary, _made, fileName, _owner, _status, _quality1, _quality2);
}

void GUpload::Made::remove() const {
  unlink(small.getValue());
  unlink(large.getValue());
  unlink(large2x.getValue());
  unlink(screen.getValue());
}

std::vector<MJpegPreviews::Preview> GUpload::pictures(const Made& _made, int _quality1,
                                                      int _quality2) {
  return {{preview1Height, _made.small, _quality1},
          {preview2Height, _made.large, _quality2},
          {preview2xHeight, _made.large2x, _quality2},
          {0, _made.screen, _quality2, screenSide}};
}

GUploadMessage::Outcome GUpload::makeAndStore(const MString& _temporary, const Made& _made,
                           const std::string& _fileName,
                           const GUser& _owner, GImageStatus _status, int _quality1,
                           int _quality2) {
  MJpegPreviews previews;
  MJpegPreviews::Size size{0, 0};
  GUploadMessage::Outcome refused = GUploadMessage::NOT_JPEG;
  try {
    size = previews.make(_temporary.getValue(), pictures(_made, _quality1, _quality2), maxSide);
  } catch (const MException& _failure) {
    // Not decodable, refused, or no room for a preview: nothing is stored and the upload
    // ends below.
    if (isDiskFull(_failure)) refused = GUploadMessage::DISK_FULL;
  } catch (...) {
    // Out of memory and the like fail the request, without leaving the files behind.
    unlink(_temporary.getValue());
    _made.remove();
    throw;
  }
  if (size.width <= 0 || size.height <= 0) {
    unlink(_temporary.getValue());
    _made.remove();
    return refused;
  }
  // The camera data only suggests values: whatever keeps it from being read, the image is
  // stored without it.
  MCameraData camera;
  try {
    camera = MCameraData::readFile(_temporary.getValue());
  } catch (const std::exception&) {
  }
  GImage record;
  record.user = _owner.id;
  record.status = _status;
  GUploadDefaults::apply(_fileName, camera, record);
  switch (store(size, _temporary, _made, _owner, record)) {
    case NO_PLACE:
      return GUploadMessage::AT_LIMIT;
    case ACCOUNT_GONE:
      return GUploadMessage::NOT_ALLOWED;
  }
  return _status == GIMAGE_WAITING ? GUploadMessage::WAITING : GUploadMessage::STORED;
}

void GUpload::raise(const MException& _failure) try {
  throw MException(_failure);
} M_RETHROW("bool GUpload::process(GSession& _session,MHttpRequest& _request)")

int GUpload::writeFile(const MString& _path, MHttpRequest& _request, Int64 _start,
                       Int64 _length) try {
  FILE* file = fopen(_path.getValue(), "wb");
  if (file == nullptr) {
    int error = errno;
    fprintf(stderr, "Cannot open the file (%s) for writing!\n", _path.getValue());
    return error != 0 ? error : EIO;
  }
  // Copied in pieces: the body may be far larger than what a request should hold in memory.
  int error = 0;
  char buffer[65536];
  for (Int64 done = 0; error == 0 && done < _length;) {
    int want = _length - done < (Int64)sizeof buffer ? (int)(_length - done) : (int)sizeof buffer;
    int n = _request.readContent(_start + done, buffer, want);
    if (n <= 0) {
      error = EIO;
    } else if (fwrite(buffer, 1, (size_t)n, file) != (size_t)n) {
      error = errno != 0 ? errno : EIO;
    }
    done += n;
  }
  if (fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  if (error != 0) {
    fprintf(stderr, "Cannot write the file (%s): %s!\n", _path.getValue(), strerror(error));
    unlink(_path.getValue());
  }
  return error;
} M_RETHROW("int GUpload::writeFile(MString& _path,MHttpRequest& _request,Int64 _start,Int64 _length)")

int GUpload::store(MJpegPreviews::Size _size, const MString& _temporary, const Made& _made,
                   const GUser& _owner, GImage& _record) try {
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  int id = -1;
  // Takes back whatever of this upload there is: first the record, so that no page shows
  // an image whose files are missing, then every file. A failure on the way is not the one
  // to report.
  auto takeBack = [&]() {
    if (id >= 0) {
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
    _made.remove();
  };
  // An account deleted while its picture was worked on keeps none: asked before the record
  // is added and again once the image is whole, since the deletion of an account sweeps
  // only the images it finds whole (GUserActions::deleteUser).
  if (!database.hasAccount(_owner)) {
    takeBack();
    return ACCOUNT_GONE;
  }
  try {
    // The limit was looked at when the upload began; uploads of the same user that ran
    // meanwhile may have used the last places.
    int added = database.addImageWithinLimit(_record);
    if (added < 0) {
      unlink(_temporary.getValue());
      _made.remove();
      return added;
    }
    id = added;
    moveFile(_temporary, GImageStore::originalPath(id));
    _record.width = (short)_size.width;
    _record.height = (short)_size.height;
    _record.size = fileSize(GImageStore::originalPath(id).getValue());
    moveFile(_made.small, GImageStore::preview1Path(id));
    moveFile(_made.large, GImageStore::preview2Path(id));
    moveFile(_made.large2x, GImageStore::preview2xPath(id));
    moveFile(_made.screen, GImageStore::screenPath(id));
    if (database.updateImage(id, _record) < 0) {
      throw MException("### DATABASE ###",
                       MString::format("The image record (%d) cannot be updated!", id).getValue());
    }
  } catch (...) {
    takeBack();
    throw;
  }
  if (!database.hasAccount(_owner)) {
    takeBack();
    return ACCOUNT_GONE;
  }
  storedId = id;
  return id;
} M_RETHROW("int GUpload::store(MJpegPreviews::Size _size,MString& _temporary,Made& _made,GImage& _record)")

void GUpload::moveFile(const MString& _from, const MString& _to) try {
  if (rename(_from.getValue(), _to.getValue()) != 0) {
    throw MException("### FILE ###", MString::format("The file (%s) cannot be renamed to (%s)!",
                                                     _from.getValue(), _to.getValue())
                                         .getValue());
  }
} M_RETHROW("void GUpload::moveFile(MString& _from,MString& _to)")
