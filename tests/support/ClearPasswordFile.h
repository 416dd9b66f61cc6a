#ifndef VISTREL_TESTS_CLEARPASSWORDFILE_H
#define VISTREL_TESTS_CLEARPASSWORDFILE_H

#include <string>
#include <utility>
#include <vector>

#include "db/GDatabase.h"

// Own namespace: the test programs link several support headers into one binary.
namespace testclear {

// Lays out the database of _root as versions before the hashing left it: the administrator
// account with its demo password in clear, then one enabled account per (name, password),
// its password in clear too. The database stores the password field as it is given.
inline void writeClearPasswords(const std::string& _root,
                                const std::vector<std::pair<std::string, std::string>>& _users) {
  GDatabase old;
  old.setDurable(false);
  old.init(_root.c_str());
  GUser admin;
  old.getUser(0, admin);
  admin.password = "tarbo";
  old.updateUser(0, admin);
  for (const auto& account : _users) {
    GUser user;
    user.username = account.first.c_str();
    user.password = account.second.c_str();
    user.enabled = true;
    old.addUser(user);
  }
}

}  // namespace testclear

#endif
