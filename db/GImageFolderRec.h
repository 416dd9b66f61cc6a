#ifndef VISTREL_GIMAGEFOLDERREC_H
#define VISTREL_GIMAGEFOLDERREC_H

#include "db/GImageFolder.h"
#include "db/GImageStatus.h"
#include "lib/core/MTypes.h"

// The 20-byte link record of folderImage.db (layout table in GDatabase.h), and its codec for
// GRecordTable. A link has no id: the pair (folder, image) names it, and it is free when both
// are negative. Folder, user and image together mark it in use: an addition writes the
// record with the user alone first.
class GImageFolderRec {
 public:
  typedef GImageFolderRec Entity;
  typedef GImageFolder Listed;
  enum { SIZE = 20, CREATION_TIME = 0, FOLDER = 4, USER = 8, IMAGE = 12, STATUS = 16 };
  enum { MARK = FOLDER, MARK_SIZE = 12, CLEARS = 0 };

  GImageFolderRec() : creationTime(0), folder(-1), user(-1), image(-1), status(0) {}

  bool isFree() const { return folder < 0 && image < 0; }
  // Builds the whole record from zero bytes.
  void encode(uchar* _record) const;
  void decode(const uchar* _record);

  static bool inUse(const uchar* _record);
  static bool holds(const uchar* _record, int _index) { return inUse(_record); }
  static void store(const GImageFolderRec& _link, int _index, uchar* _record) {
    _link.encode(_record);
  }
  static void decode(const uchar* _record, GImageFolderRec& _link) { _link.decode(_record); }
  static void decode(const uchar* _record, GImageFolder& _imageFolder);
  static void unmark(uchar* _record);
  static void freeMark(uchar* _mark);

  uint creationTime;
  int folder;
  int user;
  int image;
  GImageStatus status;
};

#endif
