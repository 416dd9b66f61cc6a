#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "lib/platform/MClock.h"
#include "lib/platform/MMutex.h"
#include "lib/platform/MRunable.h"

namespace {
bool waitFor(const std::function<bool()>& _condition) {
  for (int i = 0; i < 500 && !_condition(); ++i) sleepFor(0, 10);
  return _condition();
}

// Counts how many threads ran it; stays in run until stopped.
class LoopingRunable : public MRunable {
 public:
  std::atomic<int> runs{0};
  void run() override {
    ++runs;
    running = true;
    while (running) sleepFor(0, 1);
  }
};
}  // namespace

TEST(MRunable, DefaultRunEndsWithBothFlagsSet) {
  MRunable r;
  EXPECT_FALSE(r.isRunning());
  EXPECT_TRUE(r.isFinished());
  r.start();
  ASSERT_TRUE(waitFor([&] { return r.isFinished(); }));
  EXPECT_TRUE(r.isRunning());
  r.stop();
  EXPECT_FALSE(r.isRunning());
}

TEST(MRunable, StartWhileRunningStartsNoSecondThread) {
  LoopingRunable r;
  r.start();
  ASSERT_TRUE(waitFor([&] { return r.isRunning(); }));
  r.start();
  r.stop();
  ASSERT_TRUE(waitFor([&] { return r.isFinished(); }));
  EXPECT_EQ(1, r.runs.load());
}

TEST(MMutex, IsReentrantAndExcludesOtherThreads) {
  MMutex m;
  m.lock();
  m.lock();  // the same thread does not block
  EXPECT_TRUE(m.isLocked());
  std::atomic<bool> entered{false};
  std::thread other([&] {
    MMutexLock guard(m);
    entered = true;
  });
  m.unlock();
  sleepFor(0, 50);
  EXPECT_FALSE(entered.load());  // still held once
  m.unlock();
  other.join();
  EXPECT_TRUE(entered.load());
}

TEST(MClock, SleepAndClocksAgree) {
  UInt64 before = getTimeMicros();
  Int64 seconds = getTime();
  sleepFor(0, 120);
  UInt64 after = getTimeMicros();
  EXPECT_GE(after - before, 100000u);
  EXPECT_NEAR((double)seconds, (double)(before / 1000000), 1.0);
  EXPECT_EQ(0u, after % 1000);  // millisecond resolution
  MDateTime t;
  getLocalTime(0, t);
  EXPECT_TRUE(t.year == 1970 || t.year == 1969);
}
