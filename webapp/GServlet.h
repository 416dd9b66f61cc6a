#ifndef VISTREL_GSERVLET_H
#define VISTREL_GSERVLET_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lib/net/MHttpHandler.h"
#include "lib/platform/MWorkerPool.h"
#include "webapp/GLogin.h"
#include "webapp/GOperations.h"
#include "webapp/GSessionManagement.h"
#include "webapp/GShareVisit.h"
#include "webapp/GSlowStep.h"

class GActions;
class GView;
class MHttpRequest;
class MHttpResponse;
class MList;
class MTextStream;

// The application's HTTP request handler. For every request it finds the session
// (GRequestIdentity: the `session` parameter with the session's cookie, or the cookie
// alone), ends it when it has been idle too long or no longer stands for its account
// (GSessionManagement::renewAccount, which also gives the session the stored account's
// rights for this request), handles a login, expires idle sessions now and then, carries out
// the action the request names, and lets the views produce the page in a fixed order (the
// chain of views, a table in the source). What no view claims goes by the path routes (a
// second table): the favicon, the originals only to those who may see them, the static
// files of the web directory, and the root.
//
// Actions are carried out only for a request that names its session in its own `session`
// parameter, as every link and form of the pages does. A request that is attributed only
// through the cookie may read pages but changes nothing, so that another
// web site cannot make a logged-in browser act. The login of a visitor is the exception: it
// acts with the credentials it carries, not with the rights of a session the browser holds,
// and demanding the guest identifier, which every page shows, would protect nothing.
class GServlet : public MHttpHandler {
 public:
  // Jobs that may wait for a worker (the work of uploads; password checks have their own).
  static const size_t defaultWorkQueue = 256;

  explicit GServlet(size_t _workQueue = defaultWorkQueue);
  ~GServlet() override;

  // Takes the guest session from the table and gives it the default language.
  void init();
  // Ends the work handed to workers: what runs finishes (an upload is stored whole), what
  // waits is dropped with nothing of it done; answers still due are abandoned.
  void stopWork();
  void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) override;
  // Which bodies are read at all: GBodyAdmission.
  BodyDecision admitBody(MHttpRequest& _request) override;
  // Carries out the action a request names, before the views are asked.
  void process_action(GSession& _session, MHttpRequest& _request, GSlowStep* _slow = nullptr);
  // Deletes the session (never the guest session).
  void removeSession(const char* _sessionId);
  // The expiry run over the session table.
  void expireSessions();

  GSessionManagement& getSessions() { return sessions; }
  GSession* getGuestSession() { return guestSession; }
  GLogin& getLogin() { return login; }
  GOperations& getOperations() { return operations; }
  // The figures of the moment (GOperations::status); on the loop, under the lock.
  GServerStatus serverStatus();
  // Counts the answer and writes its access line (GOperations).
  void event_answered(MHttpRequest& _request, MHttpResponse& _response, UInt64 _micros) override;

  // The headers of every answer (framing, content sniffing, Referer); the server gives them
  // to the HTTP processor too, for the answers it makes without the servlet.
  static void forEachSecurityHeader(const std::function<void(const char*, const char*)>& _use);

 protected:
  // Seconds since 1970.
  virtual int currentTime();

 private:
  // Steps from the session look-up on, inside the failure-page handler.
  void handleRequest(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out);
  // Starts the login (GLogin): true when its password is being checked and the answer
  // completes later, the page of the session it ends in then too; false when it was decided
  // at once and the request's parameters name the page.
  bool beginLogin(MHttpRequest& _request, MHttpResponse& _response, GSession* _inUse,
                  const MString& _identifier);
  // Hands the slow step of an action to a worker, whose answer completes later; with every
  // worker busy and the queue full, or a step of the same sort of the session under way
  // (GSlowStep::oneAtATime), answers 503 at once instead.
  void runSlowStep(GSlowStep& _slow, MHttpResponse& _response, const MString& _identifier);
  // The 503 answer of a slow step that did not start; nothing of it took effect.
  void answerBusy(MHttpResponse& _response, const MString& _identifier);
  // Removes the session and, when the request's cookie is the session's own, takes the
  // cookie back.
  void endSession(MHttpRequest& _request, MHttpResponse& _response, GSession& _session);
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
  bool serveMetrics(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                    MTextStream& _out);
  bool serveHealth(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                   MTextStream& _out);
  // The pages and files of links for people without an account (GShareVisit).
  bool serveShareLink(GSession* _session, MHttpRequest& _request, MHttpResponse& _response,
                      MTextStream& _out);

  // The views in the order of the chain of views.
  std::vector<std::unique_ptr<GView>> views;
  GSession* guestSession;
  GSessionManagement sessions;
  int lastCleanUp;
  // The numbered actions; they work on the session table above.
  GActions* actions;
  // The login form and the guest button, with their throttle and their own worker.
  GLogin login;
  // Metrics, health and the logs.
  GOperations operations;
  // Sessions with a one-at-a-time slow step under way; workers report to it.
  std::mutex slowMutex;
  std::unordered_set<std::string> slowSessions;
  // The work of uploads (decoding and scaling pictures) off the server loop.
  MWorkerPool workers;
  // Links for people without an account: throttled by the login's throttle, counted on the
  // workers above.
  GShareVisit shareVisit;
};

#endif
