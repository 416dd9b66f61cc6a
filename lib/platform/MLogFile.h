#ifndef VISTREL_MLOGFILE_H
#define VISTREL_MLOGFILE_H

#include <mutex>
#include <string>

// Where lines of a log go: nowhere, the standard output (for the journal) or a file that is
// appended to. Each line is written with one write call on a descriptor opened for appending,
// so that lines of several threads never mix and an external rotation that renames the file
// loses nothing: what is written before reopen lands in the renamed file, what comes after
// in the new one. Thread-safe.
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

 private:
  std::mutex mutex;
  int fd = -1;
  bool ownsFd = false;
  std::string path;
};

#endif
