#include "lib/net/MHttpHandler.h"

#include "lib/core/MException.h"

MHttpHandler::MHttpHandler() {}

void MHttpHandler::event_httpRequest(MHttpRequest&, MHttpResponse&) {}

void MHttpHandler::dispatchRequest(MHttpRequest& _request, MHttpResponse& _response) try {
  MMutexLock lock(mutex);
  event_httpRequest(_request, _response);
} M_RETHROW("void MHttpHandler::dispatchRequest(MHttpRequest& _request, MHttpResponse& _response)")

void MHttpHandler::finishRequest(const MLaterResponse::Finish& _finish, MHttpRequest& _request,
                                 MHttpResponse& _response) try {
  MMutexLock lock(mutex);
  _finish(_request, _response);
} M_RETHROW("void MHttpHandler::finishRequest(MLaterResponse::Finish& _finish, MHttpRequest& _request, MHttpResponse& _response)")

void MHttpHandler::event_answered(MHttpRequest&, MHttpResponse&, UInt64) {}

void MHttpHandler::noteAnswered(MHttpRequest& _request, MHttpResponse& _response,
                                UInt64 _micros) {
  MMutexLock lock(mutex);
  event_answered(_request, _response, _micros);
}

MHttpHandler::BodyDecision MHttpHandler::admitBody(MHttpRequest&) { return BodyDecision(); }

MHttpHandler::BodyDecision MHttpHandler::decideBody(MHttpRequest& _request) try {
  MMutexLock lock(mutex);
  return admitBody(_request);
} M_RETHROW("MHttpHandler::BodyDecision MHttpHandler::decideBody(MHttpRequest& _request)")
