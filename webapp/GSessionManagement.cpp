#include "webapp/GSessionManagement.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "lib/core/MException.h"
#include "lib/platform/MClock.h"
#include "views/GApplication.h"

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

GSessionManagement::GSessionManagement() try {
  GSession* guest = new GSession();
  guest->id = GSession::guestId;
  guest->lastAccess = (int)getTime();
  try {
    sessions.addObject(guest->id.getValue(), guest, true);
  } catch (const MException&) {
    delete guest;
    throw;
  }
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

GSession* GSessionManagement::createSession() try {
  GSession* session = new GSession();
  try {
    session->id = newSessionId();
    session->lastAccess = (int)getTime();
    sessions.addObject(session->id.getValue(), session, true);
  } catch (const MException&) {
    delete session;
    throw;
  }
  return session;
} M_RETHROW("GSession* GSessionManagement::createSession()")

GSession* GSessionManagement::getSession(const char* _sessionId) try {
  return static_cast<GSession*>(sessions.getObject(_sessionId));
} M_RETHROW("GSession* GSessionManagement::getSession(char *_sessionId)")

void GSessionManagement::deleteSession(const char* _sessionId) try {
  MString key(_sessionId);
  MItem* item = sessions.getItem(&key);
  if (item != nullptr) sessions.deleteItem(item);
} M_RETHROW("void GSessionManagement::deleteSession(char *_sessionId)")

void GSessionManagement::checkSessions() try {
  checkSessions((int)getTime());
} M_RETHROW("void GSessionManagement::checkSessions()")

void GSessionManagement::checkSessions(int _now) try {
  GApplication* application = GApplication::current();
  uint timeout = (uint)(application != nullptr ? application->getSessionTimeout() : 0);
  uint now = (uint)_now;
  MItem* item = sessions.getFirstItem();
  while (item != nullptr) {
    MItem* next = sessions.getNextItem(item);
    GSession* session = static_cast<GSession*>(item->object);
    if (!session->isGuest() && session->user.type != 1 &&
        now - (uint)session->lastAccess > timeout) {
      sessions.deleteItem(item);
    }
    item = next;
  }
} M_RETHROW("void GSessionManagement::checkSessions(int _now)")
