#ifndef VISTREL_MLOGFILE_H
#define VISTREL_MLOGFILE_H

#include <mutex>
#include <string>

// Where lines of a log go: nowhere, the standard output (for the journal) or a file that is
// appended to. Lines are gathered and written in blocks of whole lines (a write call per
// line would cost a busy server a good part of its pages): when the block is full, and by
// flush, which the owner calls about once a second. The descriptor is opened for appending,
// so that an external rotation that renames the file loses nothing: reopen writes what is
// gathered to the renamed file, what comes after goes to the new one. Thread-safe.
class MLogFile {
 public:
  MLogFile() = default;
  ~MLogFile();
  MLogFile(const MLogFile&) = delete;
  MLogFile& operator=(const MLogFile&) = delete;

  // Nowhere.
  void close();
  void toStandardOutput();
  // Opens (makes) _path for appending; false, with the log going nowhere, when it cannot.
  bool toFile(const std::string& _path);
  // A file log opens its path again (after a rotation); the others stay as they are. False
  // when the path cannot be opened: the old file is kept then.
  bool reopen();
  bool isOn();
  // Appends _line and a line feed.
  void write(const std::string& _line);
  // Writes what is gathered.
  void flush();

  // Bytes gathered before they are written without waiting for flush.
  static const size_t blockSize = 32768;

 private:
  // With the mutex held.
  void writeOut();

  std::string pending;
  std::mutex mutex;
  int fd = -1;
  bool ownsFd = false;
  std::string path;
};

#endif
