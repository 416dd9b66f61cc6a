#ifndef VISTREL_GACTIONS_H
#define VISTREL_GACTIONS_H

#include "webapp/GFolderActions.h"
#include "webapp/GImageActions.h"
#include "webapp/GUpload.h"
#include "webapp/GUserActions.h"

class GSession;
class GSessionManagement;
class MHttpRequest;
class MList;

// The numbered actions through which the pages change the data: a request names one in its
// `action` parameter, with a `requestId` that is fresh for every link the pages write, and
// the action is carried out before the views are asked for the page. An action that its
// session may not perform does nothing and tells nothing; the page then shows the state as
// it is.
//
//   0 create folder, 1 update folder, 2 delete folder           (GFolderActions)
//   3 publish image in folder, 4 remove it, 5 accept, 6 deny     (GImageActions)
//   7 create user, 8 update user, 9 update own account,
//   10 delete user                                               (GUserActions)
//   11 upload image                                              (GUpload)
//   12 delete image, 13 update image, 14 accept, 15 deny image   (GImageActions)
//   16 open a session as another user, 17 log out, 18 search,
//   19 change language                                           (here)
//
// The frame around every action: a request without `action` does nothing; one whose
// `requestId` is that of the last action of the session repeats it (a reload or a resent
// form) and does nothing either; otherwise the number is remembered, the action carried out
// and `action` and `requestId` removed from the parameters. The early ends of the upload
// leave them in place.
//
// The passwords of actions 8 and 9 travel in a posted form only: a request whose URL
// carries a password field does nothing.
class GActions {
 public:
  // A login by a visitor, or an administrator opening a session as another user.
  static const int LOGIN = 16;
  static const int LOG_OUT = 17;
  static const int UPLOAD = 11;

  explicit GActions(GSessionManagement& _sessions);
  GActions(const GActions&) = delete;
  GActions& operator=(const GActions&) = delete;

  // _now: the dispatch's clock in seconds, for the sessions an action opens. With _slow, an
  // action with slow work (the upload) leaves it in _slow; its after step then also ends
  // the action's frame.
  void process(GSession& _session, MHttpRequest& _request, int _now, GSlowStep* _slow = nullptr);

 private:
  // Runs action _action; false for an early end that keeps the action parameters.
  bool carryOut(int _action, GSession& _session, MHttpRequest& _request, int _now,
                GSlowStep* _slow);
  // 16: only administrators, as an enabled account (a disabled one's session would end at
  // once); the request goes on in the new session.
  void openSessionAs(GSession& _session, MList& _params, int _now);
  // 17: back to the administrator's own session (for a session opened as another user, when
  // the request carries the administrator's cookie), or to the guest session; the session
  // logged out of ends.
  void logOut(GSession& _session, MHttpRequest& _request);
  // 18: the keyword search into the session's search result list.
  void search(GSession& _session, MList& _params);
  // 19: any text is taken; the translations fall back for unknown codes.
  void changeLanguage(GSession& _session, MList& _params);

  GSessionManagement& sessions;
  GFolderActions folderActions;
  GImageActions imageActions;
  GUserActions userActions;
  GUpload upload;
};

#endif
