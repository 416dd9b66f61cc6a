#include <gtest/gtest.h>

#include <string>

#include "tests/views/ImageViewTestSupport.h"
#include "views/GImageFolderView.h"
#include "views/GRights.h"

using imagetest::contains;
using imagetest::Params;
using viewtest::head;
using viewtest::hover;

namespace {

const std::string S = "123456789";

class GImageFolderViewTest : public imagetest::ImageViewTest {
 protected:
  std::string render(int _page, const Params& _params = {}) {
    return ImageViewTest::render(view, _page, _params);
  }
  std::string folderParam(int _folder) { return std::to_string(_folder); }

  GImageFolderView view;
};

std::string url(int _page, int _request, int _folder) {
  return "/?session=" + S + "&page=" + std::to_string(_page) + "&requestId=" +
         std::to_string(_request) + "&Folder.id=" + std::to_string(_folder);
}

}  // namespace

TEST_F(GImageFolderViewTest, FirstVisitShowsTheRoot) {
  logIn(addUser(0, false));
  addFolder(0, "Beta", true);
  addFolder(0, "Alpha", false);
  addFolder(0, "Hidden", false, false);
  EXPECT_EQ(viewtest::frameSetHead + "<FRAMESET rows=\"95,90%\" name=\"400\" border=\"0\">\n"
            "<FRAME name=\"menu\" src=\"" + url(401, 1, 0) + "\" noresize scrolling=\"no\"></frame>\n"
            "<FRAME name=\"area\" src=\"" + url(402, 2, 0) + "\" noresize></frame>\n"
            "</FRAMESET>\n</HTML>\n",
            render(400));
  EXPECT_EQ(400, session.viewState.getInt("tab_main"));
  EXPECT_EQ(402, session.viewState.getInt("ImageFolderView.tab"));
  EXPECT_EQ(0, session.viewState.getInt("Folder.id"));

  EXPECT_EQ(head + "<BODY class=\"tab\">\n<TABLE><TR class=\"pageTitle\">\n<TD>TITLE_FOLDERS</TD>\n"
                   "</TR></TABLE>\n<HR>\n<TABLE><TR class=\"folderPath\">\n"
                   "<TD>/</TD><TD>TITLE_FOLDERS</TD>\n</TR></TABLE>\n<HR>"
                   "<TABLE><TR><TD class=\"tabSelected\">\nTAB_FOLDER</TD>\n</TR>\n</TABLE>\n"
                   "<HR>\n</BODY>\n</HTML>\n",
            render(401, {{"Folder.id", "0"}}));

  auto row = [](const char* _class, int _folder, const char* _icon, const char* _name) {
    return std::string("<TR class=\"") + _class + "\"" + hover +
           "onClick=\"mouseClick(this,parent,'/?Folder.id=" + std::to_string(_folder) +
           "&page=400&session=" + S + "');\">\n<TD width=\"20\" align=\"center\"><IMG src=\"" +
           _icon + "\"/></TD><TD>" + _name + "</TD>\n</TR>\n";
  };
  // In name order, without the disabled folder and without an up row.
  EXPECT_EQ(head + "<BODY>\n<TABLE width=\"100%\">\n" +
                row("folder", 2, "/images/folder.gif", "Alpha") +
                row("imageFolder", 1, "/images/folder_images.gif", "Beta") +
                "</TABLE><HR></BODY></HTML>",
            render(402, {{"Folder.id", "0"}}));
}

