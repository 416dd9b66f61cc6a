#include "webapp/GClientAddress.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "lib/net/MHttpRequest.h"
#include "views/GApplication.h"

const char* const GClientAddress::SECRET_HEADER = "X-Vistrel-Proxy";

namespace {

std::atomic<bool> reported{false};

// Compares in a time that does not tell how much of the secret a guess got right.
bool sameSecret(const MString& _sent, const MString& _secret) {
  const char* a = _sent.getValue();
  const char* b = _secret.getValue();
  size_t la = (size_t)_sent.getLength();
  size_t lb = (size_t)_secret.getLength();
  unsigned char difference = la == lb ? 0 : 1;
  for (size_t i = 0; i < lb; ++i) difference |= (unsigned char)(a[i < la ? i : 0] ^ b[i]);
  return difference == 0 && la > 0;
}

}  // namespace

GClientAddress::Trust GClientAddress::trust(MHttpRequest& _request, MString& _forwarded) {
  _forwarded = _request.getHeader("X-Forwarded-For");
  if (_forwarded.getLength() == 0) return NO_HEADER;
  return proxyTrust(_request);
}

bool GClientAddress::fromProxy(MHttpRequest& _request) {
  return proxyTrust(_request) == BELIEVED;
}

GClientAddress::Trust GClientAddress::proxyTrust(MHttpRequest& _request) {
  GApplication& application = GApplication::get();
  MString proxy = application.getProxyAddress();
  if (proxy.getLength() == 0 || _request.remoteAddress.toString() != proxy) return NOT_THE_PROXY;
  MString secret = application.getProxySecret();
  if (secret.getLength() > 0 && !sameSecret(_request.getHeader(SECRET_HEADER), secret)) {
    return WRONG_SECRET;
  }
  return BELIEVED;
}

MString GClientAddress::of(MHttpRequest& _request) {
  MString peer = _request.remoteAddress.toString();
  MString forwarded;
  if (trust(_request, forwarded) != BELIEVED) return peer;
  std::string list = forwarded.getValue();
  size_t comma = list.rfind(',');
  std::string last = comma == std::string::npos ? list : list.substr(comma + 1);
  size_t first = last.find_first_not_of(" \t");
  size_t end = last.find_last_not_of(" \t");
  if (first == std::string::npos) return peer;
  return MString(last.substr(first, end - first + 1).c_str());
}

void GClientAddress::notice(MHttpRequest& _request) {
  if (reported.load(std::memory_order_relaxed)) return;
  MString forwarded;
  Trust found = trust(_request, forwarded);
  if (found == NO_HEADER || found == BELIEVED || reported.exchange(true)) return;
  MString peer = _request.remoteAddress.toString();
  if (found == WRONG_SECRET) {
    fprintf(stderr,
            "Warning: a request from the proxy's address %s carries X-Forwarded-For without "
            "the proxy's secret (%s): it is not believed.\n",
            peer.getValue(), SECRET_HEADER);
  } else {
    fprintf(stderr,
            "Warning: requests from %s carry X-Forwarded-For, but [server.proxy] does not name "
            "that address: every browser behind it counts as %s for the login throttle.\n",
            peer.getValue(), peer.getValue());
  }
}

void GClientAddress::checkConfiguration() {
  GApplication& application = GApplication::get();
  MString proxy = application.getProxyAddress();
  if (proxy.getLength() == 0 || application.getProxySecret().getLength() > 0) return;
  fprintf(stderr,
          "Warning: [server.proxy][%s] without [server.proxySecret]: any process that connects "
          "from %s can claim any browser address in X-Forwarded-For.\n",
          proxy.getValue(), proxy.getValue());
}
