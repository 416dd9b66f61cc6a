#ifndef VISTREL_GSHAREACTIONS_H
#define VISTREL_GSHAREACTIONS_H

#include "lib/core/MString.h"

class GSession;
class MList;
struct GSlowStep;

// The actions on links for people without an account. Each asks GRights first and does
// nothing (telling nothing) when the session may not; the outcome is a GMessage code.
class GShareActions {
 public:
  // 20: a new link of `Link.kind` to `Link.target` named `Link.name`, lasting
  // `Link.expiry` days (0 never; "date": until the end of the day `Link.date`,
  // YYYY-MM-DD), with originals (`Link.originals`, only within the maker's own right) and,
  // for a folder, contributions (`Link.contributions`), and a password (`Link.password`,
  // from a posted form only: the caller refuses it in a URL), hashed as account passwords
  // are, on a worker (_slow) when there is one. Writes `Link.made`.
  void makeLink(GSession& _session, MList& _params, int _now, GSlowStep* _slow);
  // 21: a live link lasts the configured default days longer, counted from now when it
  // has expired (from its expiry otherwise); a link that never ends stays so.
  void extendLink(GSession& _session, MList& _params, int _now);
  // 22: ends the link for good.
  void endLink(GSession& _session, MList& _params);

  // The end of the day _date ("YYYY-MM-DD", the server's time zone) in seconds since 1970;
  // 0 for anything else.
  static unsigned int endOfDay(const char* _date);

 private:
  // The link the parameters ask for, judged afresh (rights, expiry); stored with the
  // password's hash _hash when it may be made.
  void store(GSession& _session, MList& _params, int _now, const MString& _hash);
};

#endif
