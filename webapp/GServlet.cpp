#include "webapp/GServlet.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "db/GDatabase.h"
#include "db/GPasswordHash.h"
#include "lib/core/MException.h"
#include "lib/core/MTextStream.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MLaterResponse.h"
#include "lib/platform/MClock.h"
#include "views/GApplication.h"
#include "views/GFolderAdminView.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GImageAcceptView.h"
#include "views/GImageFolderView.h"
#include "views/GInfoView.h"
#include "views/GMainView.h"
#include "views/GRights.h"
#include "views/GSearchView.h"
#include "views/GUserAdminView.h"
#include "views/GUserView.h"
#include "webapp/GActions.h"

namespace {

const char* const eventSignature =
    "void GServlet::event_httpRequest(MHttpRequest& _request,MHttpResponse& _response)";

// Seconds between two expiry runs at the least.
const uint cleanUpInterval = 10;

// Longest request path that can name a file.
const int maxFilePath = 200;

// Password checks under way at once from one address.
const int maxChecksPerAddress = 8;

// Extensions this long or longer have no MIME type.
const int maxExtension = 50;

// The session cookie: sent back on every request of this site (style sheets and pictures
// too), never to scripts, and not with requests that other sites start.
const char* const cookieName = "vistrel_session";
const char* const cookieAttributes = "; Path=/; HttpOnly; SameSite=Lax";

struct Header {
  const char* name;
  const char* value;
};

// On every answer: no other site may frame the pages (clickjacking), browsers take the
// content types as sent, and the session identifiers in the URLs never travel to another
// site in a Referer.
const Header securityHeaders[] = {
    {"X-Frame-Options", "SAMEORIGIN"},
    {"Content-Security-Policy", "frame-ancestors 'self'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "same-origin"},
};

// How the browser may keep the answers of a view of the chain (see answerCaching), and of
// what comes after the view: what a row sets holds from that row on, also for the routes
// that follow the chain (see cachingFrom).
enum class Caching {
  // The session's page caching.
  PAGES,
  // Image files among pages, and static files after them.
  IMAGE_FILES,
};

// The chain of views: each is asked in turn for the page the request names, the first that
// knows the page id answers. The shared guest session reaches only the views that allow
// guests (the login pages); a new page family is one row here.
struct ViewRow {
  GView* (*make)();
  bool guests;
  Caching caching;
};

template <class View>
GView* makeView() {
  return new View();
}

const ViewRow viewChain[] = {
    // view                           guests  caching
    {makeView<GMainView>,             true,   Caching::PAGES},
    {makeView<GUserAdminView>,        false,  Caching::PAGES},
    {makeView<GFolderAdminView>,      false,  Caching::PAGES},
    {makeView<GImageFolderView>,      false,  Caching::PAGES},
    {makeView<GUserView>,             false,  Caching::PAGES},
    {makeView<GSearchView>,           false,  Caching::PAGES},
    {makeView<GImageAcceptView>,      false,  Caching::PAGES},
    {makeView<GInfoView>,             false,  Caching::IMAGE_FILES},
};

// Long enough for files that change only with a new version of the server.
const char* const longCaching = "max-age=1000000";

// The pages of a logged-in session are not kept by the browser, so that Back after a
// log-out cannot show them again; the guest's login page only has to be asked for again.
const char* pageCaching(GSession& _session) {
  return GRights::isLoggedIn(_session) ? "no-store" : "no-cache";
}

// The caching from a row of the chain on: pages, or files kept long.
const char* cachingFrom(Caching _caching, GSession& _session) {
  return _caching == Caching::PAGES ? pageCaching(_session) : longCaching;
}

// The caching of the answer of a row's view to page _page.
const char* answerCaching(Caching _caching, GSession& _session, int _page,
                          const MString& _contentType) {
  if (_caching == Caching::PAGES) return pageCaching(_session);
  // Who may see a picture depends on the session: no shared cache may keep it, and what was
  // refused is asked for again.
  if (_contentType == "image/jpeg") return "private, max-age=1000000";
  if (GInfoView::isImageFile(_page)) return "no-cache";
  return pageCaching(_session);
}

void writeFailure(MTextStream& _out, MException& _failure) {
  try {
    _out << "<HTML><BODY><PRE>" << GHtml::escape(_failure.toString().getValue()).getValue()
         << "</PRE></BODY><HTML>\n";
  } catch (const MException&) {
    // The body is full; what stands in it goes out as it is.
  }
}

}  // namespace

// The path routes: what the chain of views leaves, by the request's path, in this order; a
// route taken before the session goes before everything else. A new route is one row here.
struct GServlet::Route {
  enum Phase { BEFORE_SESSION, AFTER_VIEWS };
  // The path is the route's path, holds it, or is any path.
  enum Match { IS, HOLDS, ANY };
  Phase phase;
  Match match;
  const char* path;
  bool (GServlet::*answer)(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                           MTextStream& _out);

