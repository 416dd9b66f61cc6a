#include "lib/net/MHttpRequest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <cstring>

#include "lib/net/MHttpQuery.h"

MHttpRequest::MHttpRequest()
    : remotePort(0), contentLength(0), bodyError(0), contentFile(-1) {}

MHttpRequest::~MHttpRequest() {
  if (contentFile >= 0) close(contentFile);
}

void MHttpRequest::setContentFile(int _handle) {
  if (contentFile >= 0 && contentFile != _handle) close(contentFile);
  contentFile = _handle;
}

void MHttpRequest::releaseBody() {
  setContentFile(-1);
  spoolPlace.reset();
  content.clear();
}

void MHttpRequest::dropBody(int _error) {
  releaseBody();
  bodyError = _error != 0 ? _error : EIO;
}

void MHttpRequest::handBodyTo(MHttpRequest& _to) {
  _to.contentLength = contentLength;
  _to.bodyError = bodyError;
  _to.headers.setObject("Content-Type", getHeader("Content-Type").getValue());
  _to.content.moveDataFrom(content);
  _to.setContentFile(contentFile);
  _to.setSpoolPlace(std::move(spoolPlace));
  contentFile = -1;
}

Int64 MHttpRequest::getContentSize() {
  if (contentFile < 0) return content.getWritePos();
  struct stat info;
  return fstat(contentFile, &info) == 0 ? (Int64)info.st_size : 0;
}

int MHttpRequest::readContent(Int64 _pos, void* _data, int _size) {
  if (_pos < 0 || _size <= 0) return 0;
  if (contentFile < 0) {
    if (_pos >= content.getWritePos()) return 0;
    content.setReadPos(_pos);
    return content.readData(_data, _size);
  }
  for (;;) {
    ssize_t n = pread(contentFile, _data, (size_t)_size, (off_t)_pos);
    if (n >= 0) return (int)n;
    if (errno != EINTR) return -1;
  }
}

MString MHttpRequest::getHeader(const char* _name) {
  for (MItem* item = headers.getFirstItem(); item != nullptr; item = headers.getNextItem(item)) {
    // The names are texts: compared in place, without a copy of each.
    const MString* key = dynamic_cast<const MString*>(item->key);
    if (key != nullptr ? strcasecmp(key->getValue(), _name) == 0
                       : strcasecmp(item->key->toString().getValue(), _name) == 0)
      return item->object->toString();
  }
  return MString();
}

bool MHttpRequest::inQueryString(const char* _name) {
  // Read as the processor reads the URL: a query only after a single "?".
  const char* question = strchr(url.getValue(), '?');
  if (question == nullptr || strchr(question + 1, '?') != nullptr) return false;
  MList query;
  query.setExceptions(false);
  MHttpQuery::parse(question + 1, query);
  return query.getObject(_name) != nullptr;
}
