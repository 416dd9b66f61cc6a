#ifndef VISTREL_GPREVIEWCATCHUP_H
#define VISTREL_GPREVIEWCATCHUP_H

#include <atomic>
#include <memory>
#include <vector>

#include "lib/platform/MWorkerPool.h"

// Makes the large preview at twice its pixels and the screen-sized picture of images stored
// before uploads made them, after the start: one image at a time on a thread of its own at
// the workers' low priority, never on the server loop, holding one picture's memory at a
// time. Until an image has them, pages offer its present previews (GInfoView::hasFile).
//
// A picture is made under a temporary name and moved into place only while the image is
// still there, and taken away again when the image went meanwhile; a deletion that runs
// between the two leaves a file without a record, which the next start removes. An image
// whose original cannot be decoded is skipped (a line on standard error); a full disk stops
// the work until the next start.
class GPreviewCatchUp {
 public:
  GPreviewCatchUp() = default;
  ~GPreviewCatchUp();
  GPreviewCatchUp(const GPreviewCatchUp&) = delete;
  GPreviewCatchUp& operator=(const GPreviewCatchUp&) = delete;

  // Starts making the pictures of the images _ids (GImageStore::lackingLargeFiles) with the
  // qualities of the upload; nothing to do for none.
  void start(std::vector<int> _ids, int _quality2);
  // Ends the work: the picture under way is finished, the rest left for the next start.
  void stop();
  // Images done so far (made, skipped or gone), for the tests.
  int getDone() const { return done.load(); }
  // Whether the work has ended (every image done, or stopped).
  bool isFinished() const { return finished.load(); }

  // Makes the two pictures of image _id now, on the calling thread; false when the image
  // or its original is gone or the original cannot be decoded (nothing left behind).
  static bool make(int _id, int _quality2);

 private:
  std::unique_ptr<MWorkerPool> worker;
  std::atomic<bool> stopping{false};
  std::atomic<bool> finished{true};
  std::atomic<int> done{0};
};

#endif
