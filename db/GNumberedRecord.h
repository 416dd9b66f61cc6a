#ifndef VISTREL_GNUMBEREDRECORD_H
#define VISTREL_GNUMBEREDRECORD_H

#include "db/GRecordBytes.h"
#include "lib/core/MTypes.h"

// The codec part (GRecordTable) shared by the files whose record number is the id (users,
// images, folders): the id, at the start of the record, marks it in use and -1 marks it
// free; a removal leaves the record zero bytes but for that -1.
class GNumberedRecord {
 public:
  enum { MARK = 0, MARK_SIZE = 4, CLEARS = 1 };

  static bool inUse(const uchar* _record) { return GRecordBytes::getInt(_record, MARK) >= 0; }
  static bool holds(const uchar* _record, int _index) {
    return _index >= 0 && GRecordBytes::getInt(_record, MARK) == _index;
  }
  static void unmark(uchar* _record) { GRecordBytes::putInt(_record, MARK, -1); }
  static void freeMark(uchar* _mark) { GRecordBytes::putInt(_mark, 0, -1); }
};

#endif
