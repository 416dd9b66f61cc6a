#ifndef VISTREL_GRECORDFILE_H
#define VISTREL_GRECORDFILE_H

#include <cstddef>

#include "lib/core/MString.h"
#include "lib/core/MTypes.h"

class GRecordObserver;

// One database file: a headerless sequence of fixed-size records, record i at byte
// i * recordSize. The file is mapped into memory (read only, shared with the operating
// system's copy), so reads are memory accesses, not system calls. Every write is still a
// positioned system call on the descriptor (no user-space buffer), so a finished write is in
// the operating system at once and, through the shared mapping, in memory too; sync() then
// makes it durable. The size of the file is kept here: this process is its only writer.
// When an append outgrows the mapping, the file is mapped again, larger (record pointers
// handed out before are then no longer valid). A tail shorter than one record (a write torn
// by a crash) is not a record: it is ignored by reads and counts, and the next append
// overwrites it.
class GRecordFile {
 public:
  explicit GRecordFile(int _recordSize);
  ~GRecordFile();
  GRecordFile(const GRecordFile&) = delete;
  GRecordFile& operator=(const GRecordFile&) = delete;

  // Opens an existing file for reading and writing, never truncating it, and maps it. On
  // failure the file stays closed and errno tells why.
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
  int getRecordCount() const { return count; }
  // Record _index in memory, or null when it is not a whole record of the file. Valid until
  // the next write that makes the file longer.
  const uchar* record(int _index) const {
    return _index >= 0 && _index < count ? view + (size_t)_index * recordSize : nullptr;
  }

  // Reads record _index whole; false past the end of the file (also for a torn tail).
  bool readRecord(int _index, uchar* _record);
  // One positioned write of _size bytes at _offset within record _index.
  void write(int _index, int _offset, const void* _data, int _size);
  void writeRecord(int _index, const uchar* _record) { write(_index, 0, _record, recordSize); }
  // Waits until what was written is on the storage device (when durability is on). Safe
  // beside a write of another thread: it touches nothing a write changes.
  void sync();
  void setDurable(bool _durable) { durable = _durable; }
  // Who is told of changes to whole records (null: nobody).
  void setObserver(GRecordObserver* _observer) { observer = _observer; }

  // Makes a rename or creation inside the directory durable.
  static void syncDirectory(const char* _directory);

 private:
  // Maps at least _bytes of the file (the mapping may reach past its end); false on failure.
  bool map(size_t _bytes);
  void unmap();
  void setSize(Int64 _bytes);
  // After a write that ended at byte _end: the file's new size, mapped; false when the
  // mapping could not grow.
  bool grow(Int64 _end);

  int fd;
  int recordSize;
  bool durable;
  MString path;
  GRecordObserver* observer;
  const uchar* view;  // the mapping, or null while the file is closed
  size_t mapped;      // bytes mapped
  Int64 size;         // bytes in the file
  int count;          // whole records in the file
};

#endif
