#ifndef VISTREL_GUPLOAD_H
#define VISTREL_GUPLOAD_H

#include <string>

#include "db/GImageStatus.h"
#include "lib/core/MString.h"
#include "lib/imaging/MJpegPreviews.h"
#include "views/GUploadMessage.h"
#include "webapp/GSlowStep.h"

class GImage;
class GSession;
class MException;
class MHttpRequest;
class MList;

// The upload of one JPEG image (GIds::ACTION_UPLOAD_IMAGE): the file of the upload form's
// body becomes the original in the image store, two previews 120 and 240 pixels high are made
// from it (turned upright by its EXIF orientation), and an image record owned by the
// session's user describes it, with the upright size. The record's name, date, keywords and
// description start from the file's name and camera data (GUploadDefaults), read on the
// worker too.
//
// Only a logged-in user with the upload right who is still below the image limit may
// upload; the rights are read from the stored account, so that a right taken away counts at
// once. The file is the content of the form's file part exactly as the browser sent it,
// read from the request's body wherever it lies (a large one in a file), piece by piece. An
// upload either stores the record with all three files or leaves nothing behind: a failure
// after the record was added removes the record and every file again before it is passed
// on. The temporary file never outlives the request. Every outcome, a refusal too, is left
// for the page that follows as a GUploadMessage.
class GUpload {
 public:
  // Images whose sides fit the 16-bit fields of the image record.
  static const int maxSide = 32767;
  static const int preview1Height = 120;
  static const int preview2Height = 240;

  // Carries out the upload for the session. False for the early ends (a body over the size
  // limit, no JPEG file in the body, an unusable temporary file), after which the request
  // keeps its action parameters; true otherwise, also when the session may not upload.
  // With _slow, the decoding, the previews and the storing are left to _slow (a worker
  // thread) when it comes to them, and its after step gives the result instead.
  bool process(GSession& _session, MHttpRequest& _request, GSlowStep* _slow = nullptr);

 private:
  // Writes _length bytes of the request's body from _start on into a new file; false, with a
  // message on standard error and nothing left behind, when that fails.
  bool writeFile(const MString& _path, MHttpRequest& _request, Int64 _start, Int64 _length);
  // Adds _record (owner, status and the attributes it starts with), moves the temporary
  // file into place as the original and the previews made from it (_small, _large) beside
  // it, and completes the record with the upright size; on any failure takes all of it back
  // and passes the failure on. Returns the new image id.
  int store(MJpegPreviews::Size _size, const MString& _temporary, const MString& _small,
            const MString& _large, GImage& _record);
  void moveFile(const MString& _from, const MString& _to);
  // Finds the JPEG file in the request's body, writes it to _temporary and goes on with
  // makeAndStore; tells what became of it, with nothing left behind unless it was stored.
  GUploadMessage::Outcome receiveAndStore(MHttpRequest& _request, const MString& _temporary,
                                          const MString& _small, const MString& _large,
                                          int _user_id, GImageStatus _status, int _quality1,
                                          int _quality2);
  // Leaves the outcome for the page (a GUploadMessage); true when the image was stored.
  static bool tell(MList& _params, GUploadMessage::Outcome _outcome);
  // Makes the previews of the temporary original, reads its camera data and stores the
  // image; false, with nothing left behind, for a file that cannot be decoded or is refused.
  bool makeAndStore(const MString& _temporary, const MString& _small, const MString& _large,
                    const std::string& _fileName, int _user_id, GImageStatus _status,
                    int _quality1, int _quality2);
  // Passes on the failure of work done on a worker, as process would have raised it.
  static void raise(const MException& _failure);

};

#endif