  bool takes(const MString& _path) const {
    switch (match) {
      case IS: return _path == path;
      case HOLDS: return strstr(_path.getValue(), path) != nullptr;
      default: return true;
    }
  }
};

const GServlet::Route GServlet::routes[] = {
    // phase                match         path                answer
    {Route::BEFORE_SESSION, Route::IS,    "/favicon.ico",     &GServlet::serveFavicon},
    {Route::AFTER_VIEWS,    Route::HOLDS, "/images/original", &GServlet::refuseOriginal},
    {Route::AFTER_VIEWS,    Route::ANY,   "",                 &GServlet::serveStaticFile},
    {Route::AFTER_VIEWS,    Route::IS,    "/",                &GServlet::serveRoot},
};

GServlet::GServlet(size_t _workQueue)
    : guestSession(nullptr),
      lastCleanUp(0),
      actions(new GActions(sessions)),
      workers(0, _workQueue) {
  for (const ViewRow& row : viewChain) views.emplace_back(row.make());
}

GServlet::~GServlet() {
  // Work under way ends first; its answers are abandoned with their connections.
  stopWork();
  delete actions;
}

int GServlet::currentTime() { return (int)getTime(); }

void GServlet::stopWork() { workers.shutdown(MWorkerPool::DROP_QUEUED); }

void GServlet::init() try {
  GApplication& application = GApplication::get();
  guestSession = sessions.getSession(GSession::guestId);
  if (guestSession != nullptr) guestSession->language = application.getDefaultLanguage();
  sessions.setMaxSessions(application.getMaxSessions());
  lastCleanUp = currentTime();
} M_RETHROW("void GServlet::init()")

void GServlet::event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) {
  _response.headers.setExceptions(false);
  for (const Header& header : securityHeaders) {
    _response.headers.setObject(header.name, header.value);
  }
  for (const Route& route : routes) {
    if (route.phase != Route::BEFORE_SESSION || !route.takes(_request.path)) continue;
    guarded(_response, [&](MTextStream& _out) {
      (this->*route.answer)(guestSession, _request, _response, _out);
    });
    return;
  }
  guarded(_response, [&](MTextStream& _out) { handleRequest(_request, _response, _out); });
}

void GServlet::guarded(MHttpResponse& _response, const std::function<void(MTextStream&)>& _step) {
  MTextStream out(&_response.content);
  try {
    _step(out);
  } catch (const MException& _caught) {
    MException failure(eventSignature, "Operation failed!", &_caught);
    writeFailure(out, failure);
  } catch (const std::exception& _caught) {
    // Out of memory and the like: the request fails, the server goes on.
    MException cause("### SYSTEM ###", _caught.what());
    MException failure(eventSignature, "Operation failed!", &cause);
    writeFailure(out, failure);
  }
}

void GServlet::forEachSecurityHeader(
    const std::function<void(const char*, const char*)>& _use) {
  for (const Header& header : securityHeaders) _use(header.name, header.value);
}

MString GServlet::sessionCookie(const char* _sessionId) {
  return MString::format("%s=%s%s", cookieName, _sessionId, cookieAttributes);
}

MString GServlet::clearedSessionCookie() {
  return MString::format("%s=%s; Max-Age=0", cookieName, cookieAttributes);
}

