#ifndef VISTREL_TESTS_WEBAPP_ACTIONTESTSUPPORT_H
#define VISTREL_TESTS_WEBAPP_ACTIONTESTSUPPORT_H

#include <string>

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GPasswordHash.h"
#include "lib/core/MList.h"
#include "tests/webapp/WebappTestSupport.h"
#include "views/GSession.h"
#include "views/GView.h"

namespace webtest {

// The servlet fixture with what the action tests share: sending an action in a session,
// reading the parameters it left, and making the folders, images and users it works on.
class ActionTest : public ServletTest {
 protected:
  GDatabase& db() { return application.database; }
  GSession* session(const std::string& _id) { return servlet.getSessions().getSession(_id.c_str()); }

  // Sends the query (without session and requestId) as an action request of the session,
  // with a requestId not used before, as the pages do: the session's cookie, the fields in
  // a posted form. No page is asked for, so that no view touches the parameters the action
  // left.
  void act(Exchange& _exchange, const std::string& _session, const std::string& _query) {
    post(_exchange, "/act?session=" + _session + "&requestId=" + std::to_string(++requestId),
         _query, cookieOf(_session));
  }
  void act(const std::string& _session, const std::string& _query) {
    Exchange e;
    act(e, _session, _query);
  }
  // A parameter of the request after the dispatch, as text; "<none>" when absent.
  static std::string param(Exchange& _exchange, const char* _name) {
    MObject* value = _exchange.request.params.getObject(_name);
    return value != nullptr ? value->toString().getValue() : "<none>";
  }

  // An account with the given rights, enabled; returns its id.
  int addUserWith(const char* _username, bool _imageAccept = true, bool _folderAccept = true,
                  bool _folderAdmin = false, int _type = 0) {
    GUser user;
    user.username = _username;
    user.password = GPasswordHash::hash("pw");
    user.firstname = "First";
    user.lastname = _username;
    user.enabled = true;
    user.imageAccept = _imageAccept;
    user.folderAccept = _folderAccept;
    user.folderAdmin = _folderAdmin;
    user.type = _type;
    return db().addUser(user);
  }
  int addFolder(const char* _name, int _parent, int _owner, bool _imageFolder = true) {
    GFolder folder;
    folder.name = _name;
    folder.parentId = _parent;
    folder.ownerId = _owner;
    folder.imageFolder = _imageFolder;
    folder.enabled = true;
    return db().addFolder(folder);
  }
  int addImage(int _user, const char* _keywords = "", GImageStatus _status = GIMAGE_ACCEPTED) {
    GImage image;
    image.user = _user;
    image.status = _status;
    image.keywords = _keywords;
    image.name = "picture";
    return db().addImage(image);
  }
  GFolder folder(int _id) {
    GFolder folder;
    db().getFolder(_id, folder);
    return folder;
  }
  GUser user(int _id) {
    GUser user;
    db().getUser(_id, user);
    return user;
  }
  int folderCount() {
    MList all;
    return db().getFolders(all);
  }
  // The status of the link of an image to a folder; -1 without link.
  int linkStatus(int _folder, int _image) {
    GImageFolder link;
    return db().getFolderImage(_folder, _image, link) >= 0 ? (int)link.status : -1;
  }

  int requestId = 1000;
};

}  // namespace webtest

#endif
