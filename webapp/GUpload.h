#ifndef VISTREL_GUPLOAD_H
#define VISTREL_GUPLOAD_H

#include <string>
#include <vector>

#include "db/GImageStatus.h"
#include "db/GUser.h"
#include "lib/core/MString.h"
#include "lib/imaging/MJpegPreviews.h"
#include "views/GUploadMessage.h"
#include "webapp/GSlowStep.h"

class GImage;
class GSession;
class GUser;
class MException;
class MHttpRequest;
class MList;

// The upload of one JPEG image (GIds::ACTION_UPLOAD_IMAGE): the file of the upload form's
// body becomes the original in the image store, two previews 120 and 240 pixels high, the
// large one at twice its pixels (480 high) and a screen-sized picture (long side about
// screenSide) are made from it in one pass (turned upright by its EXIF orientation), and an image record owned by the
// session's user describes it, with the upright size. The record's name, date, keywords and
// description start from the file's name and camera data (GUploadDefaults), read on the
// worker too.
//
// Only a logged-in user with the upload right who is still below the image limit may
// upload; the rights are read from the stored account, so that a right taken away counts at
// once, and the limit is looked at again when the record is added, so that uploads of one
// user running at the same time on workers cannot pass it together. The image is kept only
// while that account is still the same one (GDatabase::hasAccount): an account deleted while
// its picture was being worked on keeps none. The file is the content of the form's file
// part exactly as the browser sent it,
// read from the request's body wherever it lies (a large one in a file), piece by piece. An
// upload either stores the record with all its files or leaves nothing behind: a failure
// after the record was added removes the record and every file again before it is passed
// on. The temporary file never outlives the request. Every outcome, a refusal too, is left
// for the page that follows as a GUploadMessage; a full disk (the body's file, the original
// or a preview could not be written for want of space) is told as such, whatever step it
// stopped.
class GUpload {
 public:
  // Images whose sides fit the 16-bit fields of the image record.
  static const int maxSide = 32767;
  static const int preview1Height = 120;
  static const int preview2Height = 240;
  static const int preview2xHeight = 2 * preview2Height;
  // The long side of the screen-sized picture (MJpegPreviews::screenSize).
  static const int screenSide = 2048;

  // The pictures made from an original, under temporary names until they are stored: the
  // previews (small, large), the large one at twice its pixels and the screen-sized one.
  struct Made {
    MString small, large, large2x, screen;
    void remove() const;
  };
  // What MJpegPreviews makes for them, each at the quality of the preview it stands beside
  // (the large preview's for the two larger pictures).
  static std::vector<MJpegPreviews::Preview> pictures(const Made& _made, int _quality1,
                                                      int _quality2);

  // Carries out the upload for the session. False for the early ends (a body over the size
  // limit, no JPEG file in the body, an unusable temporary file), after which the request
  // keeps its action parameters; true otherwise, also when the session may not upload.
  // With _slow, the decoding, the previews and the storing are left to _slow (a worker
  // thread) when it comes to them, and its after step gives the result instead.
  bool process(GSession& _session, MHttpRequest& _request, GSlowStep* _slow = nullptr);
  // The same for _owner whatever its rights and the session, the image stored with
  // _status: the pictures that visitors of a link contribute (webapp/GShareVisit), who have
  // no session. The image limit of _owner still holds.
  bool processFor(const GUser& _owner, GImageStatus _status, MHttpRequest& _request,
                  GSlowStep* _slow = nullptr);
  // The id of the image the last upload of this object stored; -1 before one.
  int getStoredId() const { return storedId; }
  // Whether the session's user may upload, by the stored account (then in _user): a
  // logged-in session whose account exists, is still the same one (its generation) and has
  // the upload right (GRights). The image limit is not looked at.
  static bool mayUpload(GSession& _session, GUser& _user);

 private:
  // What store answers instead of an id, as GDatabase::addImageWithinLimit does.
  static const int NO_PLACE = -1;
  static const int ACCOUNT_GONE = -2;
  // Writes _length bytes of the request's body from _start on into a new file; 0, or the
  // errno value of the failure (EIO when there is none) with a message on standard error
  // and nothing left behind.
  int writeFile(const MString& _path, MHttpRequest& _request, Int64 _start, Int64 _length);
  // Adds _record (owner, status and the attributes it starts with) for _owner while _owner
  // is below the image limit, moves the temporary file into place as the original and the
  // pictures made from it (_made) beside it, and completes the record with the
  // upright size; on any failure takes all of it back and passes the failure on. Returns the
  // new image id, or (nothing left behind) NO_PLACE when the owner has no place left and
  // ACCOUNT_GONE when _owner's account is no longer there or no longer the same.
  int store(MJpegPreviews::Size _size, const MString& _temporary, const Made& _made,
            const GUser& _owner, GImage& _record);
  void moveFile(const MString& _from, const MString& _to);
  // Finds the JPEG file in the request's body, writes it to _temporary and goes on with
  // makeAndStore; tells what became of it, with nothing left behind unless it was stored.
  GUploadMessage::Outcome receiveAndStore(MHttpRequest& _request, const MString& _temporary,
                                          const Made& _made, const GUser& _owner, GImageStatus _status,
                                          int _quality1, int _quality2);
  // Leaves the outcome for the page (a GUploadMessage); true when the image was stored.
  static bool tell(MList& _params, GUploadMessage::Outcome _outcome);
  // Makes the previews of the temporary original, reads its camera data and stores the
  // image; tells what became of it, with nothing left behind unless it was stored: NOT_JPEG
  // for a file that cannot be decoded or is refused, DISK_FULL when a preview cannot be
  // written for want of space, AT_LIMIT and NOT_ALLOWED when the account has no place left
  // or is no longer the same.
  GUploadMessage::Outcome makeAndStore(const MString& _temporary, const Made& _made,
                    const std::string& _fileName, const GUser& _owner, GImageStatus _status,
                    int _quality1, int _quality2);
  // Passes on the failure of work done on a worker, as process would have raised it.
  static void raise(const MException& _failure);

  int storedId = -1;
};

#endif
