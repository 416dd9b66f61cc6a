#ifndef VISTREL_MCLOCK_H
#define VISTREL_MCLOCK_H

#include <cstdint>

// The platform layer sits below the class library, so it speaks in the standard integer
// types (the library's Int64 and UInt64 are the same types).

// A local-time breakdown; month counts from 0 for January.
struct MDateTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
  int dayOfWeek;
  int dayOfYear;
  int daylightSaving;
};

// Suspends the calling thread for _seconds * 1000 + _milliseconds milliseconds.
void sleepFor(int _seconds, int _milliseconds);
// Seconds since 1970-01-01 00:00 UTC.
int64_t getTime();
// Seconds since the epoch * 1000000 + the current millisecond * 1000.
uint64_t getTimeMicros();
// Microseconds of a clock that only moves forward, from an unspecified start: for durations.
uint64_t getSteadyMicros();
void getLocalTime(int64_t _time, MDateTime& _record);

#endif
