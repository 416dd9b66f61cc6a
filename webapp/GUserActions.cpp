#include "webapp/GUserActions.h"

#include <exception>
#include <memory>

#include "db/GDatabase.h"
#include "db/GImage.h"
#include "db/GPasswordHash.h"
#include "db/GUser.h"
#include "db/GUserRecord.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MUtf8.h"
#include "views/GApplication.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GMessage.h"
#include "views/GUserFormMessage.h"
#include "views/GView.h"
#include "webapp/GImageStore.h"
#include "webapp/GSessionManagement.h"
#include "webapp/GSlowStep.h"

namespace {

// The characters of a user name the user file keeps; a longer name is stored cut.
const int maxUsername = GUserRecord::PASSWORD - GUserRecord::USERNAME - 1;

bool flag(MList& _params, const char* _name) { return GView::paramInt(_params, _name) != 0; }

// The typed passwords never travel on into the links and frames of the page.
void removePasswordFields(MList& _params) {
  _params.deleteObject("User.password1");
  _params.deleteObject("User.password2");
}

void removeFormFields(MList& _params) {
  removePasswordFields(_params);
  _params.deleteObject("User.username");
}

}  // namespace

GUserActions::GUserActions(GSessionManagement& _sessions) : sessions(_sessions) {}

void GUserActions::createUser(GSession& _session, MList& _params) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  GApplication& application = GApplication::get();
  GUser user;
  user.type = GRights::ordinaryType;
  user.language = application.getDefaultLanguage();
  int id = application.getDatabase().addUser(user);
  _params.setObject("User.id", id);
} M_RETHROW("void GUserActions::createUser(GSession& _session,MList& _params)")

bool GUserActions::mayUpdate(GSession& _session, int _userId, bool _administration) {
  return _administration ? GRights::mayAdministerUsers(_session)
                         : GRights::mayEditOwnAccount(_session, _userId);
}

void GUserActions::updateUser(GSession& _session, MList& _params, bool _administration,
                              GSlowStep* _slow) try {
  int userId = GView::paramInt(_params, "User.id");
  // Refused before any hashing: a request that may not change the account costs nothing.
  if (!mayUpdate(_session, userId, _administration)) return;
  MString password = GView::paramText(_params, "User.password1");
  bool newPassword =
      password.getLength() > 0 && password == GView::paramText(_params, "User.password2");
  if (!newPassword || _slow == nullptr) {
    store(_session, _params, _administration,
          newPassword ? GPasswordHash::hash(password) : MString());
    return;
  }
  // On a worker, while the loop serves everybody else. The request and its session outlive
  // the slow step (see GSlowStep); the account is judged and stored afresh when the hash is
  // there.
  GSession* session = &_session;
  MList* later = &_params;
  _slow->hashPassword(password, [this, session, later, _administration](const MString& _hash) {
    store(*session, *later, _administration, _hash);
  });
} M_RETHROW("void GUserActions::updateUser(GSession& _session,MList& _params,bool _administration)")

void GUserActions::store(GSession& _session, MList& _params, bool _administration,
                         const MString& _hash) try {
  int userId = GView::paramInt(_params, "User.id");
  if (!mayUpdate(_session, userId, _administration)) {
    removeFormFields(_params);
    return;
  }
  GDatabase& database = GApplication::get().getDatabase();

  // The name is judged as the user file will keep it, so that two names that differ only
  // after the stored length cannot both be taken.
  MString username = GView::paramText(_params, "User.username");
  username = MString(username.getValue(),
                     (int)MUtf8::cutLength(username.getValue(), (size_t)username.getLength(),
                                           (size_t)maxUsername));
  GUser other;
  if (username.getLength() == 0 ||
      (database.getUserByUsername(username.getValue(), other) >= 0 && other.id != userId)) {
    removePasswordFields(_params);
    return;
  }

  GUser user;
  if (database.getUser(userId, user) < 0) {
    removeFormFields(_params);
    return;
  }
  user.username = username;
  user.lastname = GView::paramText(_params, "User.lastname");
  user.firstname = GView::paramText(_params, "User.firstname");
  user.email = GView::paramText(_params, "User.email");
  // The forms show both password fields empty: left so, they keep the password. Two
  // different texts store nothing for it, and the page says so.
  MString password = GView::paramText(_params, "User.password1");
  MString confirmation = GView::paramText(_params, "User.password2");
  if (password.getLength() > 0 || confirmation.getLength() > 0) {
    if (password == confirmation) {
      user.password = _hash;
    } else {
      GUserFormMessage::add(_params, GUserFormMessage::PASSWORDS_DIFFER);
    }
  }
  if (_administration) {
    if (GRights::mayGrantAdministration(_session, userId)) {
      user.enabled = flag(_params, "User.enabled");
      user.folderAdmin = flag(_params, "User.folderAdmin");
      user.type = GView::paramInt(_params, "User.type");
    }
    user.imageAccept = flag(_params, "User.imageAccept");
    user.folderAccept = flag(_params, "User.folderAccept");
    user.imageDownload = flag(_params, "User.imageDownload");
    user.imageUpload = flag(_params, "User.imageUpload");
    user.imageLimit = GView::paramInt(_params, "User.imageLimit");
    // An account that could log in with an empty password is stored disabled instead. Not
    // the guest account, whose key is the guest button, nor the administrator account,
    // which is never disabled.
    if (user.enabled && user.password.getLength() == 0 &&
        userId != GRights::administratorAccountId && userId != GRights::guestAccountId) {
      user.enabled = false;
      GUserFormMessage::add(_params, GUserFormMessage::PASSWORD_MISSING);
    }
  }
  database.updateUser(userId, user);
  GMessage::set(_params, GMessage::SAVED);
  // The session that made the change goes on with it; every other session of the account
  // that it takes the account from ends.
  if (userId == _session.user.id) database.getUser(userId, _session.user);
  sessions.endStaleSessions(userId);
  removeFormFields(_params);
} M_RETHROW("void GUserActions::store(GSession& _session,MList& _params,bool _administration,const MString& _hash)")

void GUserActions::removeImagesOf(int _userId) {
  GDatabase& database = GApplication::get().getDatabase();
  MList images;
  database.getUserImages(_userId, images);
  // Records before files, as for one image (see GImageActions::deleteImage).
  database.deleteUserImages(_userId);
  for (MItem* item = images.getFirstItem(); item != nullptr; item = images.getNextItem(item)) {
    GImageStore::removeFiles(static_cast<GImage*>(item->object)->id);
  }
}

void GUserActions::deleteUser(GSession& _session, MList& _params) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  int userId = GView::paramInt(_params, "User.id");
  GUser user;
  // Only an account that exists: the deletions below select by owner, and the owner -1 of
  // an absent or malformed id would also match records that belong to nobody.
  // Nor one's own account: the session in hand would go on as a user that no longer exists.
  if (userId != GRights::administratorAccountId && userId != GRights::guestAccountId &&
      userId != _session.user.id &&
      database.getUser(userId, user) >= 0) {
    database.deleteUserImageFolders(userId);
    database.changeFolderOwners(userId, 0);
    removeImagesOf(userId);
    database.deleteUser(userId);
    // An upload of the account that a worker completed between the first sweep and the
    // deletion of the account is swept now; one completed later finds the account gone and
    // takes itself back (GUpload::store).
    removeImagesOf(userId);
    sessions.endStaleSessions(userId);
    GMessage::set(_params, GMessage::DELETED);
  }
  _params.deleteObject("User.id");
} M_RETHROW("void GUserActions::deleteUser(GSession& _session,MList& _params)")
