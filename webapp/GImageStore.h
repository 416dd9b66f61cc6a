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
};

#endif
