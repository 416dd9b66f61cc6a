#ifndef VISTREL_MHTTPHANDLER_H
#define VISTREL_MHTTPHANDLER_H

#include "lib/core/MObject.h"
#include "lib/net/MLaterResponse.h"
#include "lib/platform/MMutex.h"

class MHttpRequest;
class MHttpResponse;

// Receiver of complete HTTP requests. Requests reach it only through dispatchRequest, which
// holds the handler's mutex for the whole of event_httpRequest, so one request is handled at
// a time whatever thread asks.
class MHttpHandler : public MObject {
 public:
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

 private:
  MMutex mutex;
};

#endif
