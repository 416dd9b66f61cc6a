#include "lib/platform/MDelayLine.h"

#include "lib/platform/MWorkerPool.h"

MDelayLine::MDelayLine(size_t _capacity) : capacity(_capacity) {
  thread = MWorkerPool::quietThread([this] { loop(); });
}

MDelayLine::~MDelayLine() { shutdown(); }

bool MDelayLine::add(int _delayMillis, std::function<void()> _job) {
  if (!_job) return false;
  Clock::time_point due =
      Clock::now() + std::chrono::milliseconds(_delayMillis < 0 ? 0 : _delayMillis);
  {
    std::lock_guard<std::mutex> guard(mutex);
    if (stopping || waiting.size() >= capacity) return false;
    waiting.emplace(due, std::move(_job));
  }
  wake.notify_one();
  return true;
}

void MDelayLine::shutdown() {
  std::multimap<Clock::time_point, std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> guard(mutex);
    stopping = true;
    dropped.swap(waiting);
  }
  wake.notify_all();
  if (thread.joinable()) thread.join();
  // Released outside the lock: what a job holds may take time to let go.
  dropped.clear();
}

size_t MDelayLine::getWaiting() {
  std::lock_guard<std::mutex> guard(mutex);
  return waiting.size();
}

void MDelayLine::loop() {
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    if (waiting.empty()) {
      wake.wait(lock);
      continue;
    }
    auto first = waiting.begin();
    if (first->first > Clock::now()) {
      wake.wait_until(lock, first->first);
      continue;
    }
    std::function<void()> job = std::move(first->second);
    waiting.erase(first);
    lock.unlock();
    MWorkerPool::runGuarded(job);
    job = nullptr;
    lock.lock();
  }
}
