#include "lib/net/MHttpResponse.h"

MHttpResponse::MHttpResponse()
    : statusCode(200), statusText("OK"), contentType("text/html"), contentLength(0),
      wakeup(nullptr) {}

std::shared_ptr<MLaterResponse> MHttpResponse::defer() {
  if (!later) later = std::make_shared<MLaterResponse>(wakeup);
  return later;
}
