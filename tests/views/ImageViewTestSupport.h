#ifndef VISTREL_TESTS_VIEWS_IMAGEVIEWTESTSUPPORT_H
#define VISTREL_TESTS_VIEWS_IMAGEVIEWTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "db/GDatabase.h"
#include "tests/views/ViewTestSupport.h"

// Own namespace: the test programs link several support headers into one binary.
namespace imagetest {

typedef std::vector<std::pair<const char*, const char*>> Params;

// A view test with a database of users, images, folders and publications made to measure.
class ImageViewTest : public viewtest::ViewTest {
 protected:
  GDatabase& db() { return application.database; }

  int addUser(int _type, bool _upload, const char* _first = "Ann", const char* _last = "Lee") {
    GUser user;
    user.type = _type;
    user.enabled = true;
    user.username = MString::format("user%d", ++users);
    user.firstname = _first;
    user.lastname = _last;
    user.imageUpload = _upload;
    return db().addUser(user);
  }

  int addImage(int _owner, int _status, const char* _name = "Sea") {
    GImage image;
    image.user = _owner;
    image.status = (GImageStatus)_status;
    image.date = "2004-05-06";
    image.width = 640;
    image.height = 480;
    image.size = 12345;
    image.name = _name;
    image.keywords = "sea sun";
    image.description = "At the sea";
    return db().addImage(image);
  }

  int addFolder(int _parent, const char* _name, bool _imageFolder, bool _enabled = true) {
    GFolder folder;
    folder.parentId = _parent;
    folder.name = _name;
    folder.imageFolder = _imageFolder;
    folder.enabled = _enabled;
    folder.ownerId = 0;
    return db().addFolder(folder);
  }

  // _count accepted images of _owner, each published in _folder with _linkStatus.
  std::vector<int> publish(int _folder, int _owner, int _count, int _linkStatus = 1) {
    std::vector<int> ids;
    for (int i = 0; i < _count; ++i) {
      ids.push_back(addImage(_owner, 1));
      db().addFolderImage(_folder, ids.back(), (GImageStatus)_linkStatus);
    }
    return ids;
  }

  // The page a view writes for _page and the parameters (session first, as the dispatch
  // leaves it).
  template <class View>
  std::string render(View& _view, int _page, const Params& _params = {}) {
    MList params;
    params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    for (const auto& param : _params) params.setObject(param.first, param.second);
    viewtest::Page page;
    EXPECT_TRUE(_view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }

  int users = 0;
};

inline const std::string inactive = "<TD class=\"pageNum\" bgColor=\"#E0E0E0\" ";

// The paging bar of a single page (or of none): every arrow inactive, "1" selected unless
// the list is empty, _buttons in the middle.
inline std::string singlePageBar(bool _empty, const std::string& _buttons = "") {
  std::string bar = "<TABLE  width=\"100%\"><TR>\n" + inactive + "> << </TD>" + inactive +
                    "> < </TD>" + inactive + "> > </TD>\n" + inactive + "> >> </TD>\n" +
                    "<TD></TD>" + _buttons + "<TD></TD>";
  bar += _empty ? inactive + "> </TD>" : "<TD class=\"pageNumSelected\">1</TD>";
  for (int i = 1; i < 10; ++i) bar += inactive + "> </TD>";
  return bar + "<TR></TABLE>\n";
}

inline size_t countOf(const std::string& _text, const std::string& _part) {
  size_t count = 0;
  for (size_t p = _text.find(_part); p != std::string::npos; p = _text.find(_part, p + 1)) ++count;
  return count;
}

inline bool contains(const std::string& _text, const std::string& _part) {
  return _text.find(_part) != std::string::npos;
}

// The values of `pagenum` in the thumbnails' links to the detail page, in page order.
inline std::vector<int> detailOrdinals(const std::string& _page, const std::string& _marker) {
  std::vector<int> ordinals;
  for (size_t p = _page.find(_marker); p != std::string::npos; p = _page.find(_marker, p + 1)) {
    ordinals.push_back(std::stoi(_page.substr(p + _marker.size())));
  }
  return ordinals;
}

}  // namespace imagetest

#endif