MString GServlet::cookieSession(MHttpRequest& _request) {
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
        // The bare identifier that earlier versions set; kept so that a browser holding one
        // stays logged in across the update.
        if (!pair.empty() && legacy.getLength() == 0) legacy = pair.c_str();
      } else if (pair.compare(0, equals, cookieName) == 0 && equals == strlen(cookieName)) {
        return MString(pair.substr(equals + 1).c_str());
      }
      start = end + 1;
    }
  }
  return legacy;
}

MString GServlet::clientAddress(MHttpRequest& _request) {
  MString peer = _request.remoteAddress.toString();
  MString proxy = GApplication::get().getProxyAddress();
  if (proxy.getLength() == 0 || peer != proxy) return peer;
  for (MItem* item = _request.headers.getFirstItem(); item != nullptr;
       item = _request.headers.getNextItem(item)) {
    if (strcasecmp(item->key->toString().getValue(), "X-Forwarded-For") != 0) continue;
    std::string list = item->object->toString().getValue();
    size_t comma = list.rfind(',');
    std::string last = comma == std::string::npos ? list : list.substr(comma + 1);
    size_t first = last.find_first_not_of(" \t");
    size_t end = last.find_last_not_of(" \t");
    if (first != std::string::npos) return MString(last.substr(first, end - first + 1).c_str());
  }
  return peer;
}

void GServlet::handleRequest(MHttpRequest& _request, MHttpResponse& _response,
                             MTextStream& _out) {
  int now = currentTime();
  // The pages say which character set they are in, so that a browser sends typed letters
  // beyond ASCII as UTF-8 and shows them back as typed; without it every browser guesses a
  // one-byte set, and letters outside it come back as numeric references.
  _response.contentType = "text/html; charset=UTF-8";
  MList& params = _request.params;
  params.setExceptions(false);
  GSession* session = nullptr;

  // The request's own `session` parameter, else its cookie; never the address or port it
  // came from, which many people share behind a proxy or a NAT and anyone can reuse. Only a
  // request that names its session itself may act in it (see the class comment).
  MString identifier = GView::paramText(params, "session");
  bool namesSession = identifier.getLength() > 0;
  if (!namesSession) identifier = cookieSession(_request);

  if (identifier.getLength() > 0) {
    session = sessions.getSession(identifier.getValue());
    if (session != nullptr) {
      // Administrators, and sessions they opened as another user, never time out here.
      if (GRights::neverTimesOut(*session)) {
        session->lastAccess = now;
      }
      if (session != guestSession) {
        uint idle = (uint)now - (uint)session->lastAccess;
        if (idle > (uint)GApplication::get().getSessionTimeout()) {
          GMainView::breakOut(_out, GMainView::EXPIRED);
          _response.headers.setObject("Set-Cookie", clearedSessionCookie().getValue());
          removeSession(identifier.getValue());
          return;
        }
      }
      session->lastAccess = now;
    }
  }

  if ((uint)now - (uint)lastCleanUp > cleanUpInterval) expireSessions();

  // A page of a session that has ended (logged out, or removed while the browser kept its
  // pages): the login page replaces the whole window, instead of appearing inside one frame
  // beside the pages of the user who has left.
  if (namesSession && session == nullptr && identifier != GSession::guestId &&
      _request.path == "/" && GView::paramInt(params, "action") != GIds::ACTION_LOGIN) {
    int page = GView::paramInt(params, "page");
    if (page != GIds::PAGE_MAIN && page != GIds::PAGE_SUBMAIN) {
      GMainView::breakOut(_out, GMainView::LOGGED_OUT);
      return;
    }
    params.setObject(GMainView::LOGIN_STATE, GMainView::LOGGED_OUT);
  }

  // A login is carried out as a login whatever session the request arrives with: the
  // credentials it carries decide, never a session its connection or browser had before.
  bool loginRequest = GView::paramInt(params, "action") == GIds::ACTION_LOGIN &&
                      (session == nullptr || session == guestSession ||
                       params.getObject("username") != nullptr ||
                       params.getObject(GMainView::GUEST_LOGIN) != nullptr);
  if (loginRequest) {
    // The password is checked on a worker thread; the rest of the request then goes on
    // there (finishLogin), and the server loop serves everybody else meanwhile.
    if (beginLogin(_request, _response, session, identifier)) return;
  } else if (session == nullptr || session == guestSession) {
    params.setObject("session", GSession::guestId);
  }

  if (session != nullptr && !loginRequest) {
    if (namesSession) {
      GSlowStep slow;
      process_action(*session, _request, &slow);
      // Decoding and scaling a picture take long: on a worker, while the loop goes on.
      if (slow.isPending()) {
        runSlowStep(slow, _response, identifier);
        return;
      }
    } else {
      // Removed rather than ignored, so that it cannot travel on into the links of the page
      // and come back with the session in them.
      params.deleteObject("action");
    }
  }

  respond(_request, _response, _out, session, identifier);
}

