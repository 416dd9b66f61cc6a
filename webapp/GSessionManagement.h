#ifndef VISTREL_GSESSIONMANAGEMENT_H
#define VISTREL_GSESSIONMANAGEMENT_H

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "views/GSession.h"

// The table of all sessions, keyed by identifier; it owns them. It starts with the shared
// guest session, which is never removed.
//
// Identifiers of new sessions are drawn from the operating system's cryptographically secure
// random source, as decimal digits, so that nobody can take over a session by guessing its
// identifier from the time of its login.
//
// The table is a hash table, so that a look-up costs the same with ten sessions or ten
// thousand, and it is capped: when a new session would exceed the cap, the session idle the
// longest goes first (an ordinary one before an administrator's), so that a flood of logins
// cannot grow the server's memory without bound.
class GSessionManagement {
 public:
  // Digits of a new session identifier.
  static const int idLength = 24;
  // Sessions besides the guest session, unless configured otherwise.
  static const int defaultMaxSessions = 10000;

  GSessionManagement();
  virtual ~GSessionManagement();
  GSessionManagement(const GSessionManagement&) = delete;
  GSessionManagement& operator=(const GSessionManagement&) = delete;

  // A session with a new identifier, last access now, nobody logged in, the current default
  // language. At the cap, the longest-idle session other than _inUse (the one the caller
  // still works with) is removed first.
  GSession* createSession(const GSession* _inUse = nullptr);
  // The session stored under exactly this identifier, or null.
  GSession* getSession(const char* _sessionId);
  // Deletes the session stored under this identifier, if any; never the guest session.
  void deleteSession(const char* _sessionId);
  // Deletes every session idle for longer than the configured time-out, except the guest
  // session and those of administrators.
  void checkSessions();
  // The same, with the time of the caller's clock in seconds.
  void checkSessions(int _now);

  // Sessions in the table, the guest session included.
  int getLength() { return (int)sessions.size(); }
  // Every session, in no particular order.
  std::vector<GSession*> getAll();
  // Most sessions besides the guest session (at least 1).
  void setMaxSessions(int _max) { maxSessions = _max > 0 ? _max : 1; }
  int getMaxSessions() const { return maxSessions; }

  // A new identifier: idLength decimal digits, the first not 0.
  static MString newSessionId();

 private:
  // Removes the session idle the longest: an ordinary user's first, an administrator's only
  // when there is no other; false when none can go.
  bool removeLongestIdle(const GSession* _inUse);

  std::unordered_map<std::string, std::unique_ptr<GSession>> sessions;
  int maxSessions;
};

#endif
