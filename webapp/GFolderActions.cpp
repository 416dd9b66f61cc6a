#include "webapp/GFolderActions.h"

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "views/GApplication.h"
#include "views/GMessage.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GView.h"

namespace {

// A flag of the forms: any number but 0, and an absent parameter, is true.
bool flag(MList& _params, const char* _name) { return GView::paramInt(_params, _name) != 0; }

}  // namespace

void GFolderActions::createFolder(GSession& _session, MList& _params) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  int parent = GView::paramInt(_params, "Folder.parent");
  GFolder parentFolder;
  // A folder under a parent that does not exist would hang outside the tree.
  if (parent != GRights::rootFolderId && database.getFolder(parent, parentFolder) < 0) return;
  if (!GRights::mayEditFolder(_session, parent)) return;
  GFolder folder;
  folder.parentId = parent;
  folder.name = GView::paramText(_params, "Folder.name");
  folder.imageFolder = flag(_params, "Folder.imageFolder");
  folder.ownerId = _session.user.id;
  folder.enabled = false;
  int id = database.addFolder(folder);
  _params.setObject("Folder.id", id);
} M_RETHROW("void GFolderActions::createFolder(GSession& _session,MList& _params)")

void GFolderActions::updateFolder(GSession& _session, MList& _params) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  GFolder folder;
  if (database.getFolder(GView::paramInt(_params, "Folder.id"), folder) < 0) {
    _params.setObject("Folder.id", 0);
    _params.setObject("Folder.parent", 0);
    return;
  }
  if (!GRights::mayEditFolder(_session, folder)) {
    _params.setObject("Folder.parent", folder.parentId);
    return;
  }

  int newParent = GView::paramInt(_params, "Folder.parent");
  if (newParent != GRights::rootFolderId) {
    GFolder parentFolder;
    if (database.getFolder(newParent, parentFolder) < 0) {
      _params.setObject("Folder.parent", folder.parentId);
      return;
    }
  }
  if (newParent != folder.parentId) {
    bool allowed = GRights::mayEditFolder(_session, newParent);
    // Under itself or under one of its own descendants the folder would leave the tree and
    // take its sub-tree with it into a cycle.
    bool staysTree = newParent != folder.id && !database.isChildFolder(newParent, folder.id);
    if (allowed && staysTree) folder.parentId = newParent;
  }
  _params.setObject("Folder.parent", folder.parentId);

  if (GRights::mayChooseFolderOwner(_session)) {
    folder.ownerId = GView::paramInt(_params, "Folder.ownerId");
  }
  folder.name = GView::paramText(_params, "Folder.name");
  bool imageFolder = flag(_params, "Folder.imageFolder");
  if (imageFolder && database.getNumOfChildFolders(folder.id) > 0) imageFolder = false;
  if (!imageFolder && database.getNumOfFolderImages(folder.id) > 0) imageFolder = true;
  folder.imageFolder = imageFolder;
  folder.enabled = flag(_params, "Folder.enabled");
  database.updateFolder(folder.id, folder);
  GMessage::set(_params, GMessage::SAVED);
} M_RETHROW("void GFolderActions::updateFolder(GSession& _session,MList& _params)")

void GFolderActions::deleteFolder(GSession& _session, MList& _params) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  GFolder folder;
  if (database.getFolder(GView::paramInt(_params, "Folder.id"), folder) < 0) return;
  if (!GRights::mayEditFolder(_session, folder)) return;
  MList children;
  if (database.getChildFolders(folder.id, children) > 0) {
    _params.setObject("Folder.id", folder.id);
    _params.setObject("Folder.parent", folder.parentId);
    return;
  }
  database.deleteFolderImages(folder.id);
  database.deleteFolder(folder.id);
  GMessage::set(_params, GMessage::DELETED);
  _params.setObject("Folder.imageFolder", 0);
  _params.setObject("Folder.id", 0);
  _params.setObject("Folder.parent", folder.parentId);
  // The session that was looking at the folder looks at its parent from now on.
  if (GView::toInt(_session.viewState.getObject("Folder.id")) == folder.id) {
    _session.viewState.setObject("Folder.id", folder.parentId);
  }
} M_RETHROW("void GFolderActions::deleteFolder(GSession& _session,MList& _params)")
