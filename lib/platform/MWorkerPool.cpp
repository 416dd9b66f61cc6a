#include "lib/platform/MWorkerPool.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "lib/platform/MClock.h"

MWorkerPool::MWorkerPool(int _threads, size_t _capacity) : capacity(_capacity) {
  if (_threads <= 0) _threads = (int)std::thread::hardware_concurrency();
  if (_threads <= 0) _threads = 1;  // the core count is unknown
  threads.reserve((size_t)_threads);
  for (int i = 0; i < _threads; ++i) threads.push_back(quietThread([this] { workerLoop(); }));
}

std::thread MWorkerPool::quietThread(std::function<void()> _body) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  std::thread thread(std::move(_body));
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread;
}

MWorkerPool::~MWorkerPool() { shutdown(DROP_QUEUED); }

bool MWorkerPool::submit(std::function<void()> _work, std::function<void()> _drop) {
  if (!_work) return false;
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (stopping || queue.size() >= capacity) return false;
    queue.push_back(Job{std::move(_work), std::move(_drop), getSteadyMicros()});
  }
  wake.notify_one();
  return true;
}

void MWorkerPool::shutdown(Shutdown _mode) {
  std::deque<Job> dropped;
  {
    std::lock_guard<std::mutex> guard(mutex);
    stopping = true;
    if (_mode == DROP_QUEUED) dropped.swap(queue);
  }
  wake.notify_all();
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
  for (Job& job : dropped) {
    if (job.drop) runGuarded(job.drop);
  }
}

size_t MWorkerPool::getQueued() {
  std::lock_guard<std::mutex> guard(mutex);
  return queue.size();
}

bool MWorkerPool::isShutDown() {
  std::lock_guard<std::mutex> guard(mutex);
  return stopping;
}

void MWorkerPool::workerLoop() {
  // Behind the threads that answer: when every core is busy, the server loop goes first and
  // the long jobs take what is left (a thread's own priority on Linux).
  setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), workerNiceness);
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      wake.wait(lock, [this] { return stopping || !queue.empty(); });
      if (queue.empty()) return;  // stopping, and nothing left to finish
      job = std::move(queue.front());
      queue.pop_front();
      uint64_t now = getSteadyMicros();
      waitedMicros += now > job.queuedAt ? now - job.queuedAt : 0;
      taken++;
    }
    runGuarded(job.work);
  }
}

void MWorkerPool::runGuarded(const std::function<void()>& _function) {
  try {
    _function();
  } catch (const std::exception& e) {
    fprintf(stderr, "ERROR: A worker's job failed: %s\n", e.what());
  } catch (...) {
    fprintf(stderr, "ERROR: A worker's job failed!\n");
  }
}
