#ifndef VISTREL_GUPLOAD_H
#define VISTREL_GUPLOAD_H

#include "db/GImageStatus.h"
#include "lib/core/MString.h"
#include "lib/imaging/MFile_JPG.h"

class GSession;
class MHttpRequest;
class MImage;

// The upload of one JPEG image (action 11): the file of the upload form's body becomes the
// original in the image store, two previews 120 and 240 pixels high are made from it, and
// an image record owned by the session's user describes it.
//
// Only a logged-in user with the upload right who is still below the image limit may
// upload; the rights are read from the stored account, so that a right taken away counts at
// once. The file is the content of the form's file part exactly as the browser sent it,
// read from the request's body wherever it lies (a large one in a file), piece by piece. An
// upload either stores the record with all three files or leaves nothing behind: a failure
// after the record was added removes the record and every file again before it is passed
// on. The temporary file never outlives the request.
class GUpload {
 public:
  // Images whose sides fit the 16-bit fields of the image record.
  static const int maxSide = 32767;
  static const int preview1Height = 120;
  static const int preview2Height = 240;

  // Carries out the upload for the session. False for the early ends (a body over the size
  // limit, no JPEG file in the body, an unusable temporary file), after which the request
  // keeps its action parameters; true otherwise, also when the session may not upload.
  bool process(GSession& _session, MHttpRequest& _request);

 private:
  // Writes _length bytes of the request's body from _start on into a new file; false, with a
  // message on standard error and nothing left behind, when that fails.
  bool writeFile(const MString& _path, MHttpRequest& _request, Int64 _start, Int64 _length);
  // Adds the record, moves the temporary file into place as the original, makes the
  // previews and completes the record; on any failure takes all of it back and passes the
  // failure on. Returns the new image id.
  int store(MImage& _image, const MString& _temporary, int _user_id, GImageStatus _status);
  // Scales the original to _height pixels high, keeping its aspect ratio, and saves it.
  void writePreview(MImage& _original, int _height, const MString& _path, int _quality);

  // Reads and writes every JPEG file of the uploads; it keeps no state between calls.
  MFile_JPG jpeg;
};

#endif
