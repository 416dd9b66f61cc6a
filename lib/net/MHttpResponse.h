#ifndef VISTREL_MHTTPRESPONSE_H
#define VISTREL_MHTTPRESPONSE_H

#include <memory>

#include "lib/core/MDataStream.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/net/MLaterResponse.h"

class MWakeup;

// The response under construction. The handler sets the status, the content type and
// headers and writes the body into content; the processor fills in contentLength and the
// Content-Type and Content-Length headers afterwards.
class MHttpResponse : public MObject {
 public:
  MHttpResponse();
  MHttpResponse(const MHttpResponse&) = delete;
  MHttpResponse& operator=(const MHttpResponse&) = delete;

  // Copied from the request before the handler runs.
  MString version;
  int statusCode;
  MString statusText;
  MString contentType;
  // Overwritten by the processor with the number of bytes in content.
  int contentLength;
  // Name to value (a text or a number), in the order the names were first set.
  MList headers;
  MDataStream content;

  // Makes this an answer that completes later (see MLaterResponse); the handler gives the
  // returned object to its work and returns.
  std::shared_ptr<MLaterResponse> defer();
  // The pending completion; null for an answer complete when the handler returns.
  std::shared_ptr<MLaterResponse> later;
  // What wakes the server loop when the completion arrives; set by the processor.
  MWakeup* wakeup;
};

#endif
