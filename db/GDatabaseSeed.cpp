#include "db/GDatabaseSeed.h"

#include "db/GPasswordHash.h"

namespace {

struct Account {
  int type;
  const char* username;
  const char* password;
  const char* firstname;
  const char* lastname;
  int imageLimit;
  bool imageAccept;
  bool folderAccept;
  bool folderAdmin;
  bool imageUpload;
  bool imageDownload;
};

// Enabled, language "eng", no e-mail address.
const Account kAccounts[] = {
    // type username password firstname lastname  limit  imageAccept folderAccept folderAdmin
    //                                                    imageUpload imageDownload
    {1, "admin", "tarbo", "System", "Administrator", 10000, false, false, true, false, true},
    {0, "guest", "plivo", "User", "Guest", 0, true, true, false, false, false},
};

}  // namespace

std::vector<GFolder> GDatabaseSeed::folders() {
  GFolder root;
  root.name = "Folders";
  root.parentId = -1;
  root.ownerId = 0;
  root.enabled = true;
  root.imageFolder = false;
  return {root};
}

std::vector<GUser> GDatabaseSeed::users() {
  std::vector<GUser> users;
  for (const Account& a : kAccounts) {
    GUser user;
    user.type = a.type;
    user.enabled = true;
    user.username = a.username;
    user.password = GPasswordHash::hash(a.password);
    user.firstname = a.firstname;
    user.lastname = a.lastname;
    user.language = "eng";
    user.imageLimit = a.imageLimit;
    user.imageAccept = a.imageAccept;
    user.folderAccept = a.folderAccept;
    user.folderAdmin = a.folderAdmin;
    user.imageUpload = a.imageUpload;
    user.imageDownload = a.imageDownload;
    users.push_back(user);
  }
  return users;
}
