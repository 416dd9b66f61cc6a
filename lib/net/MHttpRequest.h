#ifndef VISTREL_MHTTPREQUEST_H
#define VISTREL_MHTTPREQUEST_H

#include <memory>

#include "lib/core/MDataStream.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/net/MAddress.h"
#include "lib/net/MBodySpool.h"

// One parsed HTTP request as the processor hands it to the handler. The fields are the
// request's plain data and are read and written directly.
//
// A small body lies in content; a larger one in an unnamed file (contentFile), so that a
// connection never holds more than a small body in memory. getContentSize and readContent
// read either the same way. A body that could not be kept (its file could not be made or
// written, the disk being full for example) is read to its end and dropped; the request then
// says why in bodyError and holds none of it.
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
  // Takes over the body's place in the spool, given back with the body.
  void setSpoolPlace(std::unique_ptr<MBodySpool::Reservation> _place) { spoolPlace = std::move(_place); }
  MBodySpool::Reservation* getSpoolPlace() { return spoolPlace.get(); }
  // Lets go of the body: its file and its place in the spool go at once.
  void releaseBody();
  // Lets go of what arrived of the body, which could not be kept, and notes _error (an
  // errno value; EIO for 0) as the reason.
  void dropBody(int _error);
  // Hands the body, with the Content-Type and Content-Length that describe it and the
  // reason it was dropped, over to _to, which reads it from then on; this request is left
  // without one. Lets a worker thread read a body after the connection that received it
  // has gone.
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
  // Why the body was dropped (an errno value, ENOSPC for a full disk); 0 when it was kept
  // or was never to be kept (MHttpProcessor::maxStoredBody).
  int bodyError;

 private:
  // The file of a large body, or -1.
  int contentFile;
  std::unique_ptr<MBodySpool::Reservation> spoolPlace;
};

#endif
