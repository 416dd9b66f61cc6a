#ifndef VISTREL_GIMAGEFOLDERREC_H
#define VISTREL_GIMAGEFOLDERREC_H

#include "db/GImageStatus.h"
#include "lib/core/MTypes.h"

// The 20-byte link record of folderImage.db (layout table in GDatabase.h). A link has no id:
// the pair (folder, image) names it, and it is free when both are negative.
class GImageFolderRec {
 public:
  enum { SIZE = 20, CREATION_TIME = 0, FOLDER = 4, USER = 8, IMAGE = 12, STATUS = 16 };

  GImageFolderRec() : creationTime(0), folder(-1), user(-1), image(-1), status(0) {}

  bool isFree() const { return folder < 0 && image < 0; }
  // Builds the whole record from zero bytes.
  void encode(uchar* _record) const;
  void decode(const uchar* _record);

  uint creationTime;
  int folder;
  int user;
  int image;
  GImageStatus status;
};

#endif
