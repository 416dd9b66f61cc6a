#include "webapp/GActions.h"

#include <string>
#include <vector>

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
#include "webapp/GRequestIdentity.h"
#include "webapp/GSessionManagement.h"

namespace {

// Fields that travel in a posted form only: in a URL they would stand in logs, in the
// history and in a Referer.
const char* const formOnlyFields[] = {"User.password1", "User.password2"};

bool inQueryString(MHttpRequest& _request, const char* const (&_fields)[2]) {
  for (const char* field : _fields) {
    if (_request.inQueryString(field)) return true;
  }
  return false;
}

}  // namespace

GActions::GActions(GSessionManagement& _sessions)
    : sessions(_sessions), imageActions(_sessions), userActions(_sessions) {}

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
    case GIds::ACTION_UPDATE_USER:
    case GIds::ACTION_UPDATE_OWN_ACCOUNT:
      if (inQueryString(_request, formOnlyFields)) {
        // Refused, and the fields do not travel on into the links of the page.
        for (const char* field : formOnlyFields) params.deleteObject(field);
        break;
      }
      userActions.updateUser(_session, params, _action == GIds::ACTION_UPDATE_USER, _slow);
      break;
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
    case GIds::ACTION_LOG_OUT: logOut(_session, _request); break;
    case GIds::ACTION_SEARCH: search(_session, params); break;
    case GIds::ACTION_CHANGE_LANGUAGE: changeLanguage(_session, params); break;
    case GIds::ACTION_MAKE_LINK:
      // A link's password only from a posted form, as account passwords.
      if (_request.inQueryString("Link.password")) {
        params.deleteObject("Link.password");
        break;
      }
      shareActions.makeLink(_session, params, _now, _slow);
      break;
    case GIds::ACTION_EXTEND_LINK: shareActions.extendLink(_session, params, _now); break;
    case GIds::ACTION_END_LINK: shareActions.endLink(_session, params); break;
    default: break;
  }
  return true;
} M_RETHROW("bool GActions::carryOut(int _action,GSession& _session,MHttpRequest& _request,int _now)")

void GActions::openSessionAs(GSession& _session, MList& _params, int _now) try {
  if (GRights::mayOpenSessionAs(_session)) {
    int userId = GView::paramInt(_params, "User.id");
    GUser user;
    // Not a disabled account: its session would end at once (GSessionManagement).
    if (userId != 0 && GApplication::get().getDatabase().getUser(userId, user) >= 0 &&
        user.enabled) {
      GSession* opened = sessions.openAs(_session, user, _now);
      _params.setObject("session", opened->id.getValue());
    }
  }
  _params.deleteObject("username");
  _params.deleteObject("password");
} M_RETHROW("void GActions::openSessionAs(GSession& _session,MList& _params,int _now)")

void GActions::logOut(GSession& _session, MHttpRequest& _request) try {
  MList& _params = _request.params;
  // The shared guest session has nobody to log out.
  if (_session.isGuest()) return;
  _session.loggedOut = true;
  // Back to the administrator's own session only for the administrator's browser, whose
  // cookie is that session's: the page that follows carries its identifier in every link.
  GSession* back = _session.returnSessionId.getLength() > 0
                       ? sessions.getSession(_session.returnSessionId.getValue())
                       : nullptr;
  if (back != nullptr && GRequestIdentity::cookieFits(_request, sessions, *back)) {
    _params.setObject("session", back->id.getValue());
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
      std::vector<std::string> searched;
      for (MItem* item = list.getFirstItem(); item != nullptr; item = list.getNextItem(item)) {
        searched.push_back(item->object != nullptr ? item->object->toString().getValue() : "");
      }
      GApplication::get().getDatabase().getImageIdsByKeywords(searched, _session.searchResults);
    }
  }
  _session.viewState.deleteObject("SearchView.image");
} M_RETHROW("void GActions::search(GSession& _session,MList& _params)")

void GActions::changeLanguage(GSession& _session, MList& _params) try {
  _session.language = GView::paramText(_params, "language");
  _params.deleteObject("language");
} M_RETHROW("void GActions::changeLanguage(GSession& _session,MList& _params)")
