#ifndef VISTREL_MHTTPRESPONSE_H
#define VISTREL_MHTTPRESPONSE_H

#include "lib/core/MDataStream.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"

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
};

#endif
