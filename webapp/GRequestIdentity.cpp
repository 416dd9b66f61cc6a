#include "webapp/GRequestIdentity.h"

#include <strings.h>

#include <cstring>
#include <string>

#include "lib/net/MHttpRequest.h"
#include "views/GApplication.h"
#include "views/GSession.h"
#include "views/GView.h"
#include "webapp/GClientAddress.h"
#include "webapp/GSessionManagement.h"

namespace {

// The session cookie: sent back on every request of this site (style sheets and pictures
// too), never to scripts, and not with requests that other sites start.
const char* const cookieName = "vistrel_session";
const char* const cookieAttributes = "; Path=/; HttpOnly; SameSite=Lax";

}  // namespace

GRequestIdentity::Found GRequestIdentity::find(MHttpRequest& _request,
                                               GSessionManagement& _sessions) {
  Found found;
  MString cookie = cookieValue(_request);
  found.identifier = GView::paramText(_request.params, "session");
  found.namesSession = found.identifier.getLength() > 0;
  if (found.namesSession) {
    GSession* named = _sessions.getSession(found.identifier.getValue());
    // Without its cookie the named session is treated as one that does not exist: the
    // answer tells nothing about it.
    if (named != nullptr && _sessions.cookieFits(*named, cookie.getValue())) {
      found.session = named;
    }
  } else {
    found.session = _sessions.getSessionByCookie(cookie.getValue());
    if (found.session != nullptr) found.identifier = found.session->id;
  }
  return found;
}

MString GRequestIdentity::sessionCookie(const char* _secret, bool _secure) {
  return MString::format("%s=%s%s%s", cookieName, _secret, cookieAttributes,
                         _secure ? "; Secure" : "");
}

MString GRequestIdentity::clearedSessionCookie(bool _secure) {
  return MString::format("%s=%s; Max-Age=0%s", cookieName, cookieAttributes,
                         _secure ? "; Secure" : "");
}

MString GRequestIdentity::cookieValue(MHttpRequest& _request) {
  // Header names are compared without case: proxies that speak HTTP/2 to the browser pass
  // "cookie" on in lower case.
  MString legacy;
  for (MItem* item = _request.headers.getFirstItem(); item != nullptr;
       item = _request.headers.getNextItem(item)) {
    if (strcasecmp(item->key->toString().getValue(), "Cookie") != 0) continue;
    std::string header = item->object->toString().getValue();
    size_t start = 0;
    while (start <= header.size()) {
      size_t end = header.find(';', start);
      if (end == std::string::npos) end = header.size();
      std::string pair = header.substr(start, end - start);
      size_t first = pair.find_first_not_of(" \t");
      size_t last = pair.find_last_not_of(" \t");
      pair = first == std::string::npos ? "" : pair.substr(first, last - first + 1);
      size_t equals = pair.find('=');
      if (equals == std::string::npos) {
        // The bare value that earlier versions set.
        if (!pair.empty() && legacy.getLength() == 0) legacy = pair.c_str();
      } else if (pair.compare(0, equals, cookieName) == 0 && equals == strlen(cookieName)) {
        return MString(pair.substr(equals + 1).c_str());
      }
      start = end + 1;
    }
  }
  return legacy;
}

bool GRequestIdentity::cookieFits(MHttpRequest& _request, GSessionManagement& _sessions,
                                  const GSession& _session) {
  return _sessions.cookieFits(_session, cookieValue(_request).getValue());
}

bool GRequestIdentity::isHttps(MHttpRequest& _request) {
  if (!GClientAddress::fromProxy(_request)) return false;
  return strcasecmp(_request.getHeader("X-Forwarded-Proto").getValue(), "https") == 0;
}
