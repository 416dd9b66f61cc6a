#include <gtest/gtest.h>

#include <string>

#include "db/GDatabase.h"
#include "tests/views/ImageViewTestSupport.h"
#include "views/GImageAcceptView.h"

using viewtest::hover;
using viewtest::Page;
using imagetest::countOf;
using imagetest::singlePageBar;

namespace {

class GImageAcceptViewTest : public viewtest::ViewTest {
 protected:
  std::string render(int _page, MList* _params = nullptr) {
    MList own;
    MList& params = _params != nullptr ? *_params : own;
    params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    Page page;
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }
  std::string renderWith(int _page, const char* _name, const char* _value) {
    MList params;
    params.setObject(_name, _value);
    return render(_page, &params);
  }

  int addUser(int _type, const char* _first, const char* _last, bool _folderAdmin = false) {
    GUser user;
    user.type = _type;
    user.enabled = true;
    user.firstname = _first;
    user.lastname = _last;
    user.username = _last;
    user.folderAdmin = _folderAdmin;
    return application.database.addUser(user);
  }
  int addImage(int _user, GImageStatus _status) {
    GImage image;
    image.user = _user;
    image.status = _status;
    image.width = 800;
    image.height = 600;
    image.name = "picture";
    return application.database.addImage(image);
  }
  int addFolder(const char* _name, int _owner) {
    GFolder folder;
    folder.name = _name;
    folder.ownerId = _owner;
    folder.imageFolder = true;
    folder.enabled = true;
    return application.database.addFolder(folder);
  }
  void offer(int _folder, int _image, GImageStatus _status) {
    application.database.addFolderImage(_folder, _image, _status);
  }

  GImageAcceptView view;
};

}  // namespace

TEST_F(GImageAcceptViewTest, OnlyAdministratorsSeeTheQueues) {
  int folderAdmin = addUser(0, "Fo", "Lder", true);
  int ordinary = addUser(0, "Or", "Dinary");
  int second = addUser(1, "Se", "Cond");
  int image = addImage(ordinary, GIMAGE_WAITING);
  offer(addFolder("Holiday", 0), image, GIMAGE_WAITING);
  struct Case {
    const char* role;
    int user;  // -1: nobody logged in
    bool administrator;
  };
  const Case cases[] = {{"administrator account", 0, true},
                        {"another administrator", second, true},
                        {"folder administrator", folderAdmin, false},
                        {"ordinary user", ordinary, false},
                        {"guest account", 1, false},
                        {"nobody", -1, false}};
  for (const Case& c : cases) {
    GSession fresh;
    session = fresh;
    if (c.user >= 0) {
      logIn(c.user);
    } else {
      session.id = GSession::guestId;
    }
    EXPECT_EQ(c.administrator, render(1000) != "") << c.role;
    // The module is remembered as the one shown, whoever asked.
    EXPECT_EQ(1000, session.viewState.getInt("tab_main")) << c.role;
    // The title bar only needs a login.
    EXPECT_EQ(c.user >= 0, render(1001) != "") << c.role;
    for (int p = 1002; p <= 1007; ++p) {
      std::string page = render(p);
      EXPECT_EQ(c.administrator, page != "") << c.role << " " << p;
      EXPECT_EQ(c.administrator, page.find("&Image.id=" + std::to_string(image) + "\"") !=
                                     std::string::npos)
          << c.role << " " << p;
    }
  }
}

TEST_F(GImageAcceptViewTest, ClaimsOnlyItsOwnPageIds) {
  logIn(0);
  for (const char* id : {"999", "1008", "-1000", "4294968296", "abc"}) {
    MList params;
    params.setObject("page", id);
    Page page;
    EXPECT_FALSE(view.process_request(session, page.out, params, contentType)) << id;
    EXPECT_EQ("", page.text()) << id;
  }
}

