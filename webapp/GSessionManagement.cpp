#include "webapp/GSessionManagement.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "lib/platform/MClock.h"
#include "views/GApplication.h"
#include "views/GRights.h"

namespace {

// Fills _buffer from getrandom, or from /dev/urandom where the call is missing; fails
// rather than falling back to anything predictable.
void secureRandom(unsigned char* _buffer, size_t _size) {
  size_t done = 0;
  while (done < _size) {
    ssize_t n = getrandom(_buffer + done, _size - done, 0);
    if (n > 0) {
      done += (size_t)n;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  if (done == _size) return;
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    while (done < _size) {
      ssize_t n = read(fd, _buffer + done, _size - done);
      if (n > 0) {
        done += (size_t)n;
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    close(fd);
  }
  if (done != _size) {
    throw MException("### RANDOM ###", "The secure random source cannot be read!");
  }
}

}  // namespace

GSessionManagement::GSessionManagement() try
    : maxSessions(defaultMaxSessions), maxGuestAccountSessions(defaultMaxGuestAccountSessions) {
  std::unique_ptr<GSession> guest(new GSession());
  guest->id = GSession::guestId;
  guest->lastAccess = (int)getTime();
  Entry entry;
  entry.session = std::move(guest);
  sessions.emplace(GSession::guestId, std::move(entry));
} M_RETHROW("GSessionManagement::GSessionManagement()")

GSessionManagement::~GSessionManagement() {}

MString GSessionManagement::newSessionId() try {
  // Each digit from one random byte; bytes from 250 up are drawn again, so that every digit
  // is equally likely.
  std::string digits;
  unsigned char buffer[64];
  while ((int)digits.size() < idLength) {
    secureRandom(buffer, sizeof buffer);
    for (unsigned char byte : buffer) {
      if (byte >= 250 || (int)digits.size() >= idLength) continue;
      char digit = (char)('0' + byte % 10);
      if (digits.empty() && digit == '0') continue;
      digits += digit;
    }
  }
  return MString(digits.data(), (int)digits.size());
} M_RETHROW("MString GSessionManagement::newSessionId()")

GSessionManagement::Kind GSessionManagement::kindOf(const GSession& _session) {
  if (GRights::hasAdministratorsTimeOut(_session)) return PRIVILEGED;
  return GRights::isGuestAccount(_session) ? GUEST_ACCOUNT : ORDINARY;
}

GSession* GSessionManagement::insert(std::unique_ptr<GSession> _session, Kind _kind,
                                     const GSession* _inUse) {
  std::string key = _session->id.getValue();
  if (sessions.count(key) != 0 || (_session->cookieSecret.getLength() > 0 &&
                                   byCookie.count(_session->cookieSecret.getValue()) != 0)) {
    throw MException("### SESSION ###", "The session identifier is in use!");
  }
  // The session in use may be the only one left to give way: then the table grows by one.
  if (_kind == GUEST_ACCOUNT) {
    while ((int)idle[GUEST_ACCOUNT].size() >= maxGuestAccountSessions &&
           removeLongestIdle(GUEST_ACCOUNT, _inUse)) {
    }
  }
  while ((int)sessions.size() - 1 >= maxSessions) {
    bool removed = false;
    for (int kind = 0; kind < KINDS && !removed; ++kind) {
      removed = removeLongestIdle((Kind)kind, _inUse);
    }
    if (!removed) break;
  }
  GSession* created = _session.get();
  Entry entry;
  entry.session = std::move(_session);
  entry.kind = _kind;
  entry.place = idle[_kind].insert(idle[_kind].end(), created);
  entry.listed = true;
  sessions.emplace(key, std::move(entry));
  if (created->cookieSecret.getLength() > 0) byCookie.emplace(created->cookieSecret.getValue(), created);
  return created;
}

GSession* GSessionManagement::createSession(const GSession* _inUse) try {
  std::unique_ptr<GSession> session(new GSession());
  session->id = newSessionId();
  session->lastAccess = (int)getTime();
  Kind kind = kindOf(*session);
  return insert(std::move(session), kind, _inUse);
} M_RETHROW("GSession* GSessionManagement::createSession()")

GSession* GSessionManagement::logIn(const GUser& _user, int _now, const GSession* _inUse) try {
  std::unique_ptr<GSession> session(new GSession());
  session->id = newSessionId();
  session->cookieSecret = newSessionId();
  session->lastAccess = _now;
  session->user = _user;
  Kind kind = kindOf(*session);
  return insert(std::move(session), kind, _inUse);
} M_RETHROW("GSession* GSessionManagement::logIn(const GUser& _user,int _now,const GSession* _inUse)")

GSession* GSessionManagement::openAs(GSession& _by, const GUser& _user, int _now) try {
  std::unique_ptr<GSession> session(new GSession());
  session->id = newSessionId();
  session->lastAccess = _now;
  session->returnSessionId = _by.id;
  session->user = _user;
  session->language = _by.language;
  return insert(std::move(session), PRIVILEGED, &_by);
} M_RETHROW("GSession* GSessionManagement::openAs(GSession& _by,const GUser& _user,int _now)")

GSession* GSessionManagement::getSession(const char* _sessionId) try {
  if (_sessionId == nullptr) return nullptr;
  auto found = sessions.find(_sessionId);
  return found != sessions.end() ? found->second.session.get() : nullptr;
} M_RETHROW("GSession* GSessionManagement::getSession(char *_sessionId)")

GSession* GSessionManagement::getSessionByCookie(const char* _secret) {
  if (_secret == nullptr || *_secret == 0) return nullptr;
  auto found = byCookie.find(_secret);
  return found != byCookie.end() ? found->second : nullptr;
}

bool GSessionManagement::cookieFits(const GSession& _session, const char* _cookie) {
  if (_session.isGuest()) return true;
  if (_cookie == nullptr || *_cookie == 0) return false;
  const GSession* holder = &_session;
  if (_session.returnSessionId.getLength() > 0) {
    holder = getSession(_session.returnSessionId.getValue());
    if (holder == nullptr) return false;
  }
  return holder->cookieSecret.getLength() > 0 && holder->cookieSecret == _cookie;
}

void GSessionManagement::erase(std::unordered_map<std::string, Entry>::iterator _entry) {
  Entry& entry = _entry->second;
  if (entry.listed) idle[entry.kind].erase(entry.place);
  if (entry.session->cookieSecret.getLength() > 0) {
    byCookie.erase(entry.session->cookieSecret.getValue());
  }
  sessions.erase(_entry);
}

void GSessionManagement::deleteSession(const char* _sessionId) try {
  if (_sessionId == nullptr || strcmp(_sessionId, GSession::guestId) == 0) return;
  auto found = sessions.find(_sessionId);
  if (found != sessions.end()) erase(found);
} M_RETHROW("void GSessionManagement::deleteSession(char *_sessionId)")

std::vector<GSession*> GSessionManagement::getAll() {
  std::vector<GSession*> all;
  all.reserve(sessions.size());
  for (auto& entry : sessions) all.push_back(entry.second.session.get());
  return all;
}

bool GSessionManagement::removeLongestIdle(Kind _kind, const GSession* _inUse) {
  for (GSession* candidate : idle[_kind]) {
    if (candidate == _inUse) continue;
    erase(sessions.find(candidate->id.getValue()));
    return true;
  }
  return false;
}

void GSessionManagement::touch(GSession& _session, int _now) {
  _session.lastAccess = _now;
  auto found = sessions.find(_session.id.getValue());
  if (found == sessions.end() || found->second.session.get() != &_session) return;
  Entry& entry = found->second;
  if (entry.listed) idle[entry.kind].splice(idle[entry.kind].end(), idle[entry.kind], entry.place);
}

unsigned long long GSessionManagement::timeoutOf(Kind _kind) {
  GApplication* application = GApplication::current();
  if (_kind == PRIVILEGED) {
    // Minutes; a negative value, taken without sign, is longer than any idle time.
    uint minutes = (uint)(application != nullptr ? application->getAdminTimeout() : 0);
    return (unsigned long long)minutes * 60;
  }
  return (uint)(application != nullptr ? application->getSessionTimeout() : 0);
}

bool GSessionManagement::isExpired(const GSession& _session, int _now) {
  if (_session.isGuest()) return false;
  // Idle time as the unsigned difference, like every time-out here.
  uint idleFor = (uint)_now - (uint)_session.lastAccess;
  return idleFor > timeoutOf(kindOf(_session));
}

void GSessionManagement::checkSessions() try {
  checkSessions((int)getTime());
} M_RETHROW("void GSessionManagement::checkSessions()")

void GSessionManagement::checkSessions(int _now) try {
  for (int kind = 0; kind < KINDS; ++kind) {
    while (!idle[kind].empty() && isExpired(*idle[kind].front(), _now)) {
      erase(sessions.find(idle[kind].front()->id.getValue()));
    }
  }
} M_RETHROW("void GSessionManagement::checkSessions(int _now)")

namespace {

// The session's copy still names the stored account as it was when the session began.
bool sameAccount(const GUser& _held, const GUser& _stored) {
  return _stored.generation == _held.generation && _stored.enabled &&
         _stored.password == _held.password &&
         (!GRights::isAdministrator(_held) || GRights::isAdministrator(_stored));
}

}  // namespace

bool GSessionManagement::renewAccount(GSession& _session) try {
  if (_session.isGuest()) return true;
  GDatabase& database = GApplication::get().getDatabase();
  GUser stored;
  if (_session.user.id < 0 || database.getUser(_session.user.id, stored) < 0 ||
      !sameAccount(_session.user, stored)) {
    return false;
  }
  // A session opened as another user stands while the administrator's session does; the
  // chain leads to older sessions only, so it ends.
  const GSession* opened = &_session;
  for (size_t steps = 0; opened->returnSessionId.getLength() > 0; ++steps) {
    GSession* by = getSession(opened->returnSessionId.getValue());
    GUser byAccount;
    if (by == nullptr || by == &_session || steps > sessions.size() || by->user.id < 0 ||
        database.getUser(by->user.id, byAccount) < 0 || !sameAccount(by->user, byAccount) ||
        !GRights::isAdministrator(byAccount)) {
      return false;
    }
    by->user = byAccount;
    opened = by;
  }
  _session.user = stored;
  // A promotion moves the session among the kinds.
  auto found = sessions.find(_session.id.getValue());
  if (found != sessions.end() && found->second.listed) {
    Entry& entry = found->second;
    Kind kind = kindOf(_session);
    if (kind != entry.kind) {
      idle[kind].splice(idle[kind].end(), idle[entry.kind], entry.place);
      entry.kind = kind;
    }
  }
  return true;
} M_RETHROW("bool GSessionManagement::renewAccount(GSession& _session)")

void GSessionManagement::endStaleSessions(int _userId) try {
  // Sessions opened as another user depend on the administrator's: they are looked at too.
  std::vector<std::string> stale;
  for (auto& entry : sessions) {
    GSession& session = *entry.second.session;
    if (session.isGuest()) continue;
    if ((session.user.id == _userId || session.returnSessionId.getLength() > 0) &&
        !renewAccount(session)) {
      stale.push_back(entry.first);
    }
  }
  for (const std::string& id : stale) deleteSession(id.c_str());
} M_RETHROW("void GSessionManagement::endStaleSessions(int _userId)")
