#ifndef VISTREL_MCLOCK_H
#define VISTREL_MCLOCK_H

#include "lib/core/MTypes.h"

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
Int64 getTime();
// Seconds since the epoch * 1000000 + the current millisecond * 1000.
UInt64 getTimeMicros();
void getLocalTime(Int64 _time, MDateTime& _record);

#endif
