#include "views/GSession.h"

#include "views/GApplication.h"

const char* const GSession::guestId = "5072913846";

GSession::GSession() : lastAccess(0), lastRequestId(0), loggedOut(false) {
  GApplication* application = GApplication::current();
  if (application != nullptr) language = application->getDefaultLanguage();
  viewState.setExceptions(false);
  searchResults.setExceptions(false);
}

GSession::GSession(GSession& _other)
    : MObject(_other),
      id(_other.id),
      lastAccess(_other.lastAccess),
      language(_other.language),
      user(_other.user),
      viewState(_other.viewState),
      searchResults(_other.searchResults),
      lastRequestId(_other.lastRequestId),
      returnSessionId(_other.returnSessionId),
      loggedOut(_other.loggedOut) {}

GSession& GSession::operator=(GSession& _other) {
  if (this == &_other) return *this;
  id = _other.id;
  lastAccess = _other.lastAccess;
  language = _other.language;
  user = _other.user;
  viewState = _other.viewState;
  searchResults = _other.searchResults;
  lastRequestId = _other.lastRequestId;
  returnSessionId = _other.returnSessionId;
  loggedOut = _other.loggedOut;
  return *this;
}

GSession::~GSession() {}
