#ifndef VISTREL_GLOGIN_H
#define VISTREL_GLOGIN_H

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "webapp/GMetrics.h"
#include "db/GUser.h"
#include "lib/core/MString.h"
#include "lib/platform/MDelayLine.h"
#include "lib/platform/MWorkerPool.h"
#include "webapp/GLoginThrottle.h"
#include "webapp/GMetrics.h"

class GSession;
class GSessionManagement;
class MHttpRequest;
class MHttpResponse;

// The login of a visitor: the login form's username and password, or the guest button.
//
// A refused login shows the login page again with one message for every cause (unknown
// name, disabled account, wrong password), so that names cannot be probed. Before any
// hashing, in this order, a login is refused
//   - with that message, without counting: when the username or the password stands in the
//     query string (the form posts them; a URL ends up in logs and histories), or when the
//     password is empty (it never logs in);
//   - as throttled: by the throttle's back-offs (GLoginThrottle), and while a check for the
//     same name from the same address, or CHECKS_PER_ADDRESS checks from the address, are
//     under way (guesses sent all at once would otherwise all be checked before the first
//     failure counts);
//   - as busy: beyond the throttle's check rate (unknown names first), and when the
//     password checks waiting for the login's own worker fill its queue.
// A throttled or busy login is answered after REFUSAL_DELAY, from a delay line of its own
// (nothing waits on the server loop): a flood's connections then each come back once in
// that time instead of as fast as the loop answers, and the loop's time stays with the
// other clients. When the line is full, such a login is answered at once.
// What is left is hashed on the login's own worker (memory-hard hashing, tens of
// milliseconds), never on the server loop, and never in the queue of the uploads: each
// kind of work keeps its own, so that neither can starve the other. The guest button names
// no user and carries no password: it is the guest account's key, throttled per address.
class GLogin {
 public:
  // Password checks that may wait for the login's worker at once.
  static const size_t defaultQueue = 8;
  // Checks under way at once from one address.
  static const int CHECKS_PER_ADDRESS = 8;
  // Milliseconds before a throttled or busy login is answered, and how many may wait.
  static const int REFUSAL_DELAY = 1000;
  static const size_t delayedRefusals = 4096;

  // What the servlet does with a login's answer once the password is checked on the
  // worker: it runs on the server loop as the request's last step (MLaterResponse), and
  // calls _decide, which sets the request's parameters for the page (the new session, or
  // the login page with its message), before it answers the request.
  using Resume = std::function<void(MHttpRequest& _request, MHttpResponse& _response,
                                    const std::function<void()>& _decide)>;

  explicit GLogin(GSessionManagement& _sessions, size_t _queue = defaultQueue);
  ~GLogin();
  GLogin(const GLogin&) = delete;
  GLogin& operator=(const GLogin&) = delete;

  // Starts the login that the request carries, _now seconds since 1970. False: it was
  // decided at once and the request's parameters name the page to show; true: its password
  // is being checked and the answer completes later through _resume. _inUse: the session
  // the request arrived with, replaced by the new one (compared, never read).
  bool begin(MHttpRequest& _request, MHttpResponse& _response, GSession* _inUse, int _now,
             const Resume& _resume);
  // Ends the checks: the one under way finishes, those waiting are dropped, and so are the
  // refusals still waiting for their answer.
  void stop();
  // Told of each login once it is decided, on the server loop: its outcome, the name typed
  // (empty for the guest button) and the client's address.
  using Report = std::function<void(GMetrics::Login _outcome, const MString& _user,
                                    const MString& _client)>;
  void setReport(Report _report) { report = std::move(_report); }
  MWorkerPool& getWorker() { return worker; }
  // For tests: the delay of throttled and busy answers (0: at once).
  void setRefusalDelay(int _millis) { refusalDelay = _millis; }

  // The same throttle for other secrets a visitor may guess (the token of a link, a link's
  // password), counted against the address as failed logins are: _key names what is
  // guessed and takes the place of the account name (guessKey). Milliseconds before the
  // next guess is heard (0: now), and the outcome of one.
  Int64 guessRefusedFor(const std::string& _key, const MString& _address, Int64 _nowMillis);
  void countGuess(const std::string& _key, const MString& _address, bool _right,
                  Int64 _nowMillis);
  // Checks _password against _stored (a GPasswordHash) of something other than an account
  // (a link's password) as a login's password is checked: on the login's worker, never on
  // the loop, throttled under _key from _address, one check of the pair at a time, within
  // the check rate. THROTTLED and BUSY are answered at once (nothing deferred); STARTED:
  // the response completes later with _finish(request, response, right), the outcome
  // counted by the throttle first.
  enum class GuessCheck { STARTED, THROTTLED, BUSY };
  using GuessFinish = std::function<void(MHttpRequest&, MHttpResponse&, bool _right)>;
  GuessCheck checkGuess(const std::string& _key, const MString& _address, Int64 _nowMillis,
                        const MString& _password, const MString& _stored,
                        MHttpResponse& _response, const GuessFinish& _finish);
  // A key for guessKey's callers that no account name can take (it starts with a control
  // character the login form never stores).
  static std::string guessKey(const char* _what);

  // For tests: the throttle as the login keeps it (lock with getMutex).
  GLoginThrottle& getThrottle() { return throttle; }
  std::mutex& getMutex() { return mutex; }

 private:
  // What a login request asked for, kept while its password is checked on the worker.
  struct Attempt {
    GSession* inUse = nullptr;
    const char* refusal = nullptr;  // the login page's message; nullptr: as the check says
    bool guestKey = false;
    bool known = false;
    GUser user;
    MString username;
    MString address;
    int now = 0;
  };
  // Counts a check as under way, unless the throttle refuses the attempt (its message then
  // set) or a check for the same name from the address, or too many from the address, are
  // under way already.
  bool startCheck(Attempt& _attempt);
  // The throttle learns the outcome of a check (on the worker that made it, so that it
  // counts also when the browser has gone), and the check is no longer under way.
  void endCheck(const Attempt& _attempt, bool _right);
  // Answers a login that is decided without a check: at once (false), or a throttled or
  // busy one after the refusal delay (true: through _resume).
  bool decided(MHttpRequest& _request, MHttpResponse& _response, const Attempt& _attempt,
               const Resume& _resume);
  // The outcome: a new session and its cookie, or the login page with the message.
  void finish(MHttpRequest& _request, MHttpResponse& _response, const Attempt& _attempt,
              bool _right);
  // The keys of the checks under way.
  static std::string pairCheck(const Attempt& _attempt);
  static std::string addressCheck(const Attempt& _attempt);
  // Whether the request's URL itself names a username or a password.
  static bool credentialsInQuery(MHttpRequest& _request);

  GSessionManagement& sessions;
  // Guards the throttle and the checks under way: the worker reports to them.
  std::mutex mutex;
  GLoginThrottle throttle;
  std::unordered_map<std::string, int> checking;
  MWorkerPool worker;
  MDelayLine refusals;
  int refusalDelay = REFUSAL_DELAY;
  Report report;
};

#endif
