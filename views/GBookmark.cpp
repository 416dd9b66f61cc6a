#include "views/GBookmark.h"

#include <climits>

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImageFolder.h"
#include "views/GApplication.h"
#include "views/GIds.h"
#include "views/GImageMember.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GView.h"

const char* const GBookmark::FOLDER = "folder";
const char* const GBookmark::IMAGE = "image";

namespace {

// The number (from 1) of the image in the folder's list as the folder's pages count it for
// the session; 0 when it is not there.
int ordinalIn(GSession& _session, int _folder, int _image) {
  MList links;
  GApplication::get().getDatabase().getFolderImagesPage(
      _folder, !GRights::isAdministrator(_session), 0, INT_MAX, links);
  int ordinal = 0;
  for (MItem* item = links.getFirstItem(); item != nullptr; item = links.getNextItem(item)) {
    ++ordinal;
    GImageFolder* link = dynamic_cast<GImageFolder*>(item->object);
    if (link != nullptr && link->image == _image) return ordinal;
  }
  return 0;
}

}  // namespace

bool GBookmark::open(GSession& _session, MList& _params) {
  if (!GRights::isLoggedIn(_session) || _params.getObject("Folder.id") != nullptr) return false;
  GDatabase& database = GApplication::get().getDatabase();
  const GImageMember& folderImages = GImageMember::get(GImageMember::FOLDER_IMAGES);
  int folder = -1;
  if (_params.getObject(FOLDER) != nullptr) {
    GFolder stored;
    folder = GView::paramInt(_params, FOLDER);
    if (database.getFolder(folder, stored) < 0) return false;
    _session.viewState.deleteObject(folderImages.imageKey);
  } else if (_params.getObject(IMAGE) != nullptr) {
    int image = GView::paramInt(_params, IMAGE);
    if (!GRights::mayViewImage(_session, image)) return false;
    // The first folder, in the order of the links, where the session finds it.
    MList links;
    GImage stored;
    database.getImage(image, stored);
    database.getUserImageFolders(stored.user, links);
    int ordinal = 0;
    for (MItem* item = links.getFirstItem(); item != nullptr && ordinal == 0;
         item = links.getNextItem(item)) {
      GImageFolder* link = dynamic_cast<GImageFolder*>(item->object);
      if (link == nullptr || link->image != image) continue;
      ordinal = ordinalIn(_session, link->folder, image);
      if (ordinal > 0) folder = link->folder;
    }
    if (ordinal == 0) return false;
    _session.viewState.setObject(folderImages.imageKey, image);
    _session.viewState.setObject(folderImages.ordinalKey, ordinal);
  } else {
    return false;
  }
  _params.setObject("tab_main", GIds::MODULE_IMAGE_FOLDERS);
  _params.setObject("Folder.id", folder);
  _session.viewState.setObject("ImageFolderView.tab", GIds::TAB_FOLDER);
  return true;
}

MString GBookmark::carried(MList& _params) {
  for (const char* name : {FOLDER, IMAGE}) {
    if (_params.getObject(name) != nullptr && GView::paramInt(_params, name) >= 0) {
      return MString::format("&%s=%d", name, GView::paramInt(_params, name));
    }
  }
  return MString();
}

MString GBookmark::address(MList& _params) {
  MString carriedOn = carried(_params);
  if (carriedOn.getLength() == 0) return MString("/");
  return MString::format("/?%s", carriedOn.getValue() + 1);
}

void GBookmark::show(MTextStream& _out, const char* _name, int _id) {
  // The frames share the window's origin; a browser that refuses leaves the address as it is.
  _out << "<SCRIPT>try { top.history.replaceState(null, '', '/?" << _name << "=" << _id
       << "'); } catch (e) {}</SCRIPT>\n";
}
