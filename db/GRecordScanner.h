#ifndef VISTREL_GRECORDSCANNER_H
#define VISTREL_GRECORDSCANNER_H

#include "db/GRecordFile.h"

// Walks a record file from its first record to its last whole one (a torn tail is not a
// record). The file is mapped into memory a window of a few megabytes at a time, so a scan
// reads the operating system's copy of the file directly: no system call per record and no
// copying. Windows start on record and page boundaries, so every record lies whole inside
// one. Where mapping is not possible the scanner reads large pieces with pread instead.
// Nothing is kept between scans; records written during a scan are not seen by it.
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
    return data + (size_t)(position++) * recordSize;
  }
  // Number of the record that next() returned last.
  int getIndex() const { return index; }
  // Number of records seen so far (the record count once next() has returned null).
  int getCount() const { return first + available; }

 private:
  bool fill();
  void release();

  GRecordFile& file;
  int recordSize;
  int total;            // whole records in the file when the scan began
  int windowRecords;    // records per window
  const uchar* data;    // the current window
  void* mapping;        // the mapped window, or null
  size_t mappingSize;
  uchar* buffer;        // the pread fallback's buffer, or null
  int first;            // number of the first record in the window
  int available;        // records in the window
  int position;         // next record to hand out
  int index;
};

#endif
