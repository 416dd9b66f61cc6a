#include "views/GSession.h"

#include <limits>

#include "views/GApplication.h"

const char* const GSession::guestId = "5072913846";

GSession::GSession() : lastAccess(0), lastRequestId(0), loggedOut(false) {
  GApplication* application = GApplication::current();
  if (application != nullptr) language = application->getDefaultLanguage();
  viewState.setExceptions(false);
}

GSession::GSession(GSession& _other)
    : MObject(_other),
      id(_other.id),
      cookieSecret(_other.cookieSecret),
      lastAccess(_other.lastAccess),
      language(_other.language),
      user(_other.user),
      viewState(_other.viewState),
      searchResults(_other.searchResults),
      lastRequestId(_other.lastRequestId),
      usedRequestIds(_other.usedRequestIds),
      returnSessionId(_other.returnSessionId),
      loggedOut(_other.loggedOut) {}

GSession& GSession::operator=(GSession& _other) {
  if (this == &_other) return *this;
  id = _other.id;
  cookieSecret = _other.cookieSecret;
  lastAccess = _other.lastAccess;
  language = _other.language;
  user = _other.user;
  viewState = _other.viewState;
  searchResults = _other.searchResults;
  lastRequestId = _other.lastRequestId;
  usedRequestIds = _other.usedRequestIds;
  returnSessionId = _other.returnSessionId;
  loggedOut = _other.loggedOut;
  return *this;
}

GSession::~GSession() {}

bool GSession::takeRequestId(int _number) {
  if (_number == lastRequestId) return false;
  // Pages without a number (-1) keep the old rule: only the last one counts.
  if (_number >= 0) {
    for (int used : usedRequestIds) {
      if (used == _number) return false;
    }
    usedRequestIds.push_back(_number);
    if (usedRequestIds.size() > rememberedRequestIds) usedRequestIds.pop_front();
  }
  lastRequestId = _number;
  return true;
}

void GSession::releaseRequestId() {
  if (!usedRequestIds.empty() && usedRequestIds.back() == lastRequestId) {
    usedRequestIds.pop_back();
  }
  lastRequestId = std::numeric_limits<int>::min();
}
