#include "webapp/GImageActions.h"

#include <algorithm>
#include <vector>

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "views/GApplication.h"
#include "views/GMessage.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GView.h"
#include "webapp/GImageStore.h"
#include "webapp/GSessionManagement.h"

GImageActions::GImageActions(GSessionManagement& _sessions) : sessions(_sessions) {}

void GImageActions::publishImage(GSession& _session, MList& _params) try {
  GDatabase& database = GApplication::get().getDatabase();
  int folderId = GView::paramInt(_params, "Folder.id");
  int imageId = GView::paramInt(_params, "Image.id");
  GImage image;
  GFolder folder;
  if (database.getImage(imageId, image) < 0 || database.getFolder(folderId, folder) < 0) return;
  if (!GRights::mayPublishImage(_session, image)) return;
  bool accepted = !GRights::publicationWaits(_session, folder);
  database.addFolderImage(folderId, imageId, accepted ? GIMAGE_ACCEPTED : GIMAGE_WAITING);
  GMessage::set(_params, accepted ? GMessage::PUBLISHED : GMessage::PUBLISHED_WAITING);
} M_RETHROW("void GImageActions::publishImage(GSession& _session,MList& _params)")

void GImageActions::removeImageFromFolder(GSession& _session, MList& _params) try {
  GDatabase& database = GApplication::get().getDatabase();
  int imageId = GView::paramInt(_params, "Image.id");
  GImage image;
  if (database.getImage(imageId, image) < 0 || !GRights::mayPublishImage(_session, image)) return;
  database.deleteFolderImage(GView::paramInt(_params, "Folder.id"), imageId);
  GMessage::set(_params, GMessage::UNPUBLISHED);
} M_RETHROW("void GImageActions::removeImageFromFolder(GSession& _session,MList& _params)")

void GImageActions::setFolderImageStatus(GSession& _session, MList& _params,
                                         GImageStatus _status) try {
  if (!GRights::mayDecideOnImages(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  int folderId = GView::paramInt(_params, "Folder.id");
  int imageId = GView::paramInt(_params, "Image.id");
  if (_status == GIMAGE_ACCEPTED) {
    database.acceptFolderImage(folderId, imageId);
  } else {
    database.denyFolderImage(folderId, imageId);
  }
  GMessage::set(_params, _status == GIMAGE_ACCEPTED ? GMessage::ACCEPTED : GMessage::DENIED);
} M_RETHROW("void GImageActions::setFolderImageStatus(GSession& _session,MList& _params,GImageStatus _status)")

void GImageActions::deleteImage(GSession& _session, MList& _params) try {
  GDatabase& database = GApplication::get().getDatabase();
  int imageId = GView::paramInt(_params, "Image.id");
  GImage image;
  if (database.getImage(imageId, image) < 0 || !GRights::mayDeleteImage(_session, image)) return;
  // Links, record, then files: a crash in between leaves only files without a record, which
  // the start-up sweep removes, never a record whose files are gone.
  database.deleteImageFolders(imageId);
  database.deleteImage(imageId);
  GImageStore::removeFiles(imageId);
  for (GSession* session : sessions.getAll()) {
    std::vector<int>& found = session->searchResults;
    found.erase(std::remove(found.begin(), found.end(), imageId), found.end());
  }
  GMessage::set(_params, GMessage::DELETED);
} M_RETHROW("void GImageActions::deleteImage(GSession& _session,MList& _params)")

void GImageActions::updateImage(GSession& _session, MList& _params) try {
  GDatabase& database = GApplication::get().getDatabase();
  int imageId = GView::paramInt(_params, "Image.id");
  GImage image;
  if (database.getImage(imageId, image) < 0) return;
  if (!GRights::mayEditImage(_session, image)) return;
  image.name = GView::paramText(_params, "Image.name");
  image.keywords = GView::paramText(_params, "Image.keywords");
  image.description = GView::paramText(_params, "Image.description");
  image.date = GView::paramText(_params, "Image.imageDate");
  database.updateImage(imageId, image);
  GMessage::set(_params, GMessage::SAVED);
} M_RETHROW("void GImageActions::updateImage(GSession& _session,MList& _params)")

void GImageActions::setImageStatus(GSession& _session, MList& _params, GImageStatus _status) try {
  GDatabase& database = GApplication::get().getDatabase();
  int imageId = GView::paramInt(_params, "Image.id");
  GImage image;
  if (database.getImage(imageId, image) < 0 || !GRights::mayDecideOnImage(_session, image)) return;
  if (_status == GIMAGE_ACCEPTED) {
    database.acceptImage(imageId);
  } else {
    database.denyImage(imageId);
  }
  GMessage::set(_params, _status == GIMAGE_ACCEPTED ? GMessage::ACCEPTED : GMessage::DENIED);
} M_RETHROW("void GImageActions::setImageStatus(GSession& _session,MList& _params,GImageStatus _status)")
