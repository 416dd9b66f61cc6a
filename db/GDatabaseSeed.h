#ifndef VISTREL_GDATABASESEED_H
#define VISTREL_GDATABASESEED_H

#include <vector>

#include "db/GFolder.h"
#include "db/GUser.h"

// The records a new database starts with, added in this order so that they get the numbers
// the code relies on: folder 0 the root of all folders, user 0 the administrator, user 1 the
// guest account. Passwords come out hashed.
class GDatabaseSeed {
 public:
  static std::vector<GFolder> folders();
  static std::vector<GUser> users();
};

#endif
