#include "lib/platform/MLogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

MLogFile::~MLogFile() { close(); }

void MLogFile::close() {
  std::lock_guard<std::mutex> lock(mutex);
  writeOut();
  if (ownsFd && fd >= 0) ::close(fd);
  fd = -1;
  ownsFd = false;
  path.clear();
}

void MLogFile::toStandardOutput() {
  close();
  std::lock_guard<std::mutex> lock(mutex);
  fd = STDOUT_FILENO;
}

bool MLogFile::toFile(const std::string& _path) {
  close();
  std::lock_guard<std::mutex> lock(mutex);
  int opened = ::open(_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
  if (opened < 0) return false;
  fd = opened;
  ownsFd = true;
  path = _path;
  return true;
}

bool MLogFile::reopen() {
  std::lock_guard<std::mutex> lock(mutex);
  if (!ownsFd) return true;
  int opened = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
  if (opened < 0) return false;
  writeOut();
  ::close(fd);
  fd = opened;
  return true;
}

bool MLogFile::isOn() {
  std::lock_guard<std::mutex> lock(mutex);
  return fd >= 0;
}

void MLogFile::write(const std::string& _line) {
  std::lock_guard<std::mutex> lock(mutex);
  if (fd < 0) return;
  pending += _line;
  pending += '\n';
  if (pending.size() >= blockSize) writeOut();
}

void MLogFile::flush() {
  std::lock_guard<std::mutex> lock(mutex);
  writeOut();
}

void MLogFile::writeOut() {
  size_t done = 0;
  while (fd >= 0 && done < pending.size()) {
    ssize_t n = ::write(fd, pending.data() + done, pending.size() - done);
    if (n < 0 && errno == EINTR) continue;
    // A full disk or a closed output costs the lines, never the requests.
    if (n <= 0) break;
    done += (size_t)n;
  }
  pending.clear();
}
