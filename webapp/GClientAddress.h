#ifndef VISTREL_GCLIENTADDRESS_H
#define VISTREL_GCLIENTADDRESS_H

#include "lib/core/MString.h"

class MHttpRequest;

// The browser's address of a request, as the login throttle counts it.
//
// Without a configured proxy (server.proxy) it is the connection's address. Behind the
// proxy it is the last address of the X-Forwarded-For that the proxy sends (the one the
// proxy itself saw; earlier ones are what the browser claims and prove nothing) — but only
// for a connection from the proxy's address that also carries the proxy's secret
// (X-Vistrel-Proxy, equal to server.proxySecret) when one is configured. An address alone
// does not tell the proxy from another process on its machine (any local process connects
// from 127.0.0.1 and may bind any other loopback address too), so without a secret every
// such process could claim to be any browser; a start-up line says so.
//
// The first request that carries an X-Forwarded-For which is not believed is reported with
// one line on standard error (once per process): the operator learns early that the proxy
// is not configured as such, and that the throttle counts every browser behind it as one.
class GClientAddress {
 public:
  // The name of the header that carries the proxy's secret.
  static const char* const SECRET_HEADER;

  static MString of(MHttpRequest& _request);
  // Whether the connection is the configured proxy's, with its secret when one is set: only
  // then do its X-Forwarded-* headers count.
  static bool fromProxy(MHttpRequest& _request);
  // Reports a disbelieved X-Forwarded-For, once; cheap for every request.
  static void notice(MHttpRequest& _request);
  // At start-up: one line on standard error when a proxy is configured without a secret.
  static void checkConfiguration();

 private:
  enum Trust { NO_HEADER, BELIEVED, NOT_THE_PROXY, WRONG_SECRET };
  static Trust trust(MHttpRequest& _request, MString& _forwarded);
  // The proxy part of trust: NOT_THE_PROXY, WRONG_SECRET or BELIEVED.
  static Trust proxyTrust(MHttpRequest& _request);
};

#endif
