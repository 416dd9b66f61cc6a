#ifndef VISTREL_GIMAGESTORE_H
#define VISTREL_GIMAGESTORE_H

#include <array>
#include <string>
#include <vector>

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

  // The names in the store's three directories (original, preview1, preview2).
  using Listings = std::array<std::vector<std::string>, 3>;
  // Lists the three directories of the store under _root, each on a thread of its own:
  // for a large library the listing is most of the start, and it needs no database, so it
  // may run while the database opens.
  static Listings list(const MString& _root);
  // The sweep over listings taken after the last change of the store (before the first
  // request).
  static int sweep(const Listings& _listings);
};

#endif
