#include "lib/net/MHttpRequest.h"

MHttpRequest::MHttpRequest() : remotePort(0), contentLength(0) {}
