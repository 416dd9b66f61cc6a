#ifndef VISTREL_GIMAGESTORE_H
#define VISTREL_GIMAGESTORE_H

#include "lib/core/MString.h"

// The files of the image store under the root directory: for every image the original and
// its two previews, named by the image id with at least seven digits, and the temporary
// files of uploads, numbered by the request counter.
class GImageStore {
 public:
  static MString originalPath(int _image_id);
  static MString preview1Path(int _image_id);
  static MString preview2Path(int _image_id);
  static MString temporaryPath(int _number);
  // Deletes the three files of an image; a file that cannot be deleted (already gone, for
  // one) is skipped.
  static void removeFiles(int _image_id);

  // The start-up repair after a crash, before any request is served: removes the upload
  // temporary files, the image records whose upload never completed (no size yet)
  // together with their folder links and files, and the store files of
  // images that have no record (a deletion that was cut short). The changes of the store
  // are ordered so that a crash at any moment leaves only these three leftovers. Returns
  // the number of files and records removed.
  static int sweep();
};

#endif