TEST_F(GImageFolderViewTest, AFolderThreeLevelsDeep) {
  logIn(addUser(0, false));
  int a = addFolder(0, "A", false);
  int b = addFolder(a, "B", false);
  int c = addFolder(b, "C", true);
  auto pathCell = [](int _request, int _folder, const char* _name, const char* _end) {
    return "<TD>/</TD><TD" + hover + "onClick=\"mouseClick(this,parent,'" + url(400, _request, _folder) +
           "');\">" + _name + "</TD>" + _end;
  };
  EXPECT_EQ(head + "<BODY class=\"tab\">\n<TABLE><TR class=\"pageTitle\">\n"
                   "<TD width=\"20\"" + hover + "onClick=\"mouseClick(this,parent,'" + url(400, 1, b) +
                "')\"><IMG src=\"/images/folder_up.gif\" align=\"absmiddle\"></TD>\n<TD width=\"5\"></TD>\n"
                "<TD>C</TD>\n</TR></TABLE>\n<HR>\n<TABLE><TR class=\"folderPath\">\n" +
                pathCell(2, 0, "TITLE_FOLDERS", "") + pathCell(3, a, "A", "\n") +
                pathCell(4, b, "B", "\n") + "<TD>/</TD><TD>C</TD>\n</TR></TABLE>\n<HR>"
                "<TABLE><TR><TD class=\"tabSelected\">\nTAB_FOLDER</TD>\n"
                "<TD class=\"tab\" bgColor=\"#C0C0C0\"" + hover + "onClick=\"mouseClick2(this,parent.area,'" +
                url(406, 5, c) + "',document,'" + url(401, 6, c) +
                "&ImageFolderView.tab=406')\">TAB_MY_IMAGES</TD></TR>\n</TABLE>\n<HR>\n</BODY>\n</HTML>\n",
            render(401, {{"Folder.id", folderParam(c).c_str()}}));

  // The plain folder B lists C below an up row to A.
  std::string page = render(402, {{"Folder.id", folderParam(b).c_str()}});
  EXPECT_TRUE(contains(page, "<TABLE width=\"100%\">\n<TR" + hover + "onClick=\"mouseClick(this,parent,'/?Folder.id=" +
                                 std::to_string(a) + "&page=400&session=" + S + "');\">\n"
                                 "<TD width=\"20\" align=\"center\"><IMG src=\"/images/folder.gif\"/></TD>"
                                 "<TD class=\"folder\"> .. </TD>\n</TR>\n<TR class=\"imageFolder\""));
}

TEST_F(GImageFolderViewTest, TitleBarHeightAndTabsPerUser) {
  struct Case {
    int type;
    bool upload;
    bool imageFolder;
    const char* rows;
    bool folderTab, myImagesTab;
  };
  const Case cases[] = {
      {0, true, true, "140,90%", true, true},   {0, false, true, "95,90%", true, true},
      {0, true, false, "140,90%", true, false}, {1, true, true, "95,90%", false, false},
      {1, false, false, "95,90%", false, false},
  };
  int imageFolder = addFolder(0, "Images", true);
  int plainFolder = addFolder(0, "Plain", false);
  for (const Case& c : cases) {
    logIn(addUser(c.type, c.upload));
    std::string folder = folderParam(c.imageFolder ? imageFolder : plainFolder);
    SCOPED_TRACE(std::to_string(c.type) + (c.upload ? " upload " : " ") + folder);
    // The window's address becomes the folder's plain address.
    std::string address = "<SCRIPT>try { top.history.replaceState(null, '', '/?folder=" + folder +
                          "'); } catch (e) {}</SCRIPT>\n";
    EXPECT_TRUE(contains(render(400, {{"Folder.id", folder.c_str()}}),
                         viewtest::headStart + address + "</HEAD>\n" +
                             "<FRAMESET rows=\"" + c.rows + "\" name=\"400\""));
    std::string page = render(401, {{"Folder.id", folder.c_str()}});
    EXPECT_EQ(c.folderTab, contains(page, "TAB_FOLDER</TD>"));
    EXPECT_EQ(c.myImagesTab, contains(page, "TAB_MY_IMAGES</TD>"));
  }
}

TEST_F(GImageFolderViewTest, TheGuestAccountHasNoPublishingTab) {
  const int guest = GRights::guestAccountId;
  std::string folder = folderParam(addFolder(0, "Images", true));
  logIn(guest);
  std::string page = render(401, {{"Folder.id", folder.c_str()}, {"ImageFolderView.tab", "406"}});
  EXPECT_TRUE(contains(page, "<TD class=\"tabSelected\">\nTAB_FOLDER</TD>\n"));
  EXPECT_FALSE(contains(page, "TAB_MY_IMAGES"));
  // A remembered publishing tab does not bring it back.
  session.viewState.setObject("ImageFolderView.tab", 406);
  EXPECT_TRUE(contains(render(400, {{"Folder.id", folder.c_str()}}), "&page=402&"));
}

