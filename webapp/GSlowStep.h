#ifndef VISTREL_GSLOWSTEP_H
#define VISTREL_GSLOWSTEP_H

#include <functional>

class MString;

// The slow part of an action, handed from the action to the dispatch: work runs on a worker
// thread and must leave a consistent state by itself (it may use the database, whose own
// lock makes it the single writer, and the image store, but nothing of the sessions, the
// views or the request); after runs afterwards on the server loop, under the dispatch's
// lock, and tells whether the action took effect (false: an early end). after never runs
// when the browser has gone by then, nor when the session has ended or no longer stands
// for its account (GSessionManagement::renewAccount), so it may use the session it was
// made for; work has done its part all the same.
struct GSlowStep {
  std::function<void()> work;
  std::function<bool()> after;
  // At most one step of this sort per session at a time: while one is under way, another
  // is refused as busy (the browser may send it again).
  bool oneAtATime = false;

  bool isPending() const { return (bool)work; }

  // The step of an action that stores a password: work hashes _password (tens of
  // milliseconds, memory-hard), after hands the hash to _store, which judges and stores
  // afresh on the loop; a failure of the hashing fails the action there. One at a time.
  void hashPassword(const MString& _password, std::function<void(const MString& _hash)> _store);
};

#endif
