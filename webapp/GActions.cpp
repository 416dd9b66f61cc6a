#include "webapp/GActions.h"

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MUtf8.h"
#include "lib/net/MHttpRequest.h"
#include "views/GApplication.h"
#include "views/GIds.h"
#include "views/GMainView.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GView.h"
#include "webapp/GSessionManagement.h"

GActions::GActions(GSessionManagement& _sessions)
    : sessions(_sessions), imageActions(_sessions) {}

void GActions::process(GSession& _session, MHttpRequest& _request, int _now,
                       GSlowStep* _slow) try {
  MList& params = _request.params;
  int action = GView::paramInt(params, "action");
  if (action == -1) return;
  int number = GView::paramInt(params, "requestId");
  if (!_session.takeRequestId(number)) return;
  if (!carryOut(action, _session, _request, _now, _slow)) return;
  if (_slow != nullptr && _slow->isPending()) {
    std::function<bool()> slowResult = _slow->after;
    MList* later = &params;
    _slow->after = [slowResult, later]() {
      if (!slowResult()) return false;
      later->deleteObject("action");
      later->deleteObject("requestId");
      return true;
    };
    return;
  }
  params.deleteObject("action");
  params.deleteObject("requestId");
} M_RETHROW("void GActions::process(GSession& _session,MHttpRequest& _request,int _now)")

bool GActions::carryOut(int _action, GSession& _session, MHttpRequest& _request, int _now,
                        GSlowStep* _slow) try {
  MList& params = _request.params;
  switch (_action) {
    case GIds::ACTION_CREATE_FOLDER: folderActions.createFolder(_session, params); break;
    case GIds::ACTION_UPDATE_FOLDER: folderActions.updateFolder(_session, params); break;
    case GIds::ACTION_DELETE_FOLDER: folderActions.deleteFolder(_session, params); break;
    case GIds::ACTION_PUBLISH_IMAGE: imageActions.publishImage(_session, params); break;
    case GIds::ACTION_UNPUBLISH_IMAGE: imageActions.removeImageFromFolder(_session, params); break;
    case GIds::ACTION_ACCEPT_PUBLICATION:
      imageActions.setFolderImageStatus(_session, params, GIMAGE_ACCEPTED);
      break;
    case GIds::ACTION_DENY_PUBLICATION:
      imageActions.setFolderImageStatus(_session, params, GIMAGE_DENIED);
      break;
    case GIds::ACTION_CREATE_USER: userActions.createUser(_session, params); break;
    case GIds::ACTION_UPDATE_USER: userActions.updateUser(_session, params, true); break;
    case GIds::ACTION_UPDATE_OWN_ACCOUNT: userActions.updateUser(_session, params, false); break;
    case GIds::ACTION_DELETE_USER: userActions.deleteUser(_session, params); break;
    case GIds::ACTION_UPLOAD_IMAGE: return upload.process(_session, _request, _slow);
    case GIds::ACTION_DELETE_IMAGE: imageActions.deleteImage(_session, params); break;
    case GIds::ACTION_UPDATE_IMAGE: imageActions.updateImage(_session, params); break;
    case GIds::ACTION_ACCEPT_IMAGE:
      imageActions.setImageStatus(_session, params, GIMAGE_ACCEPTED);
      break;
    case GIds::ACTION_DENY_IMAGE:
      imageActions.setImageStatus(_session, params, GIMAGE_DENIED);
      break;
    case GIds::ACTION_LOGIN: openSessionAs(_session, params, _now); break;
    case GIds::ACTION_LOG_OUT: logOut(_session, params); break;
    case GIds::ACTION_SEARCH: search(_session, params); break;
    case GIds::ACTION_CHANGE_LANGUAGE: changeLanguage(_session, params); break;
    default: break;
  }
  return true;
} M_RETHROW("bool GActions::carryOut(int _action,GSession& _session,MHttpRequest& _request,int _now)")

void GActions::openSessionAs(GSession& _session, MList& _params, int _now) try {
  if (GRights::mayOpenSessionAs(_session)) {
    int userId = GView::paramInt(_params, "User.id");
    GUser user;
    if (userId != 0 && GApplication::get().getDatabase().getUser(userId, user) >= 0) {
      GSession* opened = sessions.createSession(&_session);
      opened->lastAccess = _now;
      opened->returnSessionId = _session.id;
      opened->user = user;
      opened->language = _session.language;
      opened->viewState.clear();
      opened->searchResults.clear();
      _params.setObject("session", opened->id.getValue());
    }
  }
  _params.deleteObject("username");
  _params.deleteObject("password");
} M_RETHROW("void GActions::openSessionAs(GSession& _session,MList& _params,int _now)")

void GActions::logOut(GSession& _session, MList& _params) try {
  // The shared guest session has nobody to log out.
  if (_session.isGuest()) return;
  _session.loggedOut = true;
  // The browser continues in the user administration when an administrator comes back from
  // another user's session, and on the introduction otherwise.
  if (_session.returnSessionId.getLength() > 0) {
    _params.setObject("session", _session.returnSessionId.getValue());
    _params.setObject("tab_main", GIds::MODULE_USER_ADMINISTRATION);
    return;
  }
  _params.setObject("session", GSession::guestId);
  _params.setObject("tab_main", GIds::MODULE_INTRODUCTION);
  _params.setObject(GMainView::LOGIN_STATE, GMainView::LOGGED_OUT);
} M_RETHROW("void GActions::logOut(GSession& _session,MList& _params)")

void GActions::search(GSession& _session, MList& _params) try {
  _session.viewState.deleteObject("SearchView.page");
  const char* name = "Search.words";
  MObject* given = _params.getObject(name);
  if (given == nullptr) {
    name = "words";
    given = _params.getObject(name);
  }
  if (given != nullptr) {
    MString words = given->toString();
    words.replaceChar('+', ' ');
    _params.setObject(name, words.getValue());
    _session.viewState.setObject("Search.words", words.getValue());
    // Case folded as the index folds the keywords.
    MList list(MUtf8::fold(std::string(words.getValue())).c_str(), ' ');
    if (list.getLength() > 0) {
      GApplication::get().getDatabase().getImagesByKeywords(list, _session.searchResults);
    }
  }
  _session.viewState.deleteObject("SearchView.image");
} M_RETHROW("void GActions::search(GSession& _session,MList& _params)")

void GActions::changeLanguage(GSession& _session, MList& _params) try {
  _session.language = GView::paramText(_params, "language");
  _params.deleteObject("language");
} M_RETHROW("void GActions::changeLanguage(GSession& _session,MList& _params)")