void GServlet::respond(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out,
                       GSession* _session, const MString& _identifier) {
  MList& params = _request.params;
  GSession* session = _session;
  const MString& identifier = _identifier;
  GSession* acting = session;
  MString resolved = GView::paramText(params, "session");
  if (resolved.getLength() > 0 && resolved != identifier) {
    session = sessions.getSession(resolved.getValue());
  }
  if (acting != nullptr && acting->loggedOut && acting != session) {
    // A log-out back to the guest ends the browser's cookie too; one back to the
    // administrator's own session leaves the administrator's cookie alone.
    if (acting->returnSessionId.getLength() == 0) {
      _response.headers.setObject("Set-Cookie", clearedSessionCookie().getValue());
    }
    MString ended = acting->id;
    removeSession(ended.getValue());
  }
  if (session == nullptr) return;

  if (answerPage(*session, params, _response, _out)) return;
  for (const Route& route : routes) {
    if (route.phase != Route::AFTER_VIEWS || !route.takes(_request.path)) continue;
    if ((this->*route.answer)(session, _request, _response, _out)) return;
  }
}

bool GServlet::answerPage(GSession& _session, MList& _params, MHttpResponse& _response,
                          MTextStream& _out) {
  for (size_t i = 0; i < views.size(); ++i) {
    const ViewRow& row = viewChain[i];
    if (&_session == guestSession && !row.guests) continue;
    _response.headers.setObject("Cache-Control", cachingFrom(row.caching, _session));
    if (!views[i]->process_request(_session, _out, _params, _response.contentType)) continue;
    _response.headers.setObject("Cache-Control",
                                answerCaching(row.caching, _session,
                                              GView::paramInt(_params, "page"),
                                              _response.contentType));
    return true;
  }
  return false;
}

bool GServlet::serveFavicon(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                            MTextStream& _out) {
  // The browser's tab icon, asked for by every new browser without a session: served from
  // the web directory like any static file, and only that.
  if (_session != nullptr && fileRequest(*_session, _request, _response)) {
    _response.headers.setObject("Cache-Control", longCaching);
  } else {
    _response.statusCode = 404;
    _response.statusText = "NOT FOUND";
  }
  return true;
}

bool GServlet::refuseOriginal(GSession* _session, MHttpRequest& _request,
                              MHttpResponse& _response, MTextStream& _out) {
  // Those who may see originals get them as static files (the next route).
  if (GRights::mayDownloadOriginals(*_session)) return false;
  _out << "<HTML><BODY>Url not found " << GHtml::escape(_request.url.getValue()).getValue()
       << "</BODY><HTML>\n";
  return true;
}

bool GServlet::serveStaticFile(GSession* _session, MHttpRequest& _request,
                               MHttpResponse& _response, MTextStream& _out) {
  return fileRequest(*_session, _request, _response);
}

bool GServlet::serveRoot(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                         MTextStream& _out) {
  // Also a page id that no view has: the outer frame set starts the interface afresh.
  _request.params.setObject("page", GIds::PAGE_MAIN);
  return answerPage(*_session, _request.params, _response, _out);
}

