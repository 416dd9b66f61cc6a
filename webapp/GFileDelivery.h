#ifndef VISTREL_GFILEDELIVERY_H
#define VISTREL_GFILEDELIVERY_H

class GSession;
class MHttpRequest;
class MHttpResponse;
class MTextStream;

// The files the server hands out as they lie: the static files of the web directory (style
// sheet, scripts, icons, the per-language pages) and, through the same path, the originals
// under images/original for those GRights lets have them. The servlet's path routes call it;
// the rights of pictures shown by page id (previews, the image window) stay with their view.
class GFileDelivery {
 public:
  // Longest request path that can name a file.
  static const int maxFilePath = 200;
  // Extensions this long or longer have no MIME type.
  static const int maxExtension = 50;

  // Answers the request with the file of the web directory its path names, typed by the MIME
  // list; false, with nothing written, when the path names no plain file there (or tries to
  // leave the directory). A file too large for the response fails.
  static bool serveFile(MHttpRequest& _request, MHttpResponse& _response);
  // For a path under /images/original: true, with the "not found" page written, when the
  // session may not have originals; false when the file may follow.
  static bool refuseOriginal(GSession& _session, MHttpRequest& _request, MTextStream& _out);
};

#endif
