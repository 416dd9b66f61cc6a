#ifndef VISTREL_GFOLDERRECORD_H
#define VISTREL_GFOLDERRECORD_H

#include "db/GFolder.h"
#include "db/GNumberedRecord.h"
#include "lib/core/MTypes.h"

// The 120-byte folder record of folder.db (layout table in GDatabase.h), and its codec for
// GRecordTable.
class GFolderRecord : public GNumberedRecord {
 public:
  typedef GFolder Entity;
  typedef GFolder Listed;

  enum { SIZE = 120, ID = 0, ENABLED = 4, PARENT_ID = 8, OWNER_ID = 12, NAME = 16, IMAGE_FOLDER = 116 };

  // Builds the whole record from zero bytes; the name is cut to 99 characters.
  static void encode(const GFolder& _folder, uchar* _record);
  static void decode(const uchar* _record, GFolder& _folder);
  static void store(const GFolder& _folder, int _index, uchar* _record);
};

#endif
