#include "lib/platform/MClock.h"

#include <chrono>
#include <ctime>
#include <thread>

void sleepFor(int _seconds, int _milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds((int64_t)_seconds * 1000 + _milliseconds));
}

int64_t getTime() { return (int64_t)time(nullptr); }

uint64_t getTimeMicros() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  uint64_t ms = (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return (ms / 1000) * 1000000 + (ms % 1000) * 1000;
}

uint64_t getSteadyMicros() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

void getLocalTime(int64_t _time, MDateTime& _record) {
  time_t t = (time_t)_time;
  struct tm parts;
  localtime_r(&t, &parts);
  _record.year = parts.tm_year + 1900;
  _record.month = parts.tm_mon;
  _record.day = parts.tm_mday;
  _record.hour = parts.tm_hour;
  _record.minute = parts.tm_min;
  _record.second = parts.tm_sec;
  _record.dayOfWeek = parts.tm_wday;
  _record.dayOfYear = parts.tm_yday;
  _record.daylightSaving = parts.tm_isdst;
}
