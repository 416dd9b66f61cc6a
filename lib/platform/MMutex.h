#ifndef VISTREL_MMUTEX_H
#define VISTREL_MMUTEX_H

#include <mutex>

// Re-entrant mutex: the thread that holds it may lock it again and must unlock it as often.
// lock waits without limit.
class MMutex {
 public:
  MMutex();
  virtual ~MMutex();
  MMutex(const MMutex&) = delete;
  MMutex& operator=(const MMutex&) = delete;

  void lock();
  void unlock();
  // Informational only: set after a lock, cleared by an unlock.
  bool isLocked() const { return locked; }

 private:
  std::recursive_mutex handle;
  volatile bool locked;
};

// Holds an MMutex for the lifetime of a scope, so that every exit path unlocks it.
class MMutexLock {
 public:
  explicit MMutexLock(MMutex& _mutex) : mutex(_mutex) { mutex.lock(); }
  ~MMutexLock() { mutex.unlock(); }
  MMutexLock(const MMutexLock&) = delete;
  MMutexLock& operator=(const MMutexLock&) = delete;

 private:
  MMutex& mutex;
};

#endif
