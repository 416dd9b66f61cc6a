#include "lib/net/MHttpResponse.h"

MHttpResponse::MHttpResponse()
    : statusCode(200), statusText("OK"), contentType("text/html"), contentLength(0) {}
