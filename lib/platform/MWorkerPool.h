#ifndef VISTREL_MWORKERPOOL_H
#define VISTREL_MWORKERPOOL_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of worker threads taking jobs from one bounded queue in the order they came.
// A caller whose job does not fit learns it at once (submit answers false) instead of
// waiting, so that a server loop never blocks on it. Each job may carry a second function
// that runs instead when the pool is shut down before the job started, so that its owner can
// take back what it prepared; either the work or the drop runs, exactly once.
//
// shutdown either lets the workers finish every queued job or drops the queued ones (their
// drop functions run on the calling thread, in queue order); jobs already running always
// finish. Afterwards every thread has ended and submit answers false. Jobs must not throw:
// what they throw is reported on standard error and the worker goes on.
class MWorkerPool {
 public:
  enum Shutdown { FINISH_QUEUED, DROP_QUEUED };
  // How much lower than the rest of the process the workers run.
  static const int workerNiceness = 19;

  // _threads workers (0: one per processor core) and room for _capacity waiting jobs.
  MWorkerPool(int _threads, size_t _capacity);
  // Drops what is still queued (shutdown with DROP_QUEUED).
  ~MWorkerPool();
  MWorkerPool(const MWorkerPool&) = delete;
  MWorkerPool& operator=(const MWorkerPool&) = delete;

  // Queues the job; false, with nothing run, when the queue is full or the pool shut down.
  bool submit(std::function<void()> _work, std::function<void()> _drop = nullptr);
  void shutdown(Shutdown _mode);

  int getThreads() const { return (int)threads.size(); }
  size_t getCapacity() const { return capacity; }
  // Jobs waiting for a worker (not those running).
  size_t getQueued();
  // From the moment shutdown begins.
  bool isShutDown();
  // Jobs workers have taken from the queue so far, and the microseconds they waited in it
  // in all.
  uint64_t getTaken() const { return taken; }
  uint64_t getWaitedMicros() const { return waitedMicros; }

  // Starts a thread that takes no signals: it inherits a mask that blocks them all, so that
  // a stop signal always reaches the thread that waits for it (a service takes SIGTERM with
  // sigtimedwait on its own thread; a thread with it unblocked would die of it instead).
  static std::thread quietThread(std::function<void()> _body);
  // Runs a job that must not throw: what it throws anyway is reported on standard error.
  static void runGuarded(const std::function<void()>& _function);

 private:
  struct Job {
    std::function<void()> work;
    std::function<void()> drop;
    uint64_t queuedAt;
  };
  void workerLoop();

  size_t capacity;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Job> queue;
  bool stopping = false;  // no more jobs are taken in; workers end once the queue is empty
  std::vector<std::thread> threads;
  std::atomic<uint64_t> taken{0};
  std::atomic<uint64_t> waitedMicros{0};
};

#endif
