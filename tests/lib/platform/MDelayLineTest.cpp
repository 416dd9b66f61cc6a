#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "lib/platform/MDelayLine.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the jobs did, in order, and when.
struct Log {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> order;
  std::vector<Clock::time_point> times;
  void add(int _job) {
    std::lock_guard<std::mutex> guard(mutex);
    order.push_back(_job);
    times.push_back(Clock::now());
    changed.notify_all();
  }
  bool waitFor(size_t _count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(60), [&] { return order.size() >= _count; });
  }
};

}  // namespace

TEST(MDelayLine, RunsEachJobAfterItsDelayTheEarliestFirst) {
  MDelayLine line(10);
  Log log;
  Clock::time_point start = Clock::now();
  const int delays[] = {120, 40, 80, 0};
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(line.add(delays[i], [&log, i] { log.add(i); }));
  ASSERT_TRUE(log.waitFor(4));
  EXPECT_EQ((std::vector<int>{3, 1, 2, 0}), log.order);
  for (int i = 0; i < 4; ++i) {
    int job = log.order[(size_t)i];
    EXPECT_GE(log.times[(size_t)i] - start, std::chrono::milliseconds(delays[job])) << job;
  }
  EXPECT_EQ(0u, line.getWaiting());
}

TEST(MDelayLine, AFullLineRefusesAtOnceAndShutdownDropsWhatWaits) {
  Log log;
  {
    MDelayLine line(2);
    EXPECT_TRUE(line.add(60000, [&log] { log.add(1); }));
    EXPECT_TRUE(line.add(60000, [&log] { log.add(2); }));
    EXPECT_FALSE(line.add(0, [&log] { log.add(3); }));
    EXPECT_FALSE(line.add(0, nullptr));
    EXPECT_EQ(2u, line.getWaiting());
    Clock::time_point before = Clock::now();
    line.shutdown();
    EXPECT_LT(Clock::now() - before, std::chrono::seconds(10));
    EXPECT_FALSE(line.add(0, [&log] { log.add(4); }));
    EXPECT_EQ(0u, line.getWaiting());
  }
  EXPECT_TRUE(log.order.empty());
}
