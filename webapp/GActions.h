#ifndef VISTREL_GACTIONS_H
#define VISTREL_GACTIONS_H

#include "webapp/GFolderActions.h"
#include "webapp/GImageActions.h"
#include "webapp/GUpload.h"
#include "webapp/GShareActions.h"
#include "webapp/GUserActions.h"

class GSession;
class GSessionManagement;
class MHttpRequest;
class MList;

// The numbered actions through which the pages change the data: a request names one in its
// `action` parameter (GIds::ACTION_...), with a `requestId` that is fresh for every link the
// pages write, and the action is carried out before the views are asked for the page. An
// action that its session may not perform does nothing and tells nothing; the page then shows
// the state as it is. The folder actions are GFolderActions', those of images and their
// publications GImageActions', those of accounts GUserActions', the upload GUpload's; opening
// a session as another user, the log-out, the search and the language are carried out here.
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
  // Only administrators, as an enabled account (a disabled one's session would end at once);
  // the request goes on in the new session.
  void openSessionAs(GSession& _session, MList& _params, int _now);
  // Back to the administrator's own session (for a session opened as another user, when the
  // request carries the administrator's cookie), or to the guest session; the session
  // logged out of ends.
  void logOut(GSession& _session, MHttpRequest& _request);
  // The keyword search into the session's search result list.
  void search(GSession& _session, MList& _params);
  // The language: any text is taken; the translations fall back for unknown codes.
  void changeLanguage(GSession& _session, MList& _params);

  GSessionManagement& sessions;
  GFolderActions folderActions;
  GImageActions imageActions;
  GUserActions userActions;
  GShareActions shareActions;
  GUpload upload;
};

#endif
