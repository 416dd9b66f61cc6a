#ifndef VISTREL_GRECORDOBSERVER_H
#define VISTREL_GRECORDOBSERVER_H

#include "lib/core/MTypes.h"

class GRecordFile;

// Told of every change to a whole record of a file, so that what it derived from the
// records (the in-memory indexes) stays in step: forget() sees the record as it was just
// before a write, learn() as it is just after. A record completed by an append is only
// learnt; a torn tail is never seen. synced() follows every sync of the file, durable or
// not (the order of writes and syncs); it may come from several threads at once, without
// the database's lock.
class GRecordObserver {
 public:
  virtual ~GRecordObserver() {}
  virtual void forget(GRecordFile& _file, int _index, const uchar* _record) = 0;
  virtual void learn(GRecordFile& _file, int _index, const uchar* _record) = 0;
  virtual void synced(GRecordFile& _file) {}
};

#endif
