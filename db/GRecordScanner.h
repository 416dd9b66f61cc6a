#ifndef VISTREL_GRECORDSCANNER_H
#define VISTREL_GRECORDSCANNER_H

#include "db/GRecordFile.h"

// Walks a record file from its first record to its last whole one (a torn tail is not a
// record), straight through the file's mapping: no system call and no copy per record.
// Records appended during a scan are not seen by it; a scan must not outlive a write that
// makes the file longer.
class GRecordScanner {
 public:
  explicit GRecordScanner(GRecordFile& _file)
      : file(_file), total(_file.getRecordCount()), position(0), index(-1) {}
  GRecordScanner(const GRecordScanner&) = delete;
  GRecordScanner& operator=(const GRecordScanner&) = delete;

  // The next record, or null after the last whole one. Valid until the file grows.
  const uchar* next() {
    if (position >= total) return nullptr;
    index = position++;
    return file.record(index);
  }
  // Number of the record that next() returned last.
  int getIndex() const { return index; }
  // Number of records seen so far (the record count once next() has returned null).
  int getCount() const { return position; }

 private:
  GRecordFile& file;
  int total;     // whole records in the file when the scan began
  int position;  // next record to hand out
  int index;
};

#endif
