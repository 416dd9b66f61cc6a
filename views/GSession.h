#ifndef VISTREL_GSESSION_H
#define VISTREL_GSESSION_H

#include <cstddef>
#include <deque>
#include <vector>

#include "db/GUser.h"
#include "lib/core/MList.h"
#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// The server's memory of one browser: who is logged in, the language of its pages, what the
// views remember between requests, the result of the last search and the number of the last
// action carried out. Sessions live in memory only, in the session table of the dispatch.
//
// It lives beside the views because the views are what reads it; the dispatch above creates,
// finds and ends sessions.
class GSession : public MObject {
 public:
  // The fixed identifier of the one guest session that every visitor without a login shares.
  static const char* const guestId;

  // Nobody logged in (user id -1), the current default language, empty lists.
  GSession();
  // Copies every field, both lists deeply.
  GSession(GSession& _other);
  GSession& operator=(GSession& _other);
  ~GSession() override;

  // Whether the session is the shared guest session.
  bool isGuest() const { return id == guestId; }

  // How many action numbers a session remembers as used.
  static const size_t rememberedRequestIds = 256;
  // Takes _number as the number of an action about to be carried out; false when it was
  // taken before: the same number as the last action, or one of the last numbers used
  // (a frame reloaded after later actions must not carry out its older action again).
  bool takeRequestId(int _number);
  // Gives the last action's number back: the action did not take effect and may come again.
  void releaseRequestId();

  // Decimal digits: the table's key, which every link and form of the pages carries.
  MString id;
  // The value of the session's cookie, a second secret beside the id: a link's id counts
  // only together with it, so that an id copied out of an address or a log opens nothing.
  // Empty for the guest session, which needs no cookie, and for a session opened as
  // another user, for which the administrator's cookie counts.
  MString cookieSecret;
  // Seconds since 1970 of the last request that used the session.
  int lastAccess;
  // The language code of the pages.
  MString language;
  // The logged-in user, as the account was stored at the start of the request (the
  // dispatch renews it); id -1 means nobody.
  GUser user;
  // What the views remember, under their view-state keys.
  MList viewState;
  // The ids of the images found by the last search, in the order its pages list them: a
  // page of the result reads only its own images.
  std::vector<int> searchResults;
  // The requestId of the last action carried out.
  int lastRequestId;
  // The numbers (zero or more) of the last actions carried out, oldest first.
  std::deque<int> usedRequestIds;
  // For a session an administrator opened as another user: the administrator's own session.
  MString returnSessionId;
  // Set by the log-out: the dispatch removes the session once the request has left it.
  bool loggedOut;
};

#endif
