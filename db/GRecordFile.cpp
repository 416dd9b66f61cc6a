#include "db/GRecordFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "db/GRecordObserver.h"
#include "lib/core/MException.h"

namespace {
// The mapping reaches this far past the end of the file at least, and grows by half its size
// at least, so that appends remap rarely. (Reserving address space costs no memory; the
// part past the end of the file is never touched.)
const size_t kMinimumSlack = 1024 * 1024;
}  // namespace

GRecordFile::GRecordFile(int _recordSize)
    : fd(-1),
      recordSize(_recordSize),
      durable(true),
      observer(nullptr),
      view(nullptr),
      mapped(0),
      size(0),
      count(0) {}

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
  if (!map((size_t)st.st_size)) {
    int failure = errno;
    close();
    errno = failure;
    return false;
  }
  setSize(st.st_size);
  path = _path;
  return true;
}

bool GRecordFile::createNew(const char* _path) {
  close();
  fd = ::open(_path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (!map(0)) {
    int failure = errno;
    close();
    unlink(_path);
    errno = failure;
    return false;
  }
  setSize(0);
  path = _path;
  return true;
}

void GRecordFile::close() {
  unmap();
  if (fd >= 0) ::close(fd);
  fd = -1;
  setSize(0);
}

bool GRecordFile::map(size_t _bytes) {
  size_t page = (size_t)sysconf(_SC_PAGESIZE);
  size_t slack = _bytes / 2 > kMinimumSlack ? _bytes / 2 : kMinimumSlack;
  size_t want = (_bytes + slack + page - 1) / page * page;
  // The pages of the file present are read in at once: the indexes read them all anyway.
  void* p = mmap(nullptr, want, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  if (p == MAP_FAILED) return false;
  unmap();
  view = (const uchar*)p;
  mapped = want;
  return true;
}

void GRecordFile::unmap() {
  if (view != nullptr) munmap((void*)view, mapped);
  view = nullptr;
  mapped = 0;
}

void GRecordFile::setSize(Int64 _bytes) {
  size = _bytes;
  Int64 records = _bytes / recordSize;
  count = records > INT_MAX ? INT_MAX : (int)records;
}

// Without a larger mapping the bytes past the old end stay unknown here, as a torn tail.
bool GRecordFile::grow(Int64 _end) {
  if (_end <= size) return true;
  if ((size_t)_end > mapped && !map((size_t)_end)) return false;
  setSize(_end);
  return true;
}

bool GRecordFile::readRecord(int _index, uchar* _record) {
  const uchar* p = record(_index);
  if (p == nullptr) return false;
  memcpy(_record, p, (size_t)recordSize);
  return true;
}

void GRecordFile::write(int _index, int _offset, const void* _data, int _size) {
  const uchar* p = (const uchar*)_data;
  off_t offset = (off_t)_index * recordSize + _offset;
  bool whole = record(_index) != nullptr;
  if (observer != nullptr && whole) observer->forget(*this, _index, record(_index));
  int done = 0;
  try {
    while (done < _size) {
      ssize_t n = pwrite(fd, p + done, (size_t)(_size - done), offset + done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        throw MException("### FILE ###",
                         MString::format("Cannot write the file (%s)!", path.getValue()).getValue());
      }
      done += (int)n;
    }
  } catch (...) {
    // What did reach the file is what the record now holds.
    grow((Int64)offset + done);
    if (observer != nullptr && whole) observer->learn(*this, _index, record(_index));
    throw;
  }
  if (!grow((Int64)offset + _size)) {
    throw MException("### FILE ###",
                     MString::format("Cannot read the file (%s)!", path.getValue()).getValue());
  }
  if (observer != nullptr && record(_index) != nullptr) observer->learn(*this, _index, record(_index));
}

void GRecordFile::sync() {
  if (durable && fdatasync(fd) != 0) {
    throw MException("### FILE ###",
                     MString::format("Cannot write the file (%s)!", path.getValue()).getValue());
  }
  if (observer != nullptr) observer->synced(*this);
}

void GRecordFile::syncDirectory(const char* _directory) {
  int dirFd = ::open(_directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  fsync(dirFd);
  ::close(dirFd);
}
