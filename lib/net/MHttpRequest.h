#ifndef VISTREL_MHTTPREQUEST_H
#define VISTREL_MHTTPREQUEST_H

#include "lib/core/MDataStream.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/net/MAddress.h"

// One parsed HTTP request as the processor hands it to the handler. The fields are the
// request's plain data and are read and written directly.
//
// A small body lies in content; a larger one in an unnamed file (contentFile), so that a
// connection never holds more than a small body in memory. getContentSize and readContent
// read either the same way.
class MHttpRequest : public MObject {
 public:
  MHttpRequest();
  ~MHttpRequest() override;
  MHttpRequest(const MHttpRequest&) = delete;
  MHttpRequest& operator=(const MHttpRequest&) = delete;

  // The value of the header _name in any letter case; empty without one.
  MString getHeader(const char* _name);
  // Whether the URL's query string names the parameter _name (with any value). params
  // merges the query with a form body; this tells them apart, for values that belong in a
  // posted form only and must not stand in a URL (logs, history, Referer).
  bool inQueryString(const char* _name);
  // The bytes of the body received so far, wherever they lie.
  Int64 getContentSize();
  // Up to _size bytes of the body from _pos on; 0 at its end, -1 when the file cannot be
  // read.
  int readContent(Int64 _pos, void* _data, int _size);
  // Takes over an open file holding the body; the request closes it.
  void setContentFile(int _handle);
  int getContentFile() const { return contentFile; }
  // Hands the body, with the Content-Type and Content-Length that describe it, over to _to,
  // which reads it from then on; this request is left without one. Lets a worker thread
  // read a body after the connection that received it has gone.
  void handBodyTo(MHttpRequest& _to);

  // GET, POST or HEAD.
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
  // Decoded query parameters, name to value (MString both), followed by those of a form
  // body (application/x-www-form-urlencoded) that was kept in memory.
  MList params;
  // Header name exactly as received to value (MString).
  MList headers;
  // The body when it is small enough to be kept in memory; empty otherwise.
  MDataStream content;

 private:
  // The file of a large body, or -1.
  int contentFile;
};

#endif
