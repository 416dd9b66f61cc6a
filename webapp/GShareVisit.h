#ifndef VISTREL_GSHAREVISIT_H
#define VISTREL_GSHAREVISIT_H

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "db/GShareLink.h"
#include "db/GUser.h"
#include "lib/core/MString.h"
#include "views/GLinkView.h"
#include "webapp/GMetrics.h"

class GLogin;
class GSession;
class MHttpRequest;
class MHttpResponse;
class MTextStream;
class MWorkerPool;

// The visitor's side of a link for people without an account: every request under
// /s/<token> (GServlet's path routes take them before any session). Each request finds
// its link by the token (constant-time comparison, GDatabase::findShareLink) and checks
// its state before anything is shown:
//
//   outcome                                   status  page
//   the address is under the guess back-off   429     "too many tries" (Retry-After)
//   no link has the token (counted as a       404     "no such link"
//     failed login against the address)
//   ended, expired, its folder, picture or    410     "this link has ended", saying
//     maker gone, maker without the right             nothing of what it showed
//   what the rest of the path names is not    404     "no such link" (not counted: the
//     among what the link shows                       token was right)
//   a password is set and the browser has     403     the password form (the files: a
//     not given it                                    bare 403)
//   a password posted: checked on the login's worker like a login's password (GLogin::
//     checkGuess, throttled per link and address): right: 303 back to the link with a
//     cookie that stands for it (Path=/s/<token>, HttpOnly); wrong: 403 and the form again;
//     throttled: 429; no room to check: 503
//   otherwise                                 200     the grid, the viewer or a file
//
// Contributions: a visitor of a folder link that allows them gives a name and posts
// pictures to <base>/up?contributor=<name>, each stored through the upload path (GUpload)
// on a worker, as an image of the link's maker waiting for acceptance, published in the
// folder, its description marking it "via link <name> from <contributor>" (in the maker's
// language). At most link.contributionsPerDay a day per link, counted on the worker under
// the database's lock; the answer is 303 back to the grid, which tells the outcome.
//
// The cookie is a keyed hash of the token and the stored password hash under a key drawn at
// start: a new password or a restart asks for the password again, and a cookie tells
// nothing of the password.
//
// A folder link shows the folder's accepted pictures (accepted in the folder too), live; a
// picture link its one picture while it is accepted. Originals only where GRights allows
// them. Every answer carries X-Robots-Tag: noindex and Referrer-Policy: no-referrer, and
// the pages are not kept by the browser.
class GShareVisit {
 public:
  GShareVisit(GLogin& _login, MWorkerPool& _workers);
  // Where the openings of links are counted for the metrics; none when null.
  void setMetrics(GMetrics* _metrics) { metrics = _metrics; }

  // Whether a large body is read for the request (GBodyAdmission): a contribution to a
  // folder link that takes them now.
  static bool takesContribution(MHttpRequest& _request);

  // Answers the request; _now seconds since 1970.
  void answer(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out, int _now);

 private:
  // What the request asked for after the token.
  struct Want {
    char what = 0;  // 0 the link's page, 'v' viewer, 't' 'p' 'o' the files
    int image = -1;
  };
  static bool parseRest(const char* _rest, Want& _want);
  // Whether the link shows anything now: live, not expired, its maker there (read into
  // _maker) and still allowed to share what it shows.
  static bool isShowing(const GShareLink& _link, unsigned int _now, GUser& _maker,
                        MString& _title);
  // The ids of the pictures the link shows, in the order of its grid.
  static void pictures(const GShareLink& _link, std::vector<int>& _ids);
  // The ids of the folder link's grid page from number _first on (_ids); the total.
  static int folderPage(const GShareLink& _link, int _first, std::vector<int>& _ids);
  // Whether the link shows the image: accepted, and the link's picture or accepted in its
  // folder.
  static bool shows(const GShareLink& _link, int _image);
  void answerFile(const GShareLink& _link, const GUser& _maker, const Want& _want,
                  MHttpResponse& _response, MTextStream& _out);
  // The link's opening counted off the loop: openings wait in memory, and one job on the
  // workers at a time writes what has gathered (a write and a sync per link), so that a busy
  // link costs the disk no more than one write at a time. When the workers are full, the
  // counts wait for the next opening: they are for the maker's information only.
  void countOpening(int _link, unsigned int _now);
  // The job: writes the gathered counts until none are left.
  void writeOpenings();
  void status(MHttpResponse& _response, int _code, const char* _text);
  // Stores a contribution off the loop (see above).
  void contribute(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out,
                  const GShareLink& _link, const GUser& _maker, const GLinkView::Page& _page,
                  int _now);
  // 303 back to the grid, telling the outcome of a contribution.
  void backToGrid(MHttpResponse& _response, const GLinkView::Page& _page,
                  const MString& _contributor, int _outcome);
  // The contributor's name of the request, cut as the forms cut it; empty without one.
  static MString contributorName(MHttpRequest& _request);
  // The headers every answer carries.
  static void linkHeaders(MHttpResponse& _response);
  // The value of the cookie that stands for the link's password.
  MString grant(const GShareLink& _link);
  // Whether the request carries it.
  bool granted(MHttpRequest& _request, const GShareLink& _link);
  // Starts the check of a posted password; the answer completes later or at once.
  void checkPassword(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out,
                     const GShareLink& _link, const GLinkView::Page& _page,
                     const MString& _address);

  GLogin& login;
  MWorkerPool& workers;
  GLinkView view;
  unsigned char grantKey[32];  // drawn at start
  // Openings not yet written: link id to (count, last time); whether a job writes them.
  std::mutex openingsMutex;
  std::map<int, std::pair<unsigned int, unsigned int>> openings;
  bool writingOpenings = false;
  GMetrics* metrics = nullptr;
};

#endif
