#ifndef VISTREL_GIMAGEACTIONS_H
#define VISTREL_GIMAGEACTIONS_H

#include "db/GImageStatus.h"

class GSession;
class GSessionManagement;
class MList;

// The actions on stored images and on their publications in folders: publishing and
// withdrawing by the image's owner, accepting and denying by administrators, editing the
// descriptive texts, and deleting an image with its files.
class GImageActions {
 public:
  explicit GImageActions(GSessionManagement& _sessions);
  GImageActions(const GImageActions&) = delete;
  GImageActions& operator=(const GImageActions&) = delete;

  // 3: the owner links the image to the folder; the link waits for acceptance when the
  // owner's publications need it and the folder is someone else's.
  void publishImage(GSession& _session, MList& _params);
  // 4: the owner withdraws the image from the folder.
  void removeImageFromFolder(GSession& _session, MList& _params);
  // 5 and 6: an administrator accepts or denies a publication.
  void setFolderImageStatus(GSession& _session, MList& _params, GImageStatus _status);
  // 12: only the owner, administrators included; the files, the publications, the record,
  // and the image in every session's search result.
  void deleteImage(GSession& _session, MList& _params);
  // 13: the owner or an administrator replaces name, keywords, description and date.
  void updateImage(GSession& _session, MList& _params);
  // 14 and 15: an administrator, or a session an administrator opened as the image's owner,
  // accepts or denies an uploaded image.
  void setImageStatus(GSession& _session, MList& _params, GImageStatus _status);

 private:
  GSessionManagement& sessions;
};

#endif
