#ifndef VISTREL_GMULTIPARTFORM_H
#define VISTREL_GMULTIPARTFORM_H

#include <cstddef>
#include <string>

#include "lib/core/MObject.h"

class MHttpRequest;

// Reading of a form body sent as multipart/form-data: the parts between the boundary lines
// that the Content-Type header announces, each with its own header lines. Only what the
// upload needs: where the bytes of the first file field lie, exactly as the browser sent the
// file, without the part headers in front and the closing boundary behind. A part whose
// boundary line and header lines take more than maxPartHeaders bytes (and a little room
// for blanks after the boundary) ends the search.
class GMultipartForm {
 public:
  static const size_t maxPartHeaders = 16384;
  // The boundary of a "multipart/form-data; boundary=..." content type (quoted or not);
  // empty for any other content type or a boundary that is missing or not usable.
  static std::string boundary(const char* _contentType);
  // The first part whose Content-Disposition carries a file name: its content's offset and
  // length in _body, and with _filename the file name as the browser gave it (fileName).
  // False when the content type is no multipart form, when no such part exists, or when the
  // body ends before the boundary that closes the part.
  static bool findFilePart(const char* _contentType, const std::string& _body, size_t& _start,
                           size_t& _length, std::string* _filename = nullptr);
  // The same in the body of a request, read piece by piece wherever it lies (in memory or
  // in its file), so that a large body is never held in memory as a whole.
  static bool findFilePart(MHttpRequest& _request, Int64& _start, Int64& _length,
                           std::string* _filename = nullptr);
  // The value of a filename parameter ("filename=..." of a Content-Disposition): unquoted,
  // with the escapes browsers put into form data taken back (\" and %22 for a quote, %0A
  // and %0D for line ends), or a filename* value ("UTF-8''" and percent escapes). The bytes
  // are left as they came; a path in front (old browsers sent one) is kept.
  static std::string fileName(const std::string& _parameter);

 private:
  // Whether a block of part headers (lines separated by CRLF) has a Content-Disposition
  // with a filename parameter; its value (fileName) into _filename. A plain filename is
  // preferred to a filename*.
  static bool isFilePart(const std::string& _headers, std::string& _filename);
};

#endif
