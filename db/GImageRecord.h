#ifndef VISTREL_GIMAGERECORD_H
#define VISTREL_GIMAGERECORD_H

#include "db/GImage.h"
#include "db/GNumberedRecord.h"
#include "lib/core/MTypes.h"

// The 472-byte image record of image.db (layout table in GDatabase.h). The creation time is
// a field of the record only; GImage does not carry it. Also the codec for GRecordTable.
class GImageRecord : public GNumberedRecord {
 public:
  typedef GImage Entity;
  typedef GImage Listed;

  enum {
    SIZE = 472,
    ID = 0,
    CREATION_TIME = 4,
    USER = 8,
    STATUS = 12,
    DATE = 13,
    WIDTH = 24,
    HEIGHT = 26,
    BYTES = 28,
    NAME = 32,
    DESCRIPTION = 72,
    KEYWORDS = 272,
    // The characters (bytes) each text field holds.
    DATE_MAX = 10,
    NAME_MAX = 39,
    DESCRIPTION_MAX = 199,
    KEYWORDS_MAX = 199
  };

  // Builds the whole record from zero bytes; texts are cut to their fields.
  static void encode(const GImage& _image, uint _creationTime, uchar* _record);
  static void decode(const uchar* _record, GImage& _image);
  // Keeps the creation time the record holds.
  static void store(const GImage& _image, int _index, uchar* _record);
};

#endif
