#ifndef VISTREL_GSHARELINKRECORD_H
#define VISTREL_GSHARELINKRECORD_H

#include <cstdio>

#include "db/GNumberedRecord.h"
#include "db/GShareLink.h"
#include "lib/core/MTypes.h"

class GRecordFile;

// The 128-byte record of sharelink.db (layout table in GDatabase.h), and its codec for
// GRecordTable. The record number is the link's id.
class GShareLinkRecord : public GNumberedRecord {
 public:
  typedef GShareLink Entity;
  typedef GShareLink Listed;

  enum {
    SIZE = 128,
    ID = 0,
    KIND = 4,
    STATE = 5,
    ORIGINALS = 6,
    CONTRIBUTIONS = 7,
    TARGET = 8,
    MAKER = 12,
    TOKEN = 16,
    CREATED = 32,
    EXPIRES = 36,
    OPENED = 40,
    LAST_OPENED = 44,
    CONTRIBUTION_DAY = 48,
    CONTRIBUTIONS_TODAY = 52,
    PASSWORD = 56,
    NAME = 88
  };

  static void encode(const GShareLink& _link, uchar* _record);
  static void decode(const uchar* _record, GShareLink& _link);
  static void store(const GShareLink& _link, int _index, uchar* _record);

  // The file as a table of the database dump (never the tokens nor the password hashes).
  static void dump(GRecordFile& _file, FILE* _out);
};

#endif
