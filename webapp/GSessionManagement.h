#ifndef VISTREL_GSESSIONMANAGEMENT_H
#define VISTREL_GSESSIONMANAGEMENT_H

#include "lib/core/MList.h"
#include "views/GSession.h"

// The table of all sessions, keyed by identifier; it owns them. It starts with the shared
// guest session, which is never removed.
//
// Identifiers of new sessions are drawn from the operating system's cryptographically secure
// random source, as decimal digits, so that nobody can take over a session by guessing its
// identifier from the time of its login.
class GSessionManagement {
 public:
  // Digits of a new session identifier.
  static const int idLength = 24;

  GSessionManagement();
  virtual ~GSessionManagement();
  GSessionManagement(const GSessionManagement&) = delete;
  GSessionManagement& operator=(const GSessionManagement&) = delete;

  // A session with a new identifier, last access now, nobody logged in, the current default
  // language.
  GSession* createSession();
  // The session stored under exactly this identifier, or null.
  GSession* getSession(const char* _sessionId);
  // Deletes the session stored under this identifier, if any.
  void deleteSession(const char* _sessionId);
  // Deletes every session idle for longer than the configured time-out, except those that
  // carry the guest identifier and those of administrators.
  void checkSessions();
  // The same, with the time of the caller's clock in seconds.
  void checkSessions(int _now);

  int getLength() { return sessions.getLength(); }
  MList& getSessions() { return sessions; }

  // A new identifier: idLength decimal digits, the first not 0.
  static MString newSessionId();

 private:
  MList sessions;
};

#endif
