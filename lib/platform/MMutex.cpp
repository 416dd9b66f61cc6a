#include "lib/platform/MMutex.h"

MMutex::MMutex() : locked(false) {}

MMutex::~MMutex() {}

void MMutex::lock() {
  handle.lock();
  locked = true;
}

void MMutex::unlock() {
  locked = false;
  handle.unlock();
}
