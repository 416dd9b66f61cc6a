#ifndef VISTREL_GUSERACTIONS_H
#define VISTREL_GUSERACTIONS_H

#include "lib/core/MString.h"

class GSession;
class GSessionManagement;
class MList;
struct GSlowStep;

// The actions on user accounts: creating, editing and deleting them in the user
// administration, and editing one's own account. User names stay unique and never become
// empty. The administrator account (0) and the guest account (1) are never deleted; only the
// administrator account changes the type, the enabled flag and the folder administration
// right of other accounts.
//
// A change that takes an account from its sessions (deletion, disabling, demotion, a new
// password) ends them at once (GSessionManagement::endStaleSessions), but the session that
// set its own new password.
class GUserActions {
 public:
  explicit GUserActions(GSessionManagement& _sessions);

  // 7: an account with the defaults of a new user and the default language; writes
  // `User.id`.
  void createUser(GSession& _session, MList& _params);
  // 8 (_administration true: an administrator edits any account, rights included) and 9
  // (a user edits the own names, e-mail address and password). The password is stored
  // hashed when both fields hold the same text; both empty keep it; two different texts
  // keep it and leave a GUserFormMessage. Action 8 stores an account without a password
  // disabled, with a GUserFormMessage. Both password fields are always removed from the
  // parameters; a refused name leaves the other entered values, otherwise the name is
  // removed too. With _slow, a new password is hashed on a worker (one at a time per
  // session) and the account is stored by the slow step's after step; without, here.
  void updateUser(GSession& _session, MList& _params, bool _administration,
                  GSlowStep* _slow = nullptr);
  // 10: the account, its images with their files and its publications; its folders go to
  // the administrator account. Removes `User.id`.
  void deleteUser(GSession& _session, MList& _params);

 private:
  // Whether the session may carry out action 8 (_administration) or 9 on the account.
  bool mayUpdate(GSession& _session, int _userId, bool _administration);
  // The rest of updateUser, with the hash of the new password (empty: none to store).
  void store(GSession& _session, MList& _params, bool _administration, const MString& _hash);
  // Deletes the records and files of the account's images, as one deletion of each.
  void removeImagesOf(int _userId);

  GSessionManagement& sessions;
};

#endif
