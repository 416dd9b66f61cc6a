#ifndef VISTREL_GSERVLET_H
#define VISTREL_GSERVLET_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/GUser.h"
#include "lib/net/MHttpHandler.h"
#include "lib/platform/MWorkerPool.h"
#include "webapp/GLoginThrottle.h"
#include "webapp/GSessionManagement.h"
#include "webapp/GSlowStep.h"

class GActions;
class GView;
class MHttpRequest;
class MHttpResponse;
class MList;
class MTextStream;

// The application's HTTP request handler. For every request it finds the session (from the
// `session` parameter or the session cookie), ends it when it has been idle
// too long, handles a login, expires idle sessions now and then, carries out the action the
// request names, and lets the views produce the page in a fixed order (the chain of views, a
// table in the source). What no view claims goes by the path routes (a second table): the
// favicon, the originals only to those who may see them, the static files of the web
// directory, and the root.
//
// Actions are carried out only for a request that names its session in its own `session`
// parameter, as every link and form of the pages does. A request that is attributed only
// through the cookie may read pages but changes nothing, so that another
// web site cannot make a logged-in browser act. The login of a visitor is the exception: it
// acts with the credentials it carries, not with the rights of a session the browser holds,
// and demanding the guest identifier, which every page shows, would protect nothing.
class GServlet : public MHttpHandler {
 public:
  // Jobs that may wait for a worker (password checks, the work of uploads).
  static const size_t defaultWorkQueue = 256;

  explicit GServlet(size_t _workQueue = defaultWorkQueue);
  ~GServlet() override;

  // Takes the guest session from the table and gives it the default language.
  void init();
  // Ends the work handed to workers: what runs finishes (an upload is stored whole), what
  // waits is dropped with nothing of it done; answers still due are abandoned.
  void stopWork();
  void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) override;
  // Carries out the action a request names, before the views are asked.
  void process_action(GSession& _session, MHttpRequest& _request, GSlowStep* _slow = nullptr);
  // Answers the request with a file of the web directory; false when it is not one.
  bool fileRequest(GSession& _session, MHttpRequest& _request, MHttpResponse& _response);
  // Deletes the session (never the guest session).
  void removeSession(const char* _sessionId);
  // The expiry run over the session table.
  void expireSessions();

  GSessionManagement& getSessions() { return sessions; }
  GSession* getGuestSession() { return guestSession; }

  // The Set-Cookie value that hands a browser its session, and the one that takes it back.
  static MString sessionCookie(const char* _sessionId);
  static MString clearedSessionCookie();
  // The session identifier of the request's session cookie, or the bare identifier that
  // earlier versions sent as the whole cookie; empty when there is neither.
  static MString cookieSession(MHttpRequest& _request);
  // The browser's address: the connection's, or behind the configured reverse proxy the
  // last address of its X-Forwarded-For (the one the proxy itself saw; earlier ones are
  // what the browser claims and prove nothing).
  static MString clientAddress(MHttpRequest& _request);
  // The headers of every answer (framing, content sniffing, Referer); the server gives them
  // to the HTTP processor too, for the answers it makes without the servlet.
  static void forEachSecurityHeader(const std::function<void(const char*, const char*)>& _use);

 protected:
  // Seconds since 1970.
  virtual int currentTime();

 private:
  // Steps from the session look-up on, inside the failure-page handler.
  void handleRequest(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out);
  // What a login request asked for, kept while its password is checked on a worker.
  struct LoginAttempt {
    GSession* inUse = nullptr;  // the session the request arrived with (compared, never read)
    bool guestKey = false;      // the guest button
    bool throttled = false;
    bool known = false;
    GUser user;
    MString username;
    MString address;
    Int64 now = 0;
  };
  // Starts the login with the request's username and password: true when its password is
  // being checked on a worker and the answer completes later; false when it was decided at
  // once (the guest button, a throttled attempt, every worker busy).
  bool beginLogin(MHttpRequest& _request, MHttpResponse& _response, GSession* _inUse,
                  const MString& _identifier);
  // Counts a password check as under way, unless the throttle refuses the attempt or a
  // check for the same account (or too many from the address) is under way already.
  bool startCheck(const LoginAttempt& _attempt);
  // The throttle learns the outcome of a check (on the worker that made it, so that it
  // counts also when the browser has gone), and the check is no longer under way.
  void endCheck(const LoginAttempt& _attempt, bool _right);
  // The outcome of a login: a new session and its cookie, or the login page with the
  // message.
  void finishLogin(MHttpRequest& _request, MHttpResponse& _response, const LoginAttempt& _attempt,
                   bool _right);
  // Hands the slow step of an action to a worker, whose answer completes later; with every
  // worker busy and the queue full, answers 503 at once instead.
  void runSlowStep(GSlowStep& _slow, MHttpResponse& _response, const MString& _identifier);
  // The steps after the action: the session the request ends in, and its page.
  void respond(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out,
               GSession* _session, const MString& _identifier);
  // Runs _step with an output over the response's body; a failure becomes the failure page.
  void guarded(MHttpResponse& _response, const std::function<void(MTextStream&)>& _step);

  // Asks the chain of views for the page _params name and sets how the browser may keep the
  // answer; false when no view the session reaches has the page.
  bool answerPage(GSession& _session, MList& _params, MHttpResponse& _response,
                  MTextStream& _out);
  // A path route: which paths it takes, when, and its answer (see the table in the source).
  struct Route;
  static const Route routes[];
  // The answers of the routes: _session is the request's session, or the guest session
  // (perhaps null) for a route taken before the session is known. False when the route
  // leaves the request to the next one.
  bool serveFavicon(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                    MTextStream& _out);
  bool refuseOriginal(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                      MTextStream& _out);
  bool serveStaticFile(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                       MTextStream& _out);
  bool serveRoot(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                 MTextStream& _out);

  // The views in the order of the chain of views.
  std::vector<std::unique_ptr<GView>> views;
  GSession* guestSession;
  GSessionManagement sessions;
  int lastCleanUp;
  // The numbered actions; they work on the session table above.
  GActions* actions;
  // Failed logins per account name and per address (see login).
  GLoginThrottle loginThrottle;
  // Guards the throttle and the checks under way: workers report to them.
  std::mutex throttleMutex;
  std::unordered_map<std::string, int> checking;
  // Password checks (memory-hard hashing, tens of milliseconds each) off the server loop.
  MWorkerPool workers;
};

#endif
