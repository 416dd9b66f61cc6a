#include "views/GRights.h"

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GImageFolder.h"
#include "db/GShareLink.h"
#include "lib/core/MList.h"
#include "views/GApplication.h"
#include "views/GSession.h"

bool GRights::isLoggedIn(const GSession& _session) { return _session.user.id >= 0; }

bool GRights::isAdministrator(const GSession& _session) {
  return isLoggedIn(_session) && isAdministrator(_session.user);
}

bool GRights::isAdministrator(const GUser& _user) { return _user.type == administratorType; }

bool GRights::isGuestAccount(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.id == guestAccountId;
}

bool GRights::isOpenedAsAnotherUser(const GSession& _session) {
  return _session.returnSessionId.getLength() > 0;
}

bool GRights::ownsImage(const GSession& _session, const GImage& _image) {
  return isLoggedIn(_session) && _image.user == _session.user.id;
}

bool GRights::hasOwnAccount(const GSession& _session) {
  return isLoggedIn(_session) && !isGuestAccount(_session);
}

bool GRights::mayEditOwnAccount(const GSession& _session, int _userId) {
  // The guest account is shared by every visitor: none of them may rename it or change its
  // password for all the others.
  return _userId >= 0 && _userId == _session.user.id && _userId != guestAccountId;
}

bool GRights::mayAdministerUsers(const GSession& _session) { return isAdministrator(_session); }

bool GRights::maySeeServerStatus(const GSession& _session) { return isAdministrator(_session); }

bool GRights::mayGrantAdministration(const GSession& _session, int _userId) {
  return isLoggedIn(_session) && _session.user.id == administratorAccountId &&
         _userId != administratorAccountId;
}

bool GRights::mayOpenSessionAs(const GSession& _session) { return isAdministrator(_session); }

bool GRights::hasAdministratorsTimeOut(const GSession& _session) {
  return isAdministrator(_session) || isOpenedAsAnotherUser(_session);
}

bool GRights::mayAdministerFolders(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.folderAdmin;
}

bool GRights::mayEditFolder(const GSession& _session, const GFolder& _folder) {
  return isAdministrator(_session) || (isLoggedIn(_session) && _folder.ownerId == _session.user.id);
}

bool GRights::mayEditFolder(const GSession& _session, int _folderId) {
  if (isAdministrator(_session)) return true;
  if (_folderId == rootFolderId) {
    return isLoggedIn(_session) && _session.user.id == administratorAccountId;
  }
  GFolder folder;
  return GApplication::get().getDatabase().getFolder(_folderId, folder) >= 0 &&
         mayEditFolder(_session, folder);
}

bool GRights::mayChooseFolderOwner(const GSession& _session) { return isAdministrator(_session); }

bool GRights::mayUpload(const GSession& _session) {
  return isLoggedIn(_session) && mayUpload(_session.user);
}

bool GRights::mayUpload(const GUser& _user) { return _user.id >= 0 && _user.imageUpload; }

bool GRights::hasOwnImages(const GSession& _session) {
  return mayUpload(_session) && !isAdministrator(_session);
}

bool GRights::uploadWaitsForAcceptance(const GUser& _user) { return _user.imageAccept; }

bool GRights::mayEditImage(const GSession& _session, const GImage& _image) {
  return ownsImage(_session, _image) || isAdministrator(_session);
}

bool GRights::mayDeleteImage(const GSession& _session, const GImage& _image) {
  return ownsImage(_session, _image);
}

bool GRights::mayPublishImage(const GSession& _session, const GImage& _image) {
  return ownsImage(_session, _image);
}

bool GRights::mayPublish(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.type == ordinaryType && !isGuestAccount(_session);
}

bool GRights::publicationWaits(const GSession& _session, const GFolder& _folder) {
  return _session.user.folderAccept && _folder.ownerId != _session.user.id;
}

bool GRights::mayDecideOnImages(const GSession& _session) { return isAdministrator(_session); }

bool GRights::mayDecideOnImage(const GSession& _session, const GImage& _image) {
  return isAdministrator(_session) ||
         (isOpenedAsAnotherUser(_session) && ownsImage(_session, _image));
}

bool GRights::mayDownloadOriginals(const GSession& _session) {
  return isLoggedIn(_session) && _session.user.imageDownload;
}

bool GRights::mayViewImage(const GSession& _session, const GImage& _image) {
  if (!isLoggedIn(_session)) return false;
  if (isAdministrator(_session) || ownsImage(_session, _image)) return true;
  if (_image.status == GIMAGE_ACCEPTED) return true;
  return ownsWaitingFolder(_session, _image);
}

bool GRights::mayDownloadImage(const GSession& _session, const GImage& _image) {
  if (isAdministrator(_session)) return true;
  return mayDownloadOriginals(_session) && mayViewImage(_session, _image);
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

bool GRights::mayViewScreenPictures(const GSession& _session, int _imageId) {
  return mayViewImage(_session, _imageId);
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

bool GRights::mayShareFolder(const GSession& _session, const GFolder& _folder) {
  return hasOwnAccount(_session) && mayShareFolder(_session.user, _folder);
}

bool GRights::mayShareImage(const GSession& _session, const GImage& _image) {
  return hasOwnAccount(_session) && mayShareImage(_session.user, _image);
}

bool GRights::mayShareFolder(const GUser& _maker, const GFolder& _folder) {
  if (_maker.id < 0 || _maker.id == guestAccountId || !_maker.enabled) return false;
  return isAdministrator(_maker) || _folder.ownerId == _maker.id;
}

bool GRights::mayShareImage(const GUser& _maker, const GImage& _image) {
  if (_maker.id < 0 || _maker.id == guestAccountId || !_maker.enabled) return false;
  return isAdministrator(_maker) || _image.user == _maker.id;
}

bool GRights::linkShowsImage(const GImage& _image) { return _image.status == GIMAGE_ACCEPTED; }

bool GRights::linkAllowsOriginals(const GUser& _maker, const GShareLink& _link) {
  return _link.originals && (isAdministrator(_maker) || _maker.imageDownload);
}

bool GRights::mayManageAllLinks(const GSession& _session) { return isAdministrator(_session); }

bool GRights::mayManageLink(const GSession& _session, const GShareLink& _link) {
  return hasOwnAccount(_session) &&
         (isAdministrator(_session) || _link.maker == _session.user.id);
}
