#ifndef VISTREL_GRECORDFILE_H
#define VISTREL_GRECORDFILE_H

#include "lib/core/MString.h"
#include "lib/core/MTypes.h"

// One database file: a headerless sequence of fixed-size records, record i at byte
// i * recordSize. Every access is a positioned system call on the descriptor (no user-space
// buffer), so a finished write is in the operating system at once; sync() then makes it
// durable. A tail shorter than one record (a write torn by a crash) is not a record: it is
// ignored by reads and counts, and the next append overwrites it.
class GRecordFile {
 public:
  explicit GRecordFile(int _recordSize);
  ~GRecordFile();
  GRecordFile(const GRecordFile&) = delete;
  GRecordFile& operator=(const GRecordFile&) = delete;

  // Opens an existing file for reading and writing, never truncating it. On failure the
  // file stays closed and errno tells why.
  bool openExisting(const char* _path);
  // Creates a new empty file; fails if the name exists (so nothing is ever truncated).
  bool createNew(const char* _path);
  void close();
  bool isOpen() const { return fd >= 0; }
  const MString& getPath() const { return path; }
  int getDescriptor() const { return fd; }
  // After the file was renamed on disk: the name used in later messages.
  void setPath(const char* _path) { path = _path; }

  int getRecordSize() const { return recordSize; }
  // Number of whole records.
  int getRecordCount();

  // Reads record _index whole; false past the end of the file (also for a torn tail).
  bool readRecord(int _index, uchar* _record);
  // Reads up to _maxRecords whole records from record _first on; returns how many.
  int readRecords(int _first, uchar* _buffer, int _maxRecords);
  // One positioned write of _size bytes at _offset within record _index.
  void write(int _index, int _offset, const void* _data, int _size);
  void writeRecord(int _index, const uchar* _record) { write(_index, 0, _record, recordSize); }
  // Waits until what was written is on the storage device (when durability is on).
  void sync();
  void setDurable(bool _durable) { durable = _durable; }

  // Makes a rename or creation inside the directory durable.
  static void syncDirectory(const char* _directory);

 private:
  int fd;
  int recordSize;
  bool durable;
  MString path;
};

#endif
