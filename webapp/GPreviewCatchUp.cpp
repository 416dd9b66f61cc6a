#include "webapp/GPreviewCatchUp.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "lib/core/MException.h"
#include "lib/imaging/MJpegPreviews.h"
#include "views/GApplication.h"
#include "webapp/GImageStore.h"
#include "webapp/GUpload.h"

namespace {

bool causedByFullDisk(const MException& _failure) {
  for (const MException* e = &_failure; e != nullptr; e = e->getInner()) {
    if (e->getCode() == ENOSPC || e->getCode() == EDQUOT) return true;
  }
  return false;
}

bool imageIsThere(int _id) {
  GImage image;
  return GApplication::get().getDatabase().getImage(_id, image) >= 0 && image.width > 0;
}

}  // namespace

GPreviewCatchUp::~GPreviewCatchUp() { stop(); }

bool GPreviewCatchUp::make(int _id, int _quality2) try {
  if (!imageIsThere(_id)) return false;
  MString original = GImageStore::originalPath(_id);
  MString large2x = GImageStore::backgroundPath(_id, 0);
  MString screen = GImageStore::backgroundPath(_id, 1);
  MJpegPreviews previews;
  try {
    previews.make(original.getValue(),
                  {{GUpload::preview2xHeight, large2x, _quality2},
                   {0, screen, _quality2, GUpload::screenSide}},
                  GUpload::maxSide);
  } catch (const MException& _failure) {
    if (causedByFullDisk(_failure)) throw;
    fprintf(stderr, "The pictures for screens of the image (%d) cannot be made!\n", _id);
    return false;
  }
  bool moved = imageIsThere(_id) &&
               rename(large2x.getValue(), GImageStore::preview2xPath(_id).getValue()) == 0 &&
               rename(screen.getValue(), GImageStore::screenPath(_id).getValue()) == 0;
  // The image may have been deleted meanwhile, with its files: nothing of it may stay.
  if (!moved || !imageIsThere(_id)) {
    unlink(large2x.getValue());
    unlink(screen.getValue());
    if (!imageIsThere(_id)) {
      unlink(GImageStore::preview2xPath(_id).getValue());
      unlink(GImageStore::screenPath(_id).getValue());
    }
    return false;
  }
  return true;
} M_RETHROW("bool GPreviewCatchUp::make(int _id,int _quality2)")

void GPreviewCatchUp::start(std::vector<int> _ids, int _quality2) {
  stop();
  if (_ids.empty()) return;
  stopping = false;
  finished = false;
  done = 0;
  worker.reset(new MWorkerPool(1, 1));
  fprintf(stderr, "Making the pictures for screens of %zu images in the background.\n",
          _ids.size());
  worker->submit([this, ids = std::move(_ids), _quality2]() {
    for (int id : ids) {
      if (stopping) break;
      try {
        make(id, _quality2);
      } catch (const MException& _failure) {
        fprintf(stderr, "The pictures for screens stop: %s\n", _failure.getMessage().getValue());
        break;
      }
      ++done;
    }
    finished = true;
  }, [this]() { finished = true; });
}

void GPreviewCatchUp::stop() {
  stopping = true;
  if (worker) {
    worker->shutdown(MWorkerPool::FINISH_QUEUED);
    worker.reset();
  }
  finished = true;
}