TEST_F(GImageAcceptViewTest, FrameSetShowsTheRememberedTab) {
  logIn(0);
  auto expected = [](int _tab) {
    return viewtest::frameSetHead + "<FRAMESET rows=\"100,90%\" name=\"1000\" border=\"0\">\n"
           "<FRAME name=\"menu\" src=\"/?session=123456789&page=1001&requestId=1\" noresize "
           "scrolling=\"no\"></frame>\n"
           "<FRAME name=\"area\" src=\"/?session=123456789&page=" + std::to_string(_tab) +
           "&requestId=2\" noresize></frame>\n</FRAMESET>\n</HTML>\n";
  };
  struct Case {
    const char* remembered;  // nullptr: nothing remembered
    int tab;
  };
  // Anything but the two tabs counts as the images tab: no other page reaches the frame.
  const Case cases[] = {{nullptr, 1002}, {"1005", 1005}, {"1002", 1002},
                        {"300", 1002},   {"-1", 1002},   {"99999999999", 1002}};
  for (const Case& c : cases) {
    session.viewState.deleteObject("ImageAccept.tab");
    if (c.remembered != nullptr) session.viewState.setObject("ImageAccept.tab", c.remembered);
    application.requestCounter = 0;
    EXPECT_EQ(expected(c.tab), render(1000)) << (c.remembered ? c.remembered : "none");
    EXPECT_EQ(c.tab, session.viewState.getInt("ImageAccept.tab"));
  }
}

TEST_F(GImageAcceptViewTest, TitleBarWithItsTwoTabs) {
  logIn(0);
  auto expected = [](int _current) {
    std::string page = viewtest::head +
                       "<BODY class=\"tab\">\n"
                       "<TABLE><TR class=\"pageTitle\"><TD>TITLE_IMAGE_ACCEPTANCE</TD></TR></TABLE>\n"
                       "<HR>\n<TABLE>\n<TR height=\"25\">\n";
    int request = 0;
    for (int tab : {1002, 1005}) {
      if (tab == _current) {
        page += "<TD class=\"tabSelected\">\n";
      } else {
        std::string t = std::to_string(tab);
        std::string first = std::to_string(++request);
        std::string second = std::to_string(++request);
        page += "<TD class=\"tab\" bgColor=\"#C0C0C0\"" + hover +
                "onClick=\"mouseClick2(this,parent.area,'/?session=123456789&page=" + t +
                "&requestId=" + first + "',document,'/?session=123456789&page=1001"
                "&ImageAccept.tab=" + t + "&requestId=" + second + "')\">";
      }
      page += tab == 1002 ? "TAB_USERS</TD>\n" : "TAB_FOLDERS</TD>\n";
    }
    return page + "</TR>\n</TABLE>\n<HR>\n</BODY>\n</HTML>\n";
  };
  struct Case {
    const char* requested;   // ImageAccept.tab of the request; nullptr: none
    const char* remembered;  // in the view state before
    int current;
  };
  const Case cases[] = {
      {nullptr, nullptr, 1002}, {nullptr, "1005", 1005}, {"1005", "1002", 1005},
      {"1002", "1005", 1002},   {"1003", "1005", 1002},  {"-7", nullptr, 1002},
      {"2147483648", nullptr, 1002}, {"", "1005", 1002},
  };
  for (const Case& c : cases) {
    session.viewState.deleteObject("ImageAccept.tab");
    if (c.remembered != nullptr) session.viewState.setObject("ImageAccept.tab", c.remembered);
    application.requestCounter = 0;
    std::string page = c.requested != nullptr ? renderWith(1001, "ImageAccept.tab", c.requested)
                                              : render(1001);
    std::string why = std::string(c.requested ? c.requested : "-") + " / " +
                      (c.remembered ? c.remembered : "-");
    EXPECT_EQ(expected(c.current), page) << why;
    EXPECT_EQ(c.current, session.viewState.getInt("ImageAccept.tab")) << why;
  }
}

TEST_F(GImageAcceptViewTest, EmptyQueuesSaySoAboveAnInactivePagingBar) {
  logIn(0);
  // Accepted and denied images and publications are in neither queue.
  int owner = addUser(0, "An", "Owner");
  int accepted = addImage(owner, GIMAGE_ACCEPTED);
  addImage(owner, GIMAGE_DENIED);
  int folder = addFolder("Holiday", 0);
  offer(folder, accepted, GIMAGE_ACCEPTED);
  auto expected = [](const char* _empty) {
    return viewtest::head + "<BODY>\n<DIV class=\"message message_empty\" role=\"status\">" +
           _empty + "</DIV>\n" + singlePageBar(true) + "<HR>\n</BODY>\n</HTML>\n";
  };
  for (int p : {1002, 1004}) EXPECT_EQ(expected("EMPTY_WAITING_IMAGES"), render(p)) << p;
  for (int p : {1005, 1007}) EXPECT_EQ(expected("EMPTY_WAITING_PUBLICATIONS"), render(p)) << p;
}

