#ifndef VISTREL_MWAKEUP_H
#define VISTREL_MWAKEUP_H

// Wakes the server loop from its wait in poll: another thread calls wake, the loop watches
// getHandle for input and calls drain once it is awake. Wakes that come before the loop
// drains merge into one.
class MWakeup {
 public:
  MWakeup();
  ~MWakeup();
  MWakeup(const MWakeup&) = delete;
  MWakeup& operator=(const MWakeup&) = delete;

  // From any thread; never blocks.
  void wake();
  // The descriptor to poll for input; -1 when none could be made (the loop then sees the
  // news on its next timed pass).
  int getHandle() const { return handle; }
  void drain();

 private:
  int handle;
};

#endif
