#include "webapp/GShareActions.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GPasswordHash.h"
#include "db/GShareLink.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "views/GApplication.h"
#include "views/GMessage.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GView.h"
#include "webapp/GSlowStep.h"

namespace {

const unsigned int secondsPerDay = 24 * 60 * 60;

// A time _days days after _from, kept within what the record holds.
unsigned int daysAfter(unsigned int _from, int _days) {
  unsigned long long t = (unsigned long long)_from + (unsigned long long)_days * secondsPerDay;
  return t > 0xFFFFFFFFull ? 0xFFFFFFFFu : (unsigned int)t;
}

bool flag(MList& _params, const char* _name) { return GView::paramText(_params, _name) == "1"; }

}  // namespace

unsigned int GShareActions::endOfDay(const char* _date) {
  int year, month, day;
  char rest;
  if (_date == nullptr || strlen(_date) != 10 ||
      sscanf(_date, "%4d-%2d-%2d%c", &year, &month, &day, &rest) != 3 || month < 1 ||
      month > 12 || day < 1 || day > 31 || year < 1970 || year > 2105) {
    return 0;
  }
  struct tm local = {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = 23;
  local.tm_min = 59;
  local.tm_sec = 59;
  local.tm_isdst = -1;
  time_t t = mktime(&local);
  // mktime moves a 31st of a shorter month into the next one: not the date asked for.
  if (t == (time_t)-1 || local.tm_mday != day || t <= 0 || (long long)t > 0xFFFFFFFFll) return 0;
  return (unsigned int)t;
}

void GShareActions::makeLink(GSession& _session, MList& _params, int _now,
                             GSlowStep* _slow) try {
  MString password = GView::paramText(_params, "Link.password");
  _params.deleteObject("Link.password");
  if (password.getLength() == 0 || _slow == nullptr) {
    store(_session, _params, _now,
          password.getLength() > 0 ? GPasswordHash::hash(password) : MString());
    return;
  }
  // On a worker, while the loop serves everybody else; the link is judged and stored afresh
  // when the hash is there.
  GSession* session = &_session;
  MList* later = &_params;
  _slow->hashPassword(password, [this, session, later, _now](const MString& _hash) {
    store(*session, *later, _now, _hash);
  });
} M_RETHROW("void GShareActions::makeLink(GSession& _session,MList& _params,int _now,GSlowStep* _slow)")

void GShareActions::store(GSession& _session, MList& _params, int _now,
                          const MString& _hash) try {
  GDatabase& database = GApplication::get().getDatabase();
  GShareLink link;
  link.kind = GView::paramInt(_params, "Link.kind");
  link.target = GView::paramInt(_params, "Link.target");
  if (link.kind == GShareLink::FOLDER) {
    GFolder folder;
    if (database.getFolder(link.target, folder) < 0 || !GRights::mayShareFolder(_session, folder)) {
      return;
    }
  } else {
    GImage image;
    if (link.kind != GShareLink::PICTURE || database.getImage(link.target, image) < 0 ||
        !GRights::mayShareImage(_session, image)) {
      return;
    }
  }
  const unsigned int now = (unsigned int)_now;
  MString expiry = GView::paramText(_params, "Link.expiry");
  if (expiry == "date") {
    link.expires = endOfDay(GView::paramText(_params, "Link.date").getValue());
    if (link.expires <= now) {
      GMessage::set(_params, GMessage::LINK_DATE_PASSED);
      return;
    }
  } else {
    int days = _params.getObject("Link.expiry") != nullptr
                   ? GView::paramInt(_params, "Link.expiry")
                   : GApplication::get().getLinkDefaultDays();
    // Nothing but a number of days from 0 (never) to some 100 years.
    if (days < 0 || days > 36500) return;
    link.expires = days == 0 ? 0 : daysAfter(now, days);
  }
  link.maker = _session.user.id;
  link.name = GView::paramText(_params, "Link.name");
  link.originals = flag(_params, "Link.originals");
  link.originals = GRights::linkAllowsOriginals(_session.user, link);
  link.contributions = link.kind == GShareLink::FOLDER && flag(_params, "Link.contributions");
  link.created = now;
  link.password = _hash;
  GShareLink::newToken(link.token);
  database.addShareLink(link);
  _params.setObject("Link.made", link.id);
  GMessage::set(_params, GMessage::LINK_MADE);
} M_RETHROW("void GShareActions::store(GSession& _session,MList& _params,int _now,const MString& _hash)")

void GShareActions::extendLink(GSession& _session, MList& _params, int _now) try {
  GDatabase& database = GApplication::get().getDatabase();
  GShareLink link;
  int id = GView::paramInt(_params, "Link.id");
  if (database.getShareLink(id, link) < 0 || !GRights::mayManageLink(_session, link) ||
      link.state != GShareLink::LIVE) {
    return;
  }
  const unsigned int now = (unsigned int)_now;
  int days = GApplication::get().getLinkDefaultDays();
  database.changeShareLink(id, [now, days](GShareLink& _stored) {
    if (_stored.state != GShareLink::LIVE || _stored.expires == 0) return;
    _stored.expires = days <= 0 ? 0 : daysAfter(_stored.expires > now ? _stored.expires : now, days);
  });
  GMessage::set(_params, GMessage::LINK_EXTENDED);
} M_RETHROW("void GShareActions::extendLink(GSession& _session,MList& _params,int _now)")

void GShareActions::endLink(GSession& _session, MList& _params) try {
  GDatabase& database = GApplication::get().getDatabase();
  GShareLink link;
  int id = GView::paramInt(_params, "Link.id");
  if (database.getShareLink(id, link) < 0 || !GRights::mayManageLink(_session, link)) return;
  database.changeShareLink(id, [](GShareLink& _stored) {
    if (_stored.state == GShareLink::LIVE) _stored.state = GShareLink::ENDED;
  });
  GMessage::set(_params, GMessage::LINK_ENDED);
} M_RETHROW("void GShareActions::endLink(GSession& _session,MList& _params)")