TEST_F(GImageAcceptViewTest, WaitingImageCellInFull) {
  int owner = addUser(0, "Ann", "<Owner & Co>");
  addImage(owner, GIMAGE_ACCEPTED);
  int image = addImage(owner, GIMAGE_WAITING);
  logIn(0);
  std::string id = std::to_string(image);
  std::string user = std::to_string(owner);
  // Decided in the background: the tile keeps its place (see the browser script).
  auto button = [&](const char* _text, int _action, int _request) {
    bool accept = _action == 14;
    return std::string("<TD class=\"") + (accept ? "acceptButton" : "denyButton") +
           "\" bgColor=\"#808080\"" + hover +
           "onClick=\"decide(this,'/?session=123456789&page=1002&requestId=" +
           std::to_string(_request) + "&action=" + std::to_string(_action) +
           "&pagenum=1&User.id=" + user + "&Image.id=" + id + "','" +
           (accept ? "_accepted" : "_denied") + "')\">" + _text + "</TD>\n";
  };
  const std::string expected =
      viewtest::head + "<BODY>\n"
      "<TABLE cellspacing=\"8\"><TR>"
      "<TD><TABLE width=\"160\" cellspacing=\"0\" cellpadding=\"0\"><TR>"
      "<TD class=\"imageTitle_wait\" colspan=\"2\">Ann &lt;Owner &amp; Co&gt;</TD>\n"
      "</TR><TR><TD colspan=\"2\" align=\"center\" onClick=\"mouseClick(this,document,"
      "'/?session=123456789&page=1003&requestId=1&pagenum=1&Image.id=" + id + "')\">"
      "<IMG src=\"/?session=123456789&page=603&Image.id=" + id + "\" srcset=\"/?session=123456789"
      "&page=604&Image.id=" + id + " 2x\" height=\"120\"></TD>\n"
      "</TR><TR>" + button("BUTTON_ACCEPT", 14, 2) + button("BUTTON_DENY", 15, 3) +
      "</TR></TABLE></TD>\n"
      "</TR></TABLE><HR>\n";
  std::string page = render(1004);
  EXPECT_EQ(expected, page.substr(0, expected.size()));
  EXPECT_NE(std::string::npos, page.find("<TD class=\"pageNumSelected\">1</TD>"));
  EXPECT_EQ(page, page.substr(0, page.find("<HR>\n</BODY>\n</HTML>\n")) + "<HR>\n</BODY>\n</HTML>\n");
}

TEST_F(GImageAcceptViewTest, WaitingPublicationCellInFull) {
  int owner = addUser(0, "An", "Owner");
  int image = addImage(owner, GIMAGE_ACCEPTED);
  int folder = addFolder("Sea & \"Sun\" <2024>", 0);
  offer(folder, image, GIMAGE_WAITING);
  logIn(0);
  std::string ids = "&Image.id=" + std::to_string(image) + "&Folder.id=" + std::to_string(folder);
  auto button = [&](const char* _text, int _action, int _request) {
    bool accept = _action == 5;
    return std::string("<TD class=\"") + (accept ? "acceptButton" : "denyButton") +
           "\" bgColor=\"#808080\"" + hover +
           "onClick=\"decide(this,'/?session=123456789&page=1005&action=" +
           std::to_string(_action) + "&requestId=" + std::to_string(_request) + "&pagenum=1" +
           ids + "','" + (accept ? "_accepted" : "_denied") + "')\">" + _text + "</TD>\n";
  };
  const std::string expected =
      viewtest::head + "<BODY>\n"
      "<TABLE cellspacing=\"8\"><TR>"
      "<TD><TABLE width=\"160\" cellspacing=\"0\" cellpadding=\"0\"><TR>"
      "<TD class=\"imageTitle_wait\" colspan=\"2\">Sea &amp; &quot;Sun&quot; &lt;2024&gt;</TD>\n"
      "</TR><TR><TD colspan=\"2\" align=\"center\" onClick=\"mouseClick(this,document,"
      "'/?session=123456789&page=1006&requestId=1&pagenum=1" + ids + "')\">"
      "<IMG src=\"/?session=123456789&page=603&Image.id=" + std::to_string(image) +
      "\" srcset=\"/?session=123456789&page=604&Image.id=" + std::to_string(image) +
      " 2x\" height=\"120\"></TD>\n"
      "</TR><TR>" + button("BUTTON_ACCEPT", 5, 2) + button("BUTTON_DENY", 6, 3) +
      "</TR></TABLE></TD>\n"
      "</TR></TABLE><HR>\n";
  std::string page = render(1007);
  EXPECT_EQ(expected, page.substr(0, expected.size()));
}

