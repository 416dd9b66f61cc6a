#ifndef VISTREL_GRECORDSCANNER_H
#define VISTREL_GRECORDSCANNER_H

#include "db/GRecordFile.h"

// Walks a record file from its first record to its last whole one. The file is read in large
// sequential pieces, so a scan costs a few system calls per quarter megabyte rather than one
// per record; nothing is kept between scans.
class GRecordScanner {
 public:
  explicit GRecordScanner(GRecordFile& _file);
  ~GRecordScanner();
  GRecordScanner(const GRecordScanner&) = delete;
  GRecordScanner& operator=(const GRecordScanner&) = delete;

  // The next record, or null after the last whole one. Valid until the next call.
  const uchar* next() {
    if (position == available && !fill()) return nullptr;
    index = first + position;
    return buffer + (size_t)(position++) * recordSize;
  }
  // Number of the record that next() returned last.
  int getIndex() const { return index; }
  // Number of records seen so far (the record count once next() has returned null).
  int getCount() const { return first + available; }

 private:
  bool fill();

  GRecordFile& file;
  int recordSize;
  int capacity;   // records per piece
  uchar* buffer;  // capacity records, plus slack so that wide loads past the end stay inside
  int first;      // number of the first record in the buffer
  int available;  // records in the buffer
  int position;   // next record to hand out
  int index;
};

#endif