bool GServlet::beginLogin(MHttpRequest& _request, MHttpResponse& _response, GSession* _inUse,
                          const MString& _identifier) {
  // A refused login shows the login page again with one message for every cause (unknown
  // name, disabled account, wrong password), so that names cannot be probed; guessing is
  // throttled per name and per address before any hashing. The guest button names no user
  // and carries no password: it is the guest account's key.
  MList& params = _request.params;
  GDatabase& database = GApplication::get().getDatabase();
  LoginAttempt attempt;
  attempt.inUse = _inUse;
  if (GView::paramText(params, GMainView::GUEST_LOGIN) == "1") {
    attempt.guestKey = true;
    attempt.known = database.getUser(GRights::guestAccountId, attempt.user) >= 0;
    finishLogin(_request, _response, attempt, attempt.known);
    return false;
  }
  attempt.username = GView::paramText(params, "username");
  attempt.address = clientAddress(_request);
  attempt.now = (Int64)currentTime() * 1000;
  if (!startCheck(attempt)) {
    attempt.throttled = true;
    finishLogin(_request, _response, attempt, false);
    return false;
  }
  attempt.known = database.getUserByUsername(attempt.username.getValue(), attempt.user) >= 0;
  // Hashed also for an unknown name, so that the time of the answer does not tell.
  MString password = GView::paramText(params, "password");
  MString stored = attempt.known ? attempt.user.password : MString();
  params.deleteObject("password");

  std::shared_ptr<MLaterResponse> later = _response.defer();
  MString identifier = _identifier;
  auto check = [this, later, attempt, password, stored, identifier]() {
    bool right = GPasswordHash::verify(password, stored);
    endCheck(attempt, right);
    later->complete([this, attempt, right, identifier](MHttpRequest& _req, MHttpResponse& _resp) {
      guarded(_resp, [&](MTextStream& _out) {
        finishLogin(_req, _resp, attempt, right);
        respond(_req, _resp, _out, sessions.getSession(identifier.getValue()), identifier);
      });
    });
  };
  if (workers.submit(check)) return true;
  // Every worker busy and the queue full: checked here, slower for everybody, but answered.
  _response.later.reset();
  bool right = GPasswordHash::verify(password, stored);
  endCheck(attempt, right);
  finishLogin(_request, _response, attempt, right);
  return false;
}

namespace {

// The keys of the checks under way: the account name as the throttle keeps it, the address.
std::string accountCheck(const MString& _username) {
  return "account:" + GLoginThrottle::accountKey(_username.getValue());
}
std::string addressCheck(const MString& _address) {
  return "address:" + std::string(_address.getValue());
}

}  // namespace

bool GServlet::startCheck(const LoginAttempt& _attempt) {
  std::lock_guard<std::mutex> lock(throttleMutex);
  std::string account = accountCheck(_attempt.username);
  std::string address = addressCheck(_attempt.address);
  // Guesses sent all at once would otherwise all be checked before the first failure is
  // counted: one check at a time per account, a few per address.
  if (loginThrottle.refusedFor(_attempt.username.getValue(), _attempt.address.getValue(),
                               _attempt.now) > 0 ||
      checking[account] >= 1 || checking[address] >= maxChecksPerAddress) {
    if (checking[account] == 0) checking.erase(account);
    if (checking[address] == 0) checking.erase(address);
    return false;
  }
  checking[account]++;
  checking[address]++;
  return true;
}

void GServlet::endCheck(const LoginAttempt& _attempt, bool _right) {
  std::lock_guard<std::mutex> lock(throttleMutex);
  if (_attempt.known && _attempt.user.enabled && _right) {
    loginThrottle.succeeded(_attempt.username.getValue());
  } else {
    loginThrottle.failed(_attempt.username.getValue(), _attempt.address.getValue(), _attempt.now);
  }
  for (const std::string& key : {accountCheck(_attempt.username), addressCheck(_attempt.address)}) {
    if (--checking[key] <= 0) checking.erase(key);
  }
}