TEST_F(GImageFolderViewTest, TheChosenTabIsRememberedPerFolder) {
  logIn(addUser(0, true));
  int sea = addFolder(0, "Sea", true);
  int sun = addFolder(0, "Sun", true);
  int plain = addFolder(0, "Plain", false);
  std::string seaId = folderParam(sea);
  render(400, {{"Folder.id", seaId.c_str()}});
  // The menu's link to the own-images tab stores it; the frame set then shows it again.
  std::string page = render(401, {{"Folder.id", seaId.c_str()}, {"ImageFolderView.tab", "406"}});
  EXPECT_TRUE(contains(page, "<TD class=\"tabSelected\">\nTAB_MY_IMAGES</TD></TR>"));
  EXPECT_EQ(406, session.viewState.getInt("ImageFolderView.tab"));
  EXPECT_TRUE(contains(render(400, {{"Folder.id", seaId.c_str()}}), "&page=406&"));
  EXPECT_TRUE(contains(render(400), "&page=406&"));
  // Another folder starts with the folder tab.
  EXPECT_TRUE(contains(render(400, {{"Folder.id", folderParam(sun).c_str()}}), "&page=402&"));
  EXPECT_EQ(402, session.viewState.getInt("ImageFolderView.tab"));

  // A plain folder shows its list whatever tab is remembered.
  session.viewState.setObject("ImageFolderView.tab", 406);
  session.viewState.setObject("Folder.id", plain);
  EXPECT_TRUE(contains(render(400), "\"menu\" src=\"/?session=" + S));
  EXPECT_TRUE(contains(render(400), "&page=402&requestId="));
  EXPECT_EQ("", render(406, {{"Folder.id", folderParam(plain).c_str()}}));

  // A tab that is neither of the two is the folder tab.
  for (const char* bad : {"100", "-1", "x", "2147483647"}) {
    render(401, {{"Folder.id", seaId.c_str()}, {"ImageFolderView.tab", bad}});
    EXPECT_EQ(402, session.viewState.getInt("ImageFolderView.tab")) << bad;
    session.viewState.setObject("ImageFolderView.tab", bad);
    EXPECT_TRUE(contains(render(400, {{"Folder.id", seaId.c_str()}}), "&page=402&")) << bad;
  }
}

TEST_F(GImageFolderViewTest, AFolderThatCannotBeReadIsTheRoot) {
  logIn(addUser(0, false));
  addFolder(0, "Top", false);
  for (const char* id : {"999", "-4", "abc", "2147483647", "99999999999"}) {
    SCOPED_TRACE(id);
    std::string frames = render(400, {{"Folder.id", id}});
    EXPECT_TRUE(contains(frames, url(401, application.requestCounter - 1, 0)));
    EXPECT_EQ(0, session.viewState.getInt("Folder.id"));
    std::string menu = render(401, {{"Folder.id", id}});
    EXPECT_TRUE(contains(menu, "<TD>TITLE_FOLDERS</TD>\n</TR></TABLE>"));
    EXPECT_FALSE(contains(menu, "folder_up.gif"));
    std::string list = render(402, {{"Folder.id", id}});
    EXPECT_TRUE(contains(list, "<TD>Top</TD>"));
    EXPECT_FALSE(contains(list, " .. "));
  }
}

