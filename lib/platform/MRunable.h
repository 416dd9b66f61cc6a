#ifndef VISTREL_MRUNABLE_H
#define VISTREL_MRUNABLE_H

#include <atomic>
#include <thread>

#include "lib/core/MObject.h"

// Base of everything that runs in a thread of its own. start launches a thread that calls
// init, run and done in this order. stop is a cooperative request: run watches its flag and
// returns. The object must outlive its thread; the destructor waits for a thread that is
// still ending.
class MRunable : public MObject {
 public:
  MRunable();
  ~MRunable() override;

  virtual void start();
  virtual void stop();
  virtual void init();
  virtual void run();
  virtual void done();

  bool isRunning() const { return running; }
  bool isFinished() const { return finished; }

 protected:
  // Each flag has one writer at a time and is polled by another thread.
  std::atomic<bool> running;
  std::atomic<bool> finished;

 private:
  static void threadBody(MRunable* _object);
  std::thread thread;
};

#endif
