#ifndef VISTREL_MHTTPHANDLER_H
#define VISTREL_MHTTPHANDLER_H

#include "lib/core/MObject.h"
#include "lib/core/MString.h"
#include "lib/net/MLaterResponse.h"
#include "lib/platform/MMutex.h"

class MHttpRequest;
class MHttpResponse;

// Receiver of complete HTTP requests. Requests reach it only through dispatchRequest, which
// holds the handler's mutex for the whole of event_httpRequest, so one request is handled at
// a time whatever thread asks.
//
// Before the body of a request is read, the processor asks the handler (decideBody, under the
// same mutex) whether to read it at all: the handler sees the request line, the query
// parameters, the headers and the Content-Length, nothing of the body.
class MHttpHandler : public MObject {
 public:
  // What the handler says of a request's body before any of it is read.
  struct BodyDecision {
    // 0: read it. Otherwise the status it is refused with (413, 503), the body unread and
    // the connection closed after the answer.
    int status = 0;
    // With a refusal: the seconds after which the client may try again (Retry-After); 0
    // for none.
    int retryAfter = 0;
    // Whom the body limits of the processor count the body against (places for bodies,
    // spooled bodies); empty: the connection's address.
    MString client;
  };

  MHttpHandler();
  MHttpHandler(const MHttpHandler&) = delete;
  MHttpHandler& operator=(const MHttpHandler&) = delete;

  // The request handling proper; the base version does nothing.
  virtual void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response);
  // Locks, handles, unlocks; a failure of the handling unlocks too and reaches the caller.
  virtual void dispatchRequest(MHttpRequest& _request, MHttpResponse& _response);
  // The last step of an answer that completed later, under the same lock.
  virtual void finishRequest(const MLaterResponse::Finish& _finish, MHttpRequest& _request,
                             MHttpResponse& _response);
  // The decision on a body proper, from the request head; the base version reads every
  // body and counts it against the connection's address.
  virtual BodyDecision admitBody(MHttpRequest& _request);
  // Locks, asks admitBody, unlocks.
  BodyDecision decideBody(MHttpRequest& _request);
  // Told of every answer once it is complete (its status, headers and body set), refusals
  // of the processor included, with the microseconds since the request's first line was
  // read; the base version does nothing. Must not throw.
  virtual void event_answered(MHttpRequest& _request, MHttpResponse& _response,
                              UInt64 _micros);
  // Locks, tells event_answered, unlocks.
  void noteAnswered(MHttpRequest& _request, MHttpResponse& _response, UInt64 _micros);

 private:
  MMutex mutex;
};

#endif
