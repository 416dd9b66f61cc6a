#ifndef VISTREL_GSESSIONMANAGEMENT_H
#define VISTREL_GSESSIONMANAGEMENT_H

#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/GUser.h"
#include "views/GSession.h"

// The table of all sessions, keyed by identifier; it owns them. It starts with the shared
// guest session, which is never removed.
//
// Identifiers and cookie secrets of new sessions are drawn from the operating system's
// cryptographically secure random source, as decimal digits, so that nobody can take over
// a session by guessing them from the time of its login.
//
// Every session but the guest session is of one kind, by its account, and the kinds give
// way in this order:
//   kind            who                                        idle time-out    cap
//   GUEST_ACCOUNT   the guest account (the guest button)       session.timeout  session.guestMax
//   ORDINARY        any other account                          session.timeout  -
//   PRIVILEGED      administrators, sessions opened as another  session.adminTimeout
//                   user                                         (minutes)       -
// and session.max over all of them. Each kind keeps its sessions in a list, the one idle the
// longest first, so that a new session at a cap removes the first of the first non-empty
// list, and the expiry run stops at the first session that is not due: neither looks at the
// whole table, so that a flood of logins costs the same with ten sessions or ten thousand.
// That order holds as long as every access goes through touch.
class GSessionManagement {
 public:
  enum Kind { GUEST_ACCOUNT, ORDINARY, PRIVILEGED, KINDS };

  // Digits of a new session identifier and of a cookie secret.
  static const int idLength = 24;
  // Sessions besides the guest session, unless configured otherwise.
  static const int defaultMaxSessions = 10000;
  static const int defaultMaxGuestAccountSessions = 200;

  GSessionManagement();
  virtual ~GSessionManagement();
  GSessionManagement(const GSessionManagement&) = delete;
  GSessionManagement& operator=(const GSessionManagement&) = delete;

  // A session with a new identifier, last access now, nobody logged in, the current default
  // language, no cookie secret. At the cap, the longest-idle session other than _inUse (the
  // one the caller still works with) is removed first.
  GSession* createSession(const GSession* _inUse = nullptr);
  // A session of the account, with a cookie secret of its own, last access _now; the caps of
  // its kind apply as above.
  GSession* logIn(const GUser& _user, int _now, const GSession* _inUse = nullptr);
  // A session of the account opened by the administrator's session _by: no cookie secret
  // (the administrator's cookie counts for it), the administrator's language.
  GSession* openAs(GSession& _by, const GUser& _user, int _now);

  // The session stored under exactly this identifier, or null.
  GSession* getSession(const char* _sessionId);
  // The session whose cookie secret is exactly this, or null (never for an empty text).
  GSession* getSessionByCookie(const char* _secret);
  // Whether a request with this cookie value may use the session: the guest session needs
  // none; any other needs its own secret, or, opened as another user, the secret of the
  // administrator's session it returns to.
  bool cookieFits(const GSession& _session, const char* _cookie);
  // Deletes the session stored under this identifier, if any; never the guest session.
  void deleteSession(const char* _sessionId);

  // The session was used at _now: its idle time starts again.
  void touch(GSession& _session, int _now);
  // Whether the session has been idle longer than its kind allows at _now (never the guest
  // session).
  bool isExpired(const GSession& _session, int _now);
  // Deletes every session idle for longer than its kind allows.
  void checkSessions();
  // The same, with the time of the caller's clock in seconds.
  void checkSessions(int _now);

  // Reads the session's account from the database (one look-up by id) and makes the
  // session's copy the stored account. False, with the copy unchanged, when the session no
  // longer stands for it: the account is gone, is another one under the same id (another
  // generation), is disabled, was an administrator's and is no more, or has another
  // password than the session logged in with (its own change of password updates the
  // copy); for a session opened as another user also when the administrator's session it
  // returns to no longer stands. The guest session always stands. The caller ends a
  // session that does not.
  bool renewAccount(GSession& _session);
  // Ends every session of the account that no longer stands (renewAccount): what a change
  // of the account (deletion, disabling, demotion, a new password) calls at once.
  void endStaleSessions(int _userId);

  // Sessions in the table, the guest session included.
  int getLength() { return (int)sessions.size(); }
  // Sessions of one kind.
  int getCount(Kind _kind) const { return (int)idle[_kind].size(); }
  static Kind kindOf(const GSession& _session);
  // Every session, in no particular order.
  std::vector<GSession*> getAll();
  // Most sessions besides the guest session (at least 1).
  void setMaxSessions(int _max) { maxSessions = _max > 0 ? _max : 1; }
  int getMaxSessions() const { return maxSessions; }
  // Most guest account sessions (at least 1).
  void setMaxGuestAccountSessions(int _max) { maxGuestAccountSessions = _max > 0 ? _max : 1; }

  // A new identifier: idLength decimal digits, the first not 0.
  static MString newSessionId();

 private:
  struct Entry {
    std::unique_ptr<GSession> session;
    Kind kind = ORDINARY;
    // Its place in idle[kind]; the guest session has none.
    std::list<GSession*>::iterator place;
    bool listed = false;
  };

  // Makes room for one more session of _kind and adds _session (at the back of its list).
  GSession* insert(std::unique_ptr<GSession> _session, Kind _kind, const GSession* _inUse);
  // Removes the session idle the longest of _kind other than _inUse; false when there is
  // none.
  bool removeLongestIdle(Kind _kind, const GSession* _inUse);
  void erase(std::unordered_map<std::string, Entry>::iterator _entry);
  // The idle seconds after which a session of the kind ends, compared without sign.
  static unsigned long long timeoutOf(Kind _kind);

  std::unordered_map<std::string, Entry> sessions;
  std::unordered_map<std::string, GSession*> byCookie;
  std::list<GSession*> idle[KINDS];
  int maxSessions;
  int maxGuestAccountSessions;
};

#endif
