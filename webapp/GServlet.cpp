#include "webapp/GServlet.h"

#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>

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
#include "views/GStatusView.h"
#include "views/GShareView.h"
#include "views/GUserAdminView.h"
#include "views/GUserView.h"
#include "webapp/GActions.h"
#include "webapp/GBodyAdmission.h"
#include "webapp/GClientAddress.h"
#include "webapp/GFileDelivery.h"
#include "webapp/GRequestIdentity.h"

namespace {

const char* const eventSignature =
    "void GServlet::event_httpRequest(MHttpRequest& _request,MHttpResponse& _response)";

// Seconds between two expiry runs at the least.
const uint cleanUpInterval = 10;

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
    {makeView<GStatusView>,           false,  Caching::PAGES},
    {makeView<GShareView>,            false,  Caching::PAGES},
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
  // The path is the route's path, holds it, starts with it, or is any path.
  enum Match { IS, HOLDS, ANY, STARTS };
  Phase phase;
  Match match;
  const char* path;
  bool (GServlet::*answer)(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                           MTextStream& _out);

  bool takes(const MString& _path) const {
    switch (match) {
      case IS: return _path == path;
      case HOLDS: return strstr(_path.getValue(), path) != nullptr;
      case STARTS: return strncmp(_path.getValue(), path, strlen(path)) == 0;
      default: return true;
    }
  }
};

const GServlet::Route GServlet::routes[] = {
    // phase                match         path                answer
    {Route::BEFORE_SESSION, Route::IS,    "/favicon.ico",     &GServlet::serveFavicon},
    {Route::BEFORE_SESSION, Route::IS,    "/metrics",         &GServlet::serveMetrics},
    {Route::BEFORE_SESSION, Route::IS,    "/healthz",         &GServlet::serveHealth},
    {Route::BEFORE_SESSION, Route::STARTS, "/s/",             &GServlet::serveShareLink},
    {Route::AFTER_VIEWS,    Route::HOLDS, "/images/original", &GServlet::refuseOriginal},
    {Route::AFTER_VIEWS,    Route::ANY,   "",                 &GServlet::serveStaticFile},
    {Route::AFTER_VIEWS,    Route::IS,    "/",                &GServlet::serveRoot},
};

GServlet::GServlet(size_t _workQueue)
    : guestSession(nullptr),
      lastCleanUp(0),
      actions(new GActions(sessions)),
      login(sessions),
      workers(0, _workQueue),
      shareVisit(login, workers) {
  for (const ViewRow& row : viewChain) views.emplace_back(row.make());
}

GServlet::~GServlet() {
  // Work under way ends first; its answers are abandoned with their connections.
  stopWork();
  delete actions;
}

int GServlet::currentTime() { return (int)getTime(); }

void GServlet::stopWork() {
  login.stop();
  workers.shutdown(MWorkerPool::DROP_QUEUED);
}

void GServlet::init() try {
  GApplication& application = GApplication::get();
  guestSession = sessions.getSession(GSession::guestId);
  if (guestSession != nullptr) guestSession->language = application.getDefaultLanguage();
  sessions.setMaxSessions(application.getMaxSessions());
  sessions.setMaxGuestAccountSessions(application.getMaxGuestAccountSessions());
  operations.configure(application);
  shareVisit.setMetrics(&operations.getMetrics());
  login.setReport([this](GMetrics::Login _outcome, const MString& _user, const MString& _client) {
    operations.loginDecided(_outcome, _user, _client, (time_t)currentTime());
  });
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
  GClientAddress::notice(_request);
  guarded(_response, [&](MTextStream& _out) { handleRequest(_request, _response, _out); });
}

