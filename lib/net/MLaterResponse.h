#ifndef VISTREL_MLATERRESPONSE_H
#define VISTREL_MLATERRESPONSE_H

#include <functional>
#include <mutex>

class MHttpRequest;
class MHttpResponse;
class MWakeup;

// An answer that completes later: a handler that hands slow work to another thread asks
// the response for one (MHttpResponse::defer) and returns at once; the server loop goes on
// serving everybody else and writes nothing on this connection meanwhile. When the work is
// done, it calls complete with the last step: the loop runs that step on its own thread,
// under the handler's lock (so it may touch whatever the handler guards), and then sends
// the answer. Requests behind it on the same connection wait their turn, so answers keep
// their order.
//
// The connection may go before the work is done (its client left, the server stops): the
// answer is then abandoned, the last step never runs, and complete does nothing. Work that
// must leave a consistent state does so by itself, not in its last step.
class MLaterResponse {
 public:
  typedef std::function<void(MHttpRequest&, MHttpResponse&)> Finish;

  explicit MLaterResponse(MWakeup* _wakeup);
  MLaterResponse(const MLaterResponse&) = delete;
  MLaterResponse& operator=(const MLaterResponse&) = delete;

  // From any thread, once: hands over the last step and wakes the loop.
  void complete(Finish _finish);
  // Whether nobody waits for the answer any more.
  bool isAbandoned();

  // The server loop's side.
  bool isReady();
  // The last step, once; empty when there is none (yet).
  Finish take();
  // The connection went: forget the loop, never run the last step.
  void abandon();

 private:
  std::mutex mutex;
  MWakeup* wakeup;
  Finish finish;
  bool ready;
  bool abandoned;
};

#endif