TEST_F(GImageAcceptViewTest, QueuesPageThroughTheirEntries) {
  int owner = addUser(0, "An", "Owner");
  int folder = addFolder("Holiday", 0);
  for (int i = 0; i < 10; ++i) {
    addImage(owner, GIMAGE_WAITING);
    offer(folder, addImage(owner, GIMAGE_ACCEPTED), GIMAGE_WAITING);
  }
  logIn(0);
  struct Case {
    int grid;
    const char* pagenum;
    size_t cells;
  };
  // Past the end shows the last page; below 1, or no int, the first.
  const Case cases[] = {{1004, "1", 8}, {1004, "2", 2}, {1004, "3", 2}, {1004, "-4", 8},
                        {1004, "99999999999", 8}, {1007, "2", 2}, {1007, "2147483647", 2},
                        {1007, "0", 8}};
  for (const Case& c : cases) {
    std::string page = renderWith(c.grid, "pagenum", c.pagenum);
    EXPECT_EQ(c.cells, countOf(page, "imageTitle_wait")) << c.grid << " " << c.pagenum;
    EXPECT_EQ(c.cells, countOf(page, "class=\"acceptButton\"")) << c.grid << " " << c.pagenum;
    EXPECT_EQ(c.cells, countOf(page, "class=\"denyButton\"")) << c.grid << " " << c.pagenum;
  }
  // The waiting images come in the order of their ids, the oldest first.
  std::string first = render(1004);
  EXPECT_LT(first.find("page=603&Image.id=0\""), first.find("page=603&Image.id=2\""));
}

TEST_F(GImageAcceptViewTest, DetailPagesAreEditableAndRemembered) {
  int owner = addUser(0, "An", "Owner");
  int waiting = addImage(owner, GIMAGE_WAITING);
  int offered = addImage(owner, GIMAGE_ACCEPTED);
  offer(addFolder("Holiday", 0), offered, GIMAGE_WAITING);
  logIn(0);
  struct Case {
    int selector, detail, image;
    const char* imageKey;
    const char* update;
  };
  const Case cases[] = {
      {1002, 1003, waiting, "ImageAccept.image", "/?session=123456789&page=1003&action=13"},
      {1005, 1006, offered, "FolderAccept.image", "/?session=123456789&page=1006&action=13"},
  };
  for (const Case& c : cases) {
    std::string image = "page=604&Image.id=" + std::to_string(c.image) + "\"";
    std::string page = render(c.detail);
    EXPECT_EQ(0u, page.find(viewtest::head + "<BODY onLoad=\"document.Image.imageDate.focus();\">\n"))
        << c.detail;
    EXPECT_NE(std::string::npos, page.find("<FORM name=\"Image\"")) << c.detail;
    EXPECT_NE(std::string::npos, page.find(image)) << c.detail;
    EXPECT_NE(std::string::npos, page.find("updateImage(this,document,'" + std::string(c.update)))
        << c.detail;
    EXPECT_EQ(c.image, session.viewState.getInt(c.imageKey)) << c.detail;
    // The selector now shows the image alone, until a grid was shown again.
    EXPECT_NE(std::string::npos, render(c.selector).find(image)) << c.selector;
    render(c.selector + 2);
    EXPECT_EQ(nullptr, session.viewState.getObject(c.imageKey)) << c.selector;
    EXPECT_EQ(std::string::npos, render(c.selector).find("<FORM name=\"Image\"")) << c.selector;
  }
}