TEST_F(GImageFolderViewTest, FolderNamesAreEscaped) {
  logIn(addUser(0, false));
  int parent = addFolder(0, "<b>\"Tom\" & 'Jerry'</b>", false);
  int child = addFolder(parent, "<i>x</i>", true);
  const std::string parentName = "&lt;b&gt;&quot;Tom&quot; &amp; &#39;Jerry&#39;&lt;/b&gt;";
  std::string menu = render(401, {{"Folder.id", folderParam(child).c_str()}});
  EXPECT_TRUE(contains(menu, "<TD>&lt;i&gt;x&lt;/i&gt;</TD>\n</TR></TABLE>\n<HR>\n"));
  EXPECT_TRUE(contains(menu, "');\">" + parentName + "</TD>\n"));
  EXPECT_TRUE(contains(menu, "<TD>/</TD><TD>&lt;i&gt;x&lt;/i&gt;</TD>\n"));
  EXPECT_FALSE(contains(menu, "<b>"));
  EXPECT_FALSE(contains(menu, "<i>"));
  std::string list = render(402, {{"Folder.id", "0"}});
  EXPECT_TRUE(contains(list, "<TD>" + parentName + "</TD>\n"));
  EXPECT_TRUE(contains(render(402, {{"Folder.id", folderParam(parent).c_str()}}),
                       "<TD>&lt;i&gt;x&lt;/i&gt;</TD>\n"));
}

TEST_F(GImageFolderViewTest, ImageFolderPagesComeFromTheImagePages) {
  int owner = addUser(0, true);
  int folder = addFolder(0, "Sea", true);
  publish(folder, owner, 2);
  addImage(owner, 1);
  logIn(owner);
  std::string id = folderParam(folder);
  // The folder tab of an image folder is its grid, or its detail page once one was opened.
  EXPECT_TRUE(contains(render(402, {{"Folder.id", id.c_str()}}), "<TD class=\"imageTitle\" colspan=\"1\">"));
  EXPECT_TRUE(contains(render(404, {{"Folder.id", id.c_str()}, {"pagenum", "2"}}), "<FORM name=\"Image\""));
  EXPECT_TRUE(contains(render(402, {{"Folder.id", id.c_str()}}), "<FORM name=\"Image\""));
  EXPECT_TRUE(contains(render(405, {{"Folder.id", id.c_str()}}), "<TD class=\"imageTitle\""));
  EXPECT_EQ(nullptr, session.viewState.getObject("ImageFolderView.image"));
  // The own-images tab: all three own images, two of them published.
  std::string page = render(406, {{"Folder.id", id.c_str()}});
  EXPECT_EQ(2u, imagetest::countOf(page, "LABEL_PUBLISHED</TD>"));
  EXPECT_EQ(1u, imagetest::countOf(page, "LABEL_NOT_PUBLISHED</TD>"));
  EXPECT_TRUE(contains(render(407, {{"Folder.id", id.c_str()}}), "<FORM name=\"Image\""));
  EXPECT_TRUE(contains(render(406, {{"Folder.id", id.c_str()}}), "<FORM name=\"Image\""));
  EXPECT_TRUE(contains(render(408, {{"Folder.id", id.c_str()}}), "BUTTON_PUBLISH"));
  // Going up to a plain folder forgets the image shown alone.
  render(404, {{"Folder.id", id.c_str()}});
  render(402, {{"Folder.id", "0"}});
  EXPECT_EQ(nullptr, session.viewState.getObject("ImageFolderView.image"));
}

TEST_F(GImageFolderViewTest, PagesOutsideTheModuleAreNotClaimed) {
  logIn(0);
  for (int page : {399, 403, 409, 600, -1}) {
    MList params;
    params.setObject("page", page);
    viewtest::Page out;
    EXPECT_FALSE(view.process_request(session, out.out, params, contentType)) << page;
    EXPECT_EQ("", out.text()) << page;
  }
}

TEST_F(GImageFolderViewTest, PublishingPagesNeedALogin) {
  int folder = addFolder(0, "Sea", true);
  publish(folder, addUser(0, true), 1);
  std::string id = folderParam(folder);
  // Nobody: the folder's pages as for any visitor, none of the own-images pages.
  for (int page : {400, 401, 402, 404, 405}) {
    EXPECT_NE("", render(page, {{"Folder.id", id.c_str()}})) << page;
  }
  for (int page : {406, 407, 408}) {
    EXPECT_EQ("", render(page, {{"Folder.id", id.c_str()}})) << page;
  }
}
