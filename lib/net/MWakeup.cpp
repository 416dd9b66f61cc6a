#include "lib/net/MWakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

MWakeup::MWakeup() : handle(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MWakeup::~MWakeup() {
  if (handle >= 0) close(handle);
}

void MWakeup::wake() {
  if (handle < 0) return;
  uint64_t one = 1;
  // A full counter (never in practice) means a wake is pending anyway.
  ssize_t written = write(handle, &one, sizeof one);
  (void)written;
}

void MWakeup::drain() {
  if (handle < 0) return;
  uint64_t count;
  ssize_t n = read(handle, &count, sizeof count);
  (void)n;
}
