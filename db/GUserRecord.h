#ifndef VISTREL_GUSERRECORD_H
#define VISTREL_GUSERRECORD_H

#include "db/GNumberedRecord.h"
#include "db/GUser.h"
#include "lib/core/MTypes.h"

// The 208-byte user record of user.db (layout table in GDatabase.h), and its codec for
// GRecordTable.
class GUserRecord : public GNumberedRecord {
 public:
  typedef GUser Entity;
  typedef GUser Listed;

  enum {
    SIZE = 208,
    ID = 0,
    TYPE = 4,
    ENABLED = 8,
    GENERATION = 12,
    RESERVED2 = 16,
    USERNAME = 20,
    PASSWORD = 60,
    FIRSTNAME = 90,
    LASTNAME = 120,
    LANGUAGE = 150,
    EMAIL = 155,
    IMAGE_LIMIT = 196,
    IMAGE_ACCEPT = 200,
    FOLDER_ACCEPT = 201,
    FOLDER_ADMIN = 202,
    IMAGE_UPLOAD = 203,
    IMAGE_DOWNLOAD = 204
  };

  // Builds the whole record from zero bytes; texts are cut to their fields.
  static void encode(const GUser& _user, uchar* _record);
  static void decode(const uchar* _record, GUser& _user);
  static void store(const GUser& _user, int _index, uchar* _record);
};

#endif
