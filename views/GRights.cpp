#include "views/GRights.h"

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GImageFolder.h"
#include "lib/core/MList.h"
#include "views/GApplication.h"
#include "views/GSession.h"

bool GRights::isLoggedIn(const GSession& _session) { return _session.user.id >= 0; }

bool GRights::isAdministrator(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.type == administratorType;
}

bool GRights::ownsImage(const GSession& _session, const GImage& _image) {
  return isLoggedIn(_session) && _image.user == _session.user.id;
}

bool GRights::isGuestAccount(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.id == guestAccountId;
}

bool GRights::mayPublish(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.type == ordinaryType && !isGuestAccount(_session);
}

bool GRights::mayViewImage(const GSession& _session, const GImage& _image) {
  if (!isLoggedIn(_session)) return false;
  if (isAdministrator(_session) || ownsImage(_session, _image)) return true;
  if (_image.status == GIMAGE_ACCEPTED) return true;
  return ownsWaitingFolder(_session, _image);
}

bool GRights::mayDownloadImage(const GSession& _session, const GImage& _image) {
  if (isAdministrator(_session)) return true;
  return _session.user.imageDownload && mayViewImage(_session, _image);
}

namespace {

// The image of the id for a logged-in session; false when there is none to decide on.
bool lookUp(const GSession& _session, int _imageId, GImage& _image) {
  return GRights::isLoggedIn(_session) &&
         GApplication::get().getDatabase().getImage(_imageId, _image) >= 0;
}

}  // namespace

bool GRights::mayViewImage(const GSession& _session, int _imageId) {
  GImage image;
  return lookUp(_session, _imageId, image) && mayViewImage(_session, image);
}

bool GRights::mayDownloadImage(const GSession& _session, int _imageId) {
  GImage image;
  return lookUp(_session, _imageId, image) && mayDownloadImage(_session, image);
}

bool GRights::ownsWaitingFolder(const GSession& _session, const GImage& _image) {
  GDatabase& database = GApplication::get().getDatabase();
  MList links;
  database.getUserImageFolders(_image.user, links);
  for (MItem* item = links.getFirstItem(); item != nullptr; item = links.getNextItem(item)) {
    GImageFolder* link = dynamic_cast<GImageFolder*>(item->object);
    if (link == nullptr || link->image != _image.id || link->status != GIMAGE_WAITING) continue;
    GFolder folder;
    if (database.getFolder(link->folder, folder) >= 0 && folder.ownerId == _session.user.id) {
      return true;
    }
  }
  return false;
}
