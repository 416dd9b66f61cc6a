#ifndef VISTREL_MDELAYLINE_H
#define VISTREL_MDELAYLINE_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// Runs each job once its delay has passed, on one thread of its own that takes no signals,
// the earliest first. It holds at most a fixed number of waiting jobs: a caller whose job
// does not fit learns it at once (add answers false) instead of waiting, as with
// MWorkerPool. shutdown drops what still waits (nothing of it runs) and waits for a job
// that is running; afterwards add answers false. Jobs must not throw, and should be short:
// the next one waits for them.
class MDelayLine {
 public:
  explicit MDelayLine(size_t _capacity);
  // Shuts down.
  ~MDelayLine();
  MDelayLine(const MDelayLine&) = delete;
  MDelayLine& operator=(const MDelayLine&) = delete;

  // Queues the job to run _delayMillis from now; false, with nothing queued, when the line
  // is full or shut down.
  bool add(int _delayMillis, std::function<void()> _job);
  void shutdown();
  // Jobs waiting for their time.
  size_t getWaiting();

 private:
  using Clock = std::chrono::steady_clock;
  void loop();

  size_t capacity;
  std::mutex mutex;
  std::condition_variable wake;
  // By due time; jobs due at the same time in the order they came.
  std::multimap<Clock::time_point, std::function<void()>> waiting;
  bool stopping = false;
  std::thread thread;
};

#endif
