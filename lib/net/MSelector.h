#ifndef VISTREL_MSELECTOR_H
#define VISTREL_MSELECTOR_H

#include "lib/core/MList.h"

class MSocket;

// One readiness check over many sockets: a read set and a write set, each keyed by the
// socket's text form and holding socket pointers it does not own. The check uses poll, so it
// takes every socket of the set, whatever its number or handle value.
class MSelector : public MObject {
 public:
  static const int modeRead = 1;
  static const int modeWrite = 2;

  MSelector();
  MSelector(const MSelector&) = delete;
  MSelector& operator=(const MSelector&) = delete;

  void add(MSocket* _socket, int _mode);
  void remove(MSocket* _socket, int _mode);
  void clear();
  // Empties _result, waits at most the given time and then lists the ready sockets of the
  // set _mode in set order under the keys 0, 1, 2 ... (not owned).
  void select(int _mode, int _timeoutSec, int _timeoutUsec, MList& _result);

 private:
  MList* getSet(int _mode);
  MList readSet;
  MList writeSet;
};

#endif
