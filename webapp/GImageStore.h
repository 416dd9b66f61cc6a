#ifndef VISTREL_GIMAGESTORE_H
#define VISTREL_GIMAGESTORE_H

#include <array>
#include <string>
#include <vector>

#include "lib/core/MString.h"

// The files of the image store under the root directory: for every image the original, its
// two previews, the large preview at twice its pixels (for screens with two device pixels to
// a CSS pixel; the small preview's is the large preview) and the screen-sized picture of
// the viewer, each in a directory of its own and named by the image id with at least seven
// digits, and the temporary files of uploads, numbered by the request counter. The last two
// are missing for images stored before they were made (GPreviewCatchUp makes them).
class GImageStore {
 public:
  static MString originalPath(int _image_id);
  static MString preview1Path(int _image_id);
  static MString preview2Path(int _image_id);
  static MString preview2xPath(int _image_id);
  static MString screenPath(int _image_id);
  static MString temporaryPath(int _number);
  // The temporary file of a picture made in the background for image _image_id (_kind: 0
  // the large preview at twice its pixels, 1 the screen-sized picture); the start-up
  // repair removes these as it does the uploads'.
  static MString backgroundPath(int _image_id, int _kind);
  // Deletes the files of an image; a file that cannot be deleted (already gone, for
  // one) is skipped.
  static void removeFiles(int _image_id);

  // The start-up repair after a crash, before any request is served: removes the upload
  // temporary files, the image records whose upload never completed (no size yet)
  // together with their folder links and files, and the store files of
  // images that have no record (a deletion that was cut short). The changes of the store
  // are ordered so that a crash at any moment leaves only these three leftovers. Returns
  // the number of files and records removed.
  static int sweep();

  // The directories of the store, in the order of Listings.
  static const char* const directories[5];
  // The names in the store's directories (original, preview1, preview2, preview2x, screen).
  using Listings = std::array<std::vector<std::string>, 5>;
  // Lists the directories of the store under _root, each on a thread of its own:
  // for a large library the listing is most of the start, and it needs no database, so it
  // may run while the database opens.
  static Listings list(const MString& _root);
  // The sweep over listings taken after the last change of the store (before the first
  // request).
  static int sweep(const Listings& _listings);
  // The complete images of the listings (taken after the sweep) that have their original
  // but lack the large preview at twice its pixels or the screen-sized picture, by id.
  static std::vector<int> lackingLargeFiles(const Listings& _listings);
};

#endif
