#ifndef VISTREL_GUSERFORMMESSAGE_H
#define VISTREL_GUSERFORMMESSAGE_H

#include "lib/core/MList.h"
#include "lib/core/MTextStream.h"
#include "views/GSession.h"

// What a save of a user form (GIds::ACTION_UPDATE_USER, GIds::ACTION_UPDATE_OWN_ACCOUNT) did
// not store, told to the forms (GIds::PAGE_USER_FORM, GIds::TAB_ACCOUNT) by the request
// parameter PARAM. Its value is a set of codes, never a text, so that a link cannot make a
// page show a text of its own.
class GUserFormMessage {
 public:
  static const char* const PARAM;
  enum {
    PASSWORDS_DIFFER = 1,  // the two password fields differed: the password stays
    PASSWORD_MISSING = 2   // an account without a password was stored disabled
  };

  // Adds _code to the codes the parameters carry.
  static void add(MList& _params, int _code);
  // The messages of the parameters' codes in the session's language, one paragraph each;
  // nothing without codes.
  static void write(GSession& _session, MTextStream& _out, MList& _params);
};

#endif
