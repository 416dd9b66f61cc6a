#ifndef VISTREL_GREQUESTIDENTITY_H
#define VISTREL_GREQUESTIDENTITY_H

#include "lib/core/MString.h"

class GSession;
class GSessionManagement;
class MHttpRequest;

// Who a request speaks for: its session and its cookie (the browser's address is GClientAddress's).
//
// A session has two secrets: its identifier, which every link and form of its pages carries
// in the `session` parameter, and its cookie secret, which only the browser's cookie holds
// (HttpOnly: no script reads it). A request names its session by the parameter, and the
// session is its session only when the cookie fits too (GSessionManagement::cookieFits), so
// that an identifier copied out of an address bar, a log or a Referer opens nothing; the
// shared guest session needs no cookie. A request without the parameter is attributed by its
// cookie alone: it may read pages but never act (see GServlet), since another site can make
// a browser send the cookie but cannot know the identifier. Never the connection's address
// or port, which many people share behind a proxy or a NAT.
class GRequestIdentity {
 public:
  // The outcome of the look-up.
  struct Found {
    // The session the request may use; null for none.
    GSession* session = nullptr;
    // The identifier the request named, or that of the session its cookie found.
    MString identifier;
    // The identifier came from the request's own `session` parameter.
    bool namesSession = false;
  };
  static Found find(MHttpRequest& _request, GSessionManagement& _sessions);

  // The Set-Cookie value that hands a browser a session's cookie secret, and the one that
  // takes it back; _secure adds Secure (see isHttps).
  static MString sessionCookie(const char* _secret, bool _secure);
  static MString clearedSessionCookie(bool _secure);
  // The value of the request's session cookie, or the bare value that earlier versions sent
  // as the whole cookie; empty when there is neither.
  static MString cookieValue(MHttpRequest& _request);
  // Whether the request's cookie is the one of this session (GSessionManagement::cookieFits).
  static bool cookieFits(MHttpRequest& _request, GSessionManagement& _sessions,
                         const GSession& _session);
  // Whether the browser spoke HTTPS: only the configured reverse proxy can tell
  // (GClientAddress::fromProxy), by its X-Forwarded-Proto; the server itself speaks plain
  // HTTP.
  static bool isHttps(MHttpRequest& _request);
};

#endif