void GServlet::runSlowStep(GSlowStep& _slow, MHttpResponse& _response,
                           const MString& _identifier) {
  std::shared_ptr<MLaterResponse> later = _response.defer();
  GSlowStep slow = _slow;
  MString identifier = _identifier;
  auto job = [this, later, slow, identifier]() {
    slow.work();
    later->complete([this, slow, identifier](MHttpRequest& _req, MHttpResponse& _resp) {
      guarded(_resp, [&](MTextStream& _out) {
        slow.after();
        respond(_req, _resp, _out, sessions.getSession(identifier.getValue()), identifier);
      });
    });
  };
  if (workers.submit(job)) return;
  // Every worker busy and the queue full: work of this weight on the loop would stall every
  // other client, so the browser is asked to send it again; nothing of it took effect (the
  // work never ran, the body goes with the request), and the same request may come again.
  _response.later.reset();
  GSession* session = sessions.getSession(identifier.getValue());
  if (session != nullptr) session->releaseRequestId();
  _response.statusCode = 503;
  _response.statusText = "Service Unavailable";
  _response.contentType = "text/plain";
  _response.headers.setObject("Retry-After", "5");
  _response.headers.setObject("Cache-Control", "no-store");
  MTextStream out(&_response.content);
  out << "The server is busy. Please send it again in a few seconds.\n";
}

void GServlet::finishLogin(MHttpRequest& _request, MHttpResponse& _response,
                           const LoginAttempt& _attempt, bool _right) {
  MList& params = _request.params;
  const char* refusal = nullptr;
  if (_attempt.throttled) {
    refusal = GMainView::LOGIN_THROTTLED;
  } else if (!_attempt.known || !_attempt.user.enabled || !_right) {
    refusal = GMainView::LOGIN_FAILED;
  }
  // Nothing of what was typed goes on into the links of the page: the password never
  // stands in a URL.
  params.clear();
  if (refusal != nullptr) {
    params.setObject("session", guestSession != nullptr ? guestSession->id.getValue()
                                                        : GSession::guestId);
    params.setObject("page", GIds::PAGE_SUBMAIN);
    params.setObject(GMainView::LOGIN_STATE, refusal);
    return;
  }
  GSession* created = sessions.createSession(_attempt.inUse);
  created->lastAccess = currentTime();
  created->user = _attempt.user;
  created->viewState.clear();
  created->searchResults.clear();
  _response.headers.setObject("Set-Cookie", sessionCookie(created->id.getValue()).getValue());
  params.setObject("session", created->id.getValue());
  params.setObject("page", GIds::PAGE_MAIN);
  params.setObject(GMainView::ENTERED, 1);
}

void GServlet::process_action(GSession& _session, MHttpRequest& _request, GSlowStep* _slow) try {
  actions->process(_session, _request, currentTime(), _slow);
} M_RETHROW("void GServlet::process_action(GSession& _session,MHttpRequest& _request)")

bool GServlet::fileRequest(GSession& _session, MHttpRequest& _request,
                           MHttpResponse& _response) try {
  const char* path = _request.path.getValue();
  int length = _request.path.getLength();
  if (strstr(path, "..") != nullptr || strchr(path, '~') != nullptr || length > maxFilePath) {
    return false;
  }
  const char* dot = strrchr(path, '.');
  if (dot == nullptr || dot == path) return false;
  const char* extension = dot + 1;
  if ((int)strlen(extension) < maxExtension) {
    MString* mimeType = GApplication::get().getMimeType(extension);
    if (mimeType != nullptr) _response.contentType = *mimeType;
  }

  MString name = MString::format("%s/web/%s", GApplication::get().getDirectory().getValue(), path);
  FILE* file = fopen(name.getValue(), "rb");
  if (file == nullptr) return false;
  // Only plain files: a directory whose name has a dot opens too, but is no file to send.
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    fclose(file);
    return false;
  }
  try {
    char buffer[10000];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
      if (_response.content.writeData(buffer, (int)n) != (int)n) {
        throw MException("### FILE ###", "The file does not fit into the response!");
      }
    }
  } catch (const MException&) {
    fclose(file);
    throw;
  }
  fclose(file);
  return true;
} M_RETHROW("bool GServlet::fileRequest(GSession& _session,MHttpRequest& _request,MHttpResponse& _response)")

void GServlet::removeSession(const char* _sessionId) try {
  sessions.deleteSession(_sessionId);
} M_RETHROW("void GServlet::removeSession(char *_sessionId)")

void GServlet::expireSessions() try {
  sessions.checkSessions(currentTime());
  lastCleanUp = currentTime();
} M_RETHROW("void GServlet::expireSessions()")
