#ifndef VISTREL_MSTREAMPROCESSOR_H
#define VISTREL_MSTREAMPROCESSOR_H

#include "lib/core/MObject.h"

class MInterface;
class MWakeup;

// Base of the protocol processors that the server loop drives, one per connection. A
// processor reads the connection's input buffer and writes its output buffer; it never
// touches the socket. The server keeps one prototype and makes each connection's processor
// with newObject, which must carry over the prototype's configuration.
class MStreamProcessor : public MObject {
 public:
  MStreamProcessor();
  explicit MStreamProcessor(MInterface* _interface);

  void setInterface(MInterface* _interface) { interface = _interface; }
  MInterface* getInterface() { return interface; }
  bool isCloseRequested() const { return closeRequested; }
  // What wakes the server loop when work of another thread completes for this connection.
  void setWakeup(MWakeup* _wakeup) { wakeup = _wakeup; }

  MObject* newObject() override;
  // One bounded step of work; true when the step got anything done, so that a loop that
  // sees only false everywhere may wait for the sockets instead of asking again at once.
  // The base version echoes up to 10000 waiting bytes to the standard output.
  virtual bool process();
  // The base version: attached, input waiting and room in the output buffer.
  virtual bool canProcess();
  // True when the connection has waited on its client longer than the protocol allows and
  // should be dropped. _now is a reading of clockMillis. The base version never expires.
  virtual bool isExpired(UInt64 _now);
  // True when the connection may be closed to make room for a new one when all places are
  // taken: it is waiting for its client (for a next request, or for the rest of one that
  // is late) and owes it no answer. _since tells since when, so that the
  // longest waiting goes first. The base version never gives way.
  virtual bool canGiveWay(UInt64& _since);
  // What the connection is doing, for the server's own figures: a short fixed name that
  // outlives the call. The base version says "open".
  virtual const char* getStage() const { return "open"; }

  // Milliseconds of a clock that only moves forward, for time-outs.
  static UInt64 clockMillis();

 protected:
  MInterface* interface;
  bool closeRequested;
  MWakeup* wakeup;
};

#endif
