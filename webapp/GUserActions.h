#ifndef VISTREL_GUSERACTIONS_H
#define VISTREL_GUSERACTIONS_H

class GSession;
class MList;

// The actions on user accounts: creating, editing and deleting them in the user
// administration, and editing one's own account. User names stay unique and never become
// empty. The administrator account (0) and the guest account (1) are never deleted; only the
// administrator account changes the type, the enabled flag and the folder administration
// right of other accounts.
class GUserActions {
 public:
  // 7: an account with the defaults of a new user and the default language; writes
  // `User.id`.
  void createUser(GSession& _session, MList& _params);
  // 8 (_administration true: an administrator edits any account, rights included) and 9
  // (a user edits the own names, e-mail address and password). The password is stored
  // hashed when both fields hold the same text; both empty keep it; two different texts
  // keep it and leave a GUserFormMessage. Action 8 stores an account without a password
  // disabled, with a GUserFormMessage. Both password fields are always removed from the
  // parameters; a refused name leaves the other entered values, otherwise the name is
  // removed too.
  void updateUser(GSession& _session, MList& _params, bool _administration);
  // 10: the account, its images with their files and its publications; its folders go to
  // the administrator account. Removes `User.id`.
  void deleteUser(GSession& _session, MList& _params);
};

#endif
