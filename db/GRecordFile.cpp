#include "db/GRecordFile.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/core/MException.h"

GRecordFile::GRecordFile(int _recordSize) : fd(-1), recordSize(_recordSize), durable(true) {}

GRecordFile::~GRecordFile() { close(); }

bool GRecordFile::openExisting(const char* _path) {
  close();
  fd = ::open(_path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close();
    errno = EISDIR;
    return false;
  }
  path = _path;
  return true;
}

bool GRecordFile::createNew(const char* _path) {
  close();
  fd = ::open(_path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  path = _path;
  return true;
}

void GRecordFile::close() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int GRecordFile::getRecordCount() {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    throw MException("### FILE ###",
                     MString::format("Cannot read the file (%s)!", path.getValue()).getValue());
  }
  Int64 count = (Int64)st.st_size / recordSize;
  return count > INT_MAX ? INT_MAX : (int)count;
}

bool GRecordFile::readRecord(int _index, uchar* _record) {
  if (_index < 0) return false;
  return readRecords(_index, _record, 1) == 1;
}

int GRecordFile::readRecords(int _first, uchar* _buffer, int _maxRecords) {
  Int64 want = (Int64)_maxRecords * recordSize;
  Int64 done = 0;
  off_t offset = (off_t)_first * recordSize;
  while (done < want) {
    ssize_t n = pread(fd, _buffer + done, (size_t)(want - done), offset + (off_t)done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw MException("### FILE ###",
                       MString::format("Cannot read the file (%s)!", path.getValue()).getValue());
    }
    if (n == 0) break;
    done += n;
  }
  return (int)(done / recordSize);
}

void GRecordFile::write(int _index, int _offset, const void* _data, int _size) {
  const uchar* p = (const uchar*)_data;
  off_t offset = (off_t)_index * recordSize + _offset;
  int done = 0;
  while (done < _size) {
    ssize_t n = pwrite(fd, p + done, (size_t)(_size - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw MException("### FILE ###",
                       MString::format("Cannot write the file (%s)!", path.getValue()).getValue());
    }
    done += (int)n;
  }
}

void GRecordFile::sync() {
  if (!durable) return;
  if (fdatasync(fd) != 0) {
    throw MException("### FILE ###",
                     MString::format("Cannot write the file (%s)!", path.getValue()).getValue());
  }
}

void GRecordFile::syncDirectory(const char* _directory) {
  int dirFd = ::open(_directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  fsync(dirFd);
  ::close(dirFd);
}
