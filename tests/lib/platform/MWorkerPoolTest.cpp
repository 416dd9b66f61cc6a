#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/platform/MWorkerPool.h"

namespace {

// A gate that jobs wait at until the test opens it, so that the test decides what is running
// and what is queued without guessing at timing.
class Gate {
 public:
  void pass() {
    std::unique_lock<std::mutex> lock(mutex);
    ++waiting;
    changed.notify_all();
    changed.wait(lock, [this] { return open; });
  }
  void openGate() {
    std::lock_guard<std::mutex> guard(mutex);
    open = true;
    changed.notify_all();
  }
  // Waits (up to a minute, against a hang) until _count jobs stand at the gate.
  bool waitForWaiting(int _count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(60), [&] { return waiting >= _count; });
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  int waiting = 0;
  bool open = false;
};

// Records what ran and what was dropped, in order.
class Log {
 public:
  void add(const std::string& _entry) {
    std::lock_guard<std::mutex> guard(mutex);
    entries.push_back(_entry);
  }
  std::vector<std::string> get() {
    std::lock_guard<std::mutex> guard(mutex);
    return entries;
  }

 private:
  std::mutex mutex;
  std::vector<std::string> entries;
};

}  // namespace

TEST(MWorkerPool, OneThreadPerCoreByDefault) {
  MWorkerPool pool(0, 4);
  unsigned cores = std::thread::hardware_concurrency();
  EXPECT_EQ(cores > 0 ? (int)cores : 1, pool.getThreads());
  EXPECT_EQ(4u, pool.getCapacity());
  MWorkerPool three(3, 1);
  EXPECT_EQ(3, three.getThreads());
}

TEST(MWorkerPool, WorkersRunJobsAtTheSameTime) {
  // Each of two jobs waits for the other: only two threads at once get both through.
  MWorkerPool pool(2, 4);
  Gate gate;
  std::atomic<int> done{0};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(pool.submit([&] {
      gate.pass();
      ++done;
    }));
  }
  ASSERT_TRUE(gate.waitForWaiting(2));
  gate.openGate();
  pool.shutdown(MWorkerPool::FINISH_QUEUED);
  EXPECT_EQ(2, done);
}

TEST(MWorkerPool, AFullQueueRefusesAtOnce) {
  MWorkerPool pool(1, 2);
  Gate gate;
  Log log;
  ASSERT_TRUE(pool.submit([&] { gate.pass(); log.add("busy"); }));
  ASSERT_TRUE(gate.waitForWaiting(1));  // the worker is held; the queue is empty
  EXPECT_TRUE(pool.submit([&] { log.add("first"); }));
  EXPECT_TRUE(pool.submit([&] { log.add("second"); }));
  EXPECT_EQ(2u, pool.getQueued());
  bool droppedRan = false;
  EXPECT_FALSE(pool.submit([&] { log.add("third"); }, [&] { droppedRan = true; }));
  EXPECT_FALSE(droppedRan) << "a refused job is the caller's again: neither function runs";
  EXPECT_FALSE(pool.submit(nullptr)) << "no work";
  gate.openGate();
  pool.shutdown(MWorkerPool::FINISH_QUEUED);
  EXPECT_EQ((std::vector<std::string>{"busy", "first", "second"}), log.get());
  EXPECT_FALSE(pool.submit([&] { log.add("late"); })) << "after the shutdown";
}

TEST(MWorkerPool, ShutdownFinishesOrDropsTheQueuedJobs) {
  for (MWorkerPool::Shutdown mode : {MWorkerPool::FINISH_QUEUED, MWorkerPool::DROP_QUEUED}) {
    SCOPED_TRACE(mode == MWorkerPool::FINISH_QUEUED ? "finish" : "drop");
    Gate gate;
    Log log;
    std::thread opener;
    {
      MWorkerPool pool(1, 8);
      ASSERT_TRUE(pool.submit([&] { gate.pass(); log.add("running"); },
                              [&] { log.add("running dropped"); }));
      ASSERT_TRUE(gate.waitForWaiting(1));
      for (const char* name : {"a", "b", "c"}) {
        std::string job = name;
        ASSERT_TRUE(pool.submit([&log, job] { log.add(job); },
                                [&log, job] { log.add(job + " dropped"); }));
      }
      // The running job is let go only once shutdown has begun: it still finishes.
      opener = std::thread([&] {
        while (!pool.isShutDown()) std::this_thread::yield();
        gate.openGate();
      });
      pool.shutdown(mode);
      EXPECT_EQ(0u, pool.getQueued());
      EXPECT_FALSE(pool.submit([&] { log.add("late"); }));
    }  // the destructor after a shutdown does nothing more
    opener.join();
    if (mode == MWorkerPool::FINISH_QUEUED)
      EXPECT_EQ((std::vector<std::string>{"running", "a", "b", "c"}), log.get());
    else
      EXPECT_EQ((std::vector<std::string>{"running", "a dropped", "b dropped", "c dropped"}),
                log.get());
  }
}

TEST(MWorkerPool, DestructorDropsWhatIsQueued) {
  Gate gate;
  Log log;
  std::thread opener;
  {
    MWorkerPool pool(1, 4);
    ASSERT_TRUE(pool.submit([&] { gate.pass(); }));
    ASSERT_TRUE(gate.waitForWaiting(1));
    ASSERT_TRUE(pool.submit([&] { log.add("queued"); }, [&] { log.add("queued dropped"); }));
    ASSERT_TRUE(pool.submit([&] { log.add("no drop function"); }));
    // The gate opens once the destructor has begun the shutdown (and so taken the queue),
    // never before: otherwise the worker could run the queued jobs first.
    opener = std::thread([&] {
      while (!pool.isShutDown()) std::this_thread::yield();
      gate.openGate();
    });
  }
  opener.join();
  EXPECT_EQ((std::vector<std::string>{"queued dropped"}), log.get());
}

TEST(MWorkerPool, AThrowingJobIsReportedAndTheWorkerGoesOn) {
  MWorkerPool pool(1, 4);
  Log log;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(pool.submit([] { throw std::runtime_error("broken"); }));
  ASSERT_TRUE(pool.submit([] { throw 42; }));
  ASSERT_TRUE(pool.submit([&] { log.add("after"); }));
  pool.shutdown(MWorkerPool::FINISH_QUEUED);
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, errors.find("A worker's job failed: broken")) << errors;
  EXPECT_NE(std::string::npos, errors.find("A worker's job failed!")) << errors;
  EXPECT_EQ((std::vector<std::string>{"after"}), log.get());
}

// A stop signal must reach the thread that waits for it, never a worker, whatever mask the
// creating thread had.
TEST(MWorkerPool, WorkersTakeNoSignals) {
  MWorkerPool pool(2, 4);
  std::atomic<int> blocked{0};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(pool.submit([&] {
      sigset_t mask;
      pthread_sigmask(SIG_BLOCK, nullptr, &mask);
      if (sigismember(&mask, SIGTERM) == 1 && sigismember(&mask, SIGINT) == 1) ++blocked;
    }));
  }
  pool.shutdown(MWorkerPool::FINISH_QUEUED);
  EXPECT_EQ(2, blocked.load());
  sigset_t mine;
  pthread_sigmask(SIG_BLOCK, nullptr, &mine);
  EXPECT_EQ(0, sigismember(&mine, SIGTERM));
}
