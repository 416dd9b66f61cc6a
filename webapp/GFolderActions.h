#ifndef VISTREL_GFOLDERACTIONS_H
#define VISTREL_GFOLDERACTIONS_H

class GSession;
class MList;

// The actions on the folder tree (0 create, 1 update, 2 delete), open to administrators and
// folder administrators. The tree stays a tree: a new folder goes only under the root or an
// existing folder, and a folder never moves under itself or one of its descendants. A
// folder holds either sub-folders or images, never both, and a folder with sub-folders is
// not deleted.
class GFolderActions {
 public:
  // 0: a disabled folder owned by the session's user; writes `Folder.id`.
  void createFolder(GSession& _session, MList& _params);
  // 1: moves, renames, re-flags the folder; writes `Folder.id` and `Folder.parent` for the
  // page that follows.
  void updateFolder(GSession& _session, MList& _params);
  // 2: the folder and its publications; writes `Folder.id`, `Folder.parent` and
  // `Folder.imageFolder`.
  void deleteFolder(GSession& _session, MList& _params);
};

#endif
