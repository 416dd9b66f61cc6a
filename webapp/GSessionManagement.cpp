#include "webapp/GSessionManagement.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

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

GSessionManagement::GSessionManagement() try : maxSessions(defaultMaxSessions) {
  std::unique_ptr<GSession> guest(new GSession());
  guest->id = GSession::guestId;
  guest->lastAccess = (int)getTime();
  sessions.emplace(GSession::guestId, std::move(guest));
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

GSession* GSessionManagement::createSession(const GSession* _inUse) try {
  std::unique_ptr<GSession> session(new GSession());
  session->id = newSessionId();
  session->lastAccess = (int)getTime();
  std::string key = session->id.getValue();
  if (sessions.count(key) != 0) {
    throw MException("### SESSION ###", "The session identifier is in use!");
  }
  // The session in use may be the only one left to give way: then the table grows by one.
  while ((int)sessions.size() - 1 >= maxSessions && removeLongestIdle(_inUse)) {
  }
  GSession* created = session.get();
  sessions.emplace(key, std::move(session));
  return created;
} M_RETHROW("GSession* GSessionManagement::createSession()")

GSession* GSessionManagement::getSession(const char* _sessionId) try {
  if (_sessionId == nullptr) return nullptr;
  auto found = sessions.find(_sessionId);
  return found != sessions.end() ? found->second.get() : nullptr;
} M_RETHROW("GSession* GSessionManagement::getSession(char *_sessionId)")

void GSessionManagement::deleteSession(const char* _sessionId) try {
  if (_sessionId == nullptr || strcmp(_sessionId, GSession::guestId) == 0) return;
  sessions.erase(_sessionId);
} M_RETHROW("void GSessionManagement::deleteSession(char *_sessionId)")

std::vector<GSession*> GSessionManagement::getAll() {
  std::vector<GSession*> all;
  all.reserve(sessions.size());
  for (auto& entry : sessions) all.push_back(entry.second.get());
  return all;
}

bool GSessionManagement::removeLongestIdle(const GSession* _inUse) {
  // Idle time as the unsigned difference to the newest access, like every time-out here.
  uint newest = 0;
  for (auto& entry : sessions) newest = std::max(newest, (uint)entry.second->lastAccess);
  auto victim = sessions.end();
  bool victimOrdinary = false;
  uint victimIdle = 0;
  for (auto it = sessions.begin(); it != sessions.end(); ++it) {
    GSession& session = *it->second;
    if (session.isGuest() || &session == _inUse) continue;
    bool ordinary = !GRights::isAdministrator(session);
    uint idle = newest - (uint)session.lastAccess;
    if (victim == sessions.end() || (ordinary && !victimOrdinary) ||
        (ordinary == victimOrdinary && idle > victimIdle)) {
      victim = it;
      victimOrdinary = ordinary;
      victimIdle = idle;
    }
  }
  if (victim == sessions.end()) return false;
  sessions.erase(victim);
  return true;
}

void GSessionManagement::checkSessions() try {
  checkSessions((int)getTime());
} M_RETHROW("void GSessionManagement::checkSessions()")

void GSessionManagement::checkSessions(int _now) try {
  GApplication* application = GApplication::current();
  uint timeout = (uint)(application != nullptr ? application->getSessionTimeout() : 0);
  uint now = (uint)_now;
  for (auto it = sessions.begin(); it != sessions.end();) {
    GSession& session = *it->second;
    if (!session.isGuest() && !GRights::isAdministrator(session) &&
        now - (uint)session.lastAccess > timeout) {
      it = sessions.erase(it);
    } else {
      ++it;
    }
  }
} M_RETHROW("void GSessionManagement::checkSessions(int _now)")