MHttpHandler::BodyDecision GServlet::admitBody(MHttpRequest& _request) {
  return GBodyAdmission::decide(sessions, _request);
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

void GServlet::handleRequest(MHttpRequest& _request, MHttpResponse& _response,
                             MTextStream& _out) {
  int now = currentTime();
  // The pages say which character set they are in, so that a browser sends typed letters
  // beyond ASCII as UTF-8 and shows them back as typed; without it every browser guesses a
  // one-byte set, and letters outside it come back as numeric references.
  _response.contentType = "text/html; charset=UTF-8";
  MList& params = _request.params;
  params.setExceptions(false);

  // Only a request that names its session itself may act in it (see the class comment).
  GRequestIdentity::Found found = GRequestIdentity::find(_request, sessions);
  GSession* session = found.session;
  MString identifier = found.identifier;
  bool namesSession = found.namesSession;

  if (session != nullptr && session != guestSession) {
    if (sessions.isExpired(*session, now)) {
      GMainView::breakOut(_out, GMainView::EXPIRED);
      endSession(_request, _response, *session);
      return;
    }
    // The rights of this request are those of the stored account; a session that no longer
    // stands for it ends, and the request goes on as one of a session that has ended.
    if (!sessions.renewAccount(*session)) {
      endSession(_request, _response, *session);
      session = nullptr;
    }
  }
  if (session != nullptr) sessions.touch(*session, now);

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
    endSession(_request, _response, *acting);
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
  if (_session != nullptr && GFileDelivery::serveFile(_request, _response)) {
    _response.headers.setObject("Cache-Control", longCaching);
  } else {
    _response.statusCode = 404;
    _response.statusText = "NOT FOUND";
  }
  return true;
}

bool GServlet::refuseOriginal(GSession* _session, MHttpRequest& _request,
                              MHttpResponse& _response, MTextStream& _out) {
  return GFileDelivery::refuseOriginal(*_session, _request, _out);
}

void GServlet::event_answered(MHttpRequest& _request, MHttpResponse& _response, UInt64 _micros) {
  try {
    operations.answered(_request, _response, _micros);
  } catch (const std::exception&) {
    // Out of memory while counting: the answer goes out uncounted.
  }
}

GServerStatus GServlet::serverStatus() {
  GServerStatus known;
  const char* kindNames[GSessionManagement::KINDS] = {"guest_account", "ordinary", "privileged"};
  for (int kind = 0; kind < GSessionManagement::KINDS; ++kind) {
    known.sessions.emplace_back(kindNames[kind], sessions.getCount((GSessionManagement::Kind)kind));
  }
  for (auto pool : {std::make_pair("work", &workers), std::make_pair("login", &login.getWorker())}) {
    GServerStatus::Queue queue;
    queue.name = pool.first;
    queue.depth = pool.second->getQueued();
    queue.capacity = pool.second->getCapacity();
    queue.taken = pool.second->getTaken();
    queue.waitedMicros = pool.second->getWaitedMicros();
    known.queues.push_back(queue);
  }
  return operations.status(known, GApplication::get());
}

bool GServlet::serveMetrics(GSession*, MHttpRequest& _request, MHttpResponse& _response,
                            MTextStream& _out) {
  _response.headers.setObject("Cache-Control", "no-store");
  if (!operations.mayReadMetrics(_request)) {
    // As if there were nothing here: a stranger learns nothing of the server.
    _response.statusCode = 404;
    _response.statusText = "Not Found";
    _response.contentType = "text/plain; charset=utf-8";
    _out << "Not found\n";
    return true;
  }
  _response.contentType = "text/plain; version=0.0.4; charset=utf-8";
  _out << operations.getMetrics().render(serverStatus()).c_str();
  return true;
}

bool GServlet::serveHealth(GSession*, MHttpRequest&, MHttpResponse& _response, MTextStream& _out) {
  _response.headers.setObject("Cache-Control", "no-store");
  _response.contentType = "text/plain; charset=utf-8";
  std::string reason = operations.unhealthyReason(GApplication::get());
  if (!reason.empty()) {
    _response.statusCode = 503;
    _response.statusText = "Service Unavailable";
    _out << reason.c_str() << "\n";
    return true;
  }
  _out << "ok\n";
  return true;
}

bool GServlet::serveStaticFile(GSession* _session, MHttpRequest& _request,
                               MHttpResponse& _response, MTextStream& _out) {
  return GFileDelivery::serveFile(_request, _response);
}

bool GServlet::serveRoot(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                         MTextStream& _out) {
  // Also a page id that no view has: the outer frame set starts the interface afresh.
  _request.params.setObject("page", GIds::PAGE_MAIN);
  return answerPage(*_session, _request.params, _response, _out);
}

bool GServlet::beginLogin(MHttpRequest& _request, MHttpResponse& _response, GSession* _inUse,
                          const MString& _identifier) {
  MString identifier = _identifier;
  return login.begin(_request, _response, _inUse, currentTime(),
                     [this, identifier](MHttpRequest& _req, MHttpResponse& _resp,
                                        const std::function<void()>& _decide) {
                       guarded(_resp, [&](MTextStream& _out) {
                         _decide();
                         respond(_req, _resp, _out, sessions.getSession(identifier.getValue()),
                                 identifier);
                       });
                     });
}

void GServlet::runSlowStep(GSlowStep& _slow, MHttpResponse& _response,
                           const MString& _identifier) {
  GSlowStep slow = _slow;
  MString identifier = _identifier;
  std::string key = identifier.getValue();
  if (slow.oneAtATime) {
    std::lock_guard<std::mutex> lock(slowMutex);
    if (!slowSessions.insert(key).second) {
      answerBusy(_response, identifier);
      return;
    }
  }
  auto done = [this, slow, key]() {
    if (!slow.oneAtATime) return;
    std::lock_guard<std::mutex> lock(slowMutex);
    slowSessions.erase(key);
  };
  std::shared_ptr<MLaterResponse> later = _response.defer();
  auto job = [this, later, slow, identifier, done]() {
    slow.work();
    done();
    later->complete([this, slow, identifier](MHttpRequest& _req, MHttpResponse& _resp) {
      guarded(_resp, [&](MTextStream& _out) {
        // The session may have ended, or its account changed, while the work ran: then
        // nothing more of the action happens in it.
        GSession* session = sessions.getSession(identifier.getValue());
        if (session == nullptr || !sessions.renewAccount(*session)) {
          if (session != nullptr) endSession(_req, _resp, *session);
          GMainView::breakOut(_out, GMainView::LOGGED_OUT);
          return;
        }
        slow.after();
        respond(_req, _resp, _out, session, identifier);
      });
    });
  };
  if (workers.submit(job, done)) return;
  done();
  // Every worker busy and the queue full: work of this weight on the loop would stall every
  // other client, so the browser is asked to send it again.
  _response.later.reset();
  answerBusy(_response, identifier);
}

void GServlet::answerBusy(MHttpResponse& _response, const MString& _identifier) {
  // Nothing of the step took effect (the work never ran, the body goes with the request),
  // and the same request may come again.
  GSession* session = sessions.getSession(_identifier.getValue());
  if (session != nullptr) session->releaseRequestId();
  _response.statusCode = 503;
  _response.statusText = "Service Unavailable";
  _response.contentType = "text/plain";
  _response.headers.setObject("Retry-After", "5");
  _response.headers.setObject("Cache-Control", "no-store");
  MTextStream out(&_response.content);
  out << "The server is busy. Please send it again in a few seconds.\n";
}

void GServlet::process_action(GSession& _session, MHttpRequest& _request, GSlowStep* _slow) try {
  actions->process(_session, _request, currentTime(), _slow);
} M_RETHROW("void GServlet::process_action(GSession& _session,MHttpRequest& _request)")

void GServlet::endSession(MHttpRequest& _request, MHttpResponse& _response,
                          GSession& _session) {
  // A session opened as another user has no cookie of its own: the administrator's stays.
  MString cookie = GRequestIdentity::cookieValue(_request);
  if (_session.cookieSecret.getLength() > 0 && _session.cookieSecret == cookie) {
    _response.headers.setObject(
        "Set-Cookie",
        GRequestIdentity::clearedSessionCookie(GRequestIdentity::isHttps(_request)).getValue());
  }
  MString ended = _session.id;
  removeSession(ended.getValue());
}

void GServlet::removeSession(const char* _sessionId) try {
  sessions.deleteSession(_sessionId);
} M_RETHROW("void GServlet::removeSession(char *_sessionId)")

void GServlet::expireSessions() try {
  sessions.checkSessions(currentTime());
  lastCleanUp = currentTime();
} M_RETHROW("void GServlet::expireSessions()")

bool GServlet::serveShareLink(GSession* _session, MHttpRequest& _request,
                              MHttpResponse& _response, MTextStream& _out) {
  shareVisit.answer(_request, _response, _out, currentTime());
  return true;
}
