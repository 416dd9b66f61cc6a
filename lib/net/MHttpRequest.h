#ifndef VISTREL_MHTTPREQUEST_H
#define VISTREL_MHTTPREQUEST_H

#include "lib/core/MDataStream.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/net/MAddress.h"

// One parsed HTTP request as the processor hands it to the handler. The fields are the
// request's plain data and are read and written directly.
class MHttpRequest : public MObject {
 public:
  MHttpRequest();
  MHttpRequest(const MHttpRequest&) = delete;
  MHttpRequest& operator=(const MHttpRequest&) = delete;

  // GET or POST.
  MString method;
  // Third word of the request line as received; empty when missing.
  MString version;
  MAddress remoteAddress;
  int remotePort;
  // The Content-Length header's number; 0 without one.
  int contentLength;
  // Second word of the request line, not decoded.
  MString url;
  // The url before its "?", or the whole url when it carries no parameters.
  MString path;
  // Decoded query parameters, name to value (MString both).
  MList params;
  // Header name exactly as received to value (MString).
  MList headers;
  // The body; empty when it was too large to keep.
  MDataStream content;
};

#endif
