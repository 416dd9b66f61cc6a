#ifndef VISTREL_GUPLOADMESSAGE_H
#define VISTREL_GUPLOADMESSAGE_H

#include "lib/core/MList.h"
#include "lib/core/MTextStream.h"
#include "views/GSession.h"

// What became of an upload (GIds::ACTION_UPLOAD_IMAGE), told to the page that follows by the
// request parameter PARAM. The page shows it as one line in the session's language; the line
// also names the outcome in its attribute data-upload-outcome, so that the script sending
// many files one after the other can read each answer without knowing the language.
//
// The value is a code, never a text, so that a link cannot make a page show a text of its
// own.
class GUploadMessage {
 public:
  static const char* const PARAM;
  enum Outcome {
    STORED = 1,       // stored and shown at once
    WAITING = 2,      // stored, waits for acceptance by an administrator
    NO_FILE = 3,      // the form came without a file
    NOT_JPEG = 4,     // no JPEG start, or not decodable (or too large in pixels)
    TOO_LARGE = 5,    // the body is over images.original.maxSize
    AT_LIMIT = 6,     // the user has as many images as the limit allows
    NOT_ALLOWED = 7,  // nobody logged in, or no upload right
    FAILED = 8,       // the server could not keep the file (no temporary file)
    DISK_FULL = 9     // the server's disk is full: the file could not be kept
  };

  static void set(MList& _params, Outcome _outcome);
  // The line of the parameters' outcome; nothing without one. A limit in a text stands for
  // its "%s": the size limit in MB, the user's image limit.
  static void write(GSession& _session, MTextStream& _out, MList& _params);
};

#endif
