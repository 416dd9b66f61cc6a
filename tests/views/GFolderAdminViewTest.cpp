#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "lib/core/MArray.h"
#include "tests/views/ViewTestSupport.h"
#include "views/GFolderAdminView.h"

using viewtest::hover;
using viewtest::Page;

namespace {

const std::string button = "<TD bgColor=\"#808080\" class=\"pageButton\" bgColor=\"#808080\" ";
const std::string updateButton =
    "<TD id=\"updateButton\" bgColor=\"#FEFEFE\" class=\"pageButton\" bgColor=\"#808080\" ";
const std::string infoBody =
    "<BODY onLoad=\"if (document.Folder != null) document.Folder.enabled.focus();\">\n<HR>\n";

// The tree of every test (owner in brackets):
//   / (root, 0)
//     Alpha (1, owned by the folder administrator)
//       Child (3, folder administrator)
//         Grand (4, folder administrator)
//       Pics (5, folder administrator; image folder, disabled)
//       Other (6, administrator)
//     Beta (2, administrator)
class GFolderAdminViewTest : public viewtest::ViewTest {
 protected:
  GFolderAdminViewTest() {
    static_cast<MArray*>(application.translations.getObject("eng"))
        ->addObject("TEXT_NEW_FOLDER", "New folder");
    folderAdmin = addUser(0, true, "Fo", "Lder", "folder");
    ordinary = addUser(0, false, "Or", "Dinary", "ordinary");
    addFolder("Alpha", 0, folderAdmin);
    addFolder("Beta", 0, 0);
    addFolder("Child", 1, folderAdmin);
    addFolder("Grand", 3, folderAdmin);
    addFolder("Pics", 1, folderAdmin, true, false);
    addFolder("Other", 1, 0);
  }

  int addUser(int _type, bool _folderAdmin, const char* _first, const char* _last,
              const char* _username) {
    GUser user;
    user.type = _type;
    user.enabled = true;
    user.folderAdmin = _folderAdmin;
    user.firstname = _first;
    user.lastname = _last;
    user.username = _username;
    return application.database.addUser(user);
  }

  int addFolder(const char* _name, int _parent, int _owner, bool _images = false,
                bool _enabled = true) {
    GFolder folder;
    folder.name = _name;
    folder.parentId = _parent;
    folder.ownerId = _owner;
    folder.imageFolder = _images;
    folder.enabled = _enabled;
    return application.database.addFolder(folder);
  }

  // Page _page with session, page and, unless empty, Folder.parent and Folder.id.
  std::string render(int _page, const char* _parent = "", const char* _folder = "",
                     MList* _params = nullptr) {
    MList own;
    MList& params = _params != nullptr ? *_params : own;
    params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    if (*_parent != 0) params.setObject("Folder.parent", _parent);
    if (*_folder != 0) params.setObject("Folder.id", _folder);
    Page page;
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }

  // The options of the choice _name in a form page: value and text, in order.
  static std::vector<std::string> options(const std::string& _page, const std::string& _name) {
    std::vector<std::string> found;
    size_t start = _page.find("name=\"" + _name + "\"");
    if (start == std::string::npos) return found;
    size_t end = _page.find("</SELECT>", start);
    for (size_t p = _page.find("<OPTION value=\"", start); p < end;
         p = _page.find("<OPTION value=\"", p + 1)) {
      size_t value = p + 15;
      size_t text = _page.find('>', value) + 1;
      std::string entry = _page.substr(value, _page.find('"', value) - value) + " " +
                          _page.substr(text, _page.find("</OPTION>", text) - text);
      if (_page.compare(_page.find('"', value), 11, "\" selected ") == 0) entry += " *";
      found.push_back(entry);
    }
    return found;
  }

  int folderAdmin;
  int ordinary;
  GFolderAdminView view;
};

}  // namespace

TEST_F(GFolderAdminViewTest, OnlyUsersWithTheRightSeeAnythingOfTheModule) {
  int plainAdministrator = addUser(1, false, "Ad", "Min", "plainadmin");
  struct Case {
    const char* role;
    int user;  // -1: the guest session, nobody logged in
  };
  const Case refused[] = {{"administrator without the right", plainAdministrator},
                          {"ordinary user", ordinary},
                          {"guest account", 1},
                          {"nobody", -1}};
  for (const Case& c : refused) {
    if (c.user >= 0) {
      logIn(c.user);
    } else {
      session.user = GUser();
      session.id = GSession::guestId;
    }
    for (int p = 900; p <= 905; ++p) EXPECT_EQ("", render(p, "1", "3")) << c.role << " " << p;
    EXPECT_EQ(0, session.viewState.getLength()) << c.role;
  }
  for (int user : {0, folderAdmin}) {
    logIn(user);
    for (int p = 900; p <= 905; ++p) EXPECT_NE("", render(p, "1", "4")) << user << " " << p;
  }
}

TEST_F(GFolderAdminViewTest, ClaimsOnlyItsOwnPageIds) {
  logIn(0);
  for (const char* id : {"899", "906", "300", "-1", "abc"}) {
    MList params;
    params.setObject("page", id);
    Page page;
    EXPECT_FALSE(view.process_request(session, page.out, params, contentType)) << id;
    EXPECT_EQ("", page.text()) << id;
  }
}

TEST_F(GFolderAdminViewTest, FrameSetCarriesTheRequestsOwnParameters) {
  logIn(folderAdmin);
  auto frame = [](int _page) {
    return "/?session=123456789&page=" + std::to_string(_page) + "&Folder.parent=1&Folder.id=3";
  };
  const std::string expected =
      viewtest::frameSetHead + "<FRAMESET rows=\"125,90%,225\" name=\"frame_folder_list\" border=\"0\">\n"
      "<FRAME name=\"title\" src=\"" + frame(903) +
      "\" noresize scrolling=\"no\" marginheight=\"0\" marginwidth=\"10\"></frame>\n"
      "<FRAME name=\"list\" src=\"" + frame(902) +
      "\" noresize  marginheight=\"0\" marginwidth=\"10\"></frame>\n"
      "<FRAME name=\"info\" src=\"" + frame(904) + "\" noresize></frame>\n"
      "</FRAMESET>\n</HTML>\n";
  EXPECT_EQ(expected, render(901, "1", "3"));
  EXPECT_EQ(nullptr, session.viewState.getObject("tab_main"));
  EXPECT_EQ(expected, render(900, "1", "3"));
  EXPECT_EQ(900, session.viewState.getInt("tab_main"));
  EXPECT_EQ(0, application.requestCounter);

  // An action the dispatch did not carry out stays out of the frames.
  MList params;
  params.setObject("action", "2");
  params.setObject("requestId", "8");
  std::string page = render(901, "1", "4", &params);
  EXPECT_EQ(std::string::npos, page.find("action=")) << page;
  EXPECT_NE(std::string::npos, page.find("/?requestId=8&session=123456789&page=904&Folder.parent=1"));
}

TEST_F(GFolderAdminViewTest, TitleShowsThePathToTheParent) {
  logIn(0);
  auto link = [](int _request, int _folder) {
    return hover + "onClick=\"mouseClick(this,parent,'/?session=123456789&page=900&requestId=" +
           std::to_string(_request) + "&Folder.parent=" + std::to_string(_folder) + "');\">";
  };
  auto title = [](const std::string& _name, const std::string& _path) {
    return viewtest::head +
           "<BODY style=\"margin-top: 10;\">\n<TABLE><TR class=\"pageTitle\"><TD>" + _name +
           "</TD></TR></TABLE>\n<HR>\n<TABLE><TR class=\"folderPath\">\n" + _path +
           "</TR></TABLE>\n<HR><TABLE width=\"100%\"><TR class=\"folderTitle\">\n"
           "<TD width=\"20\"> </TD><TD>LABEL_FOLDER_NAME</TD>\n</TR></TABLE>\n</BODY>\n</HTML>\n";
  };
  EXPECT_EQ(title("Grand", "<TD" + link(1, 0) + " / TITLE_FOLDERS</TD>"
                           "<TD> / </TD><TD" + link(2, 1) + "Alpha</TD>\n"
                           "<TD> / </TD><TD" + link(3, 3) + "Child</TD>\n"
                           "<TD> / Grand</TD>\n"),
            render(903, "4"));
  EXPECT_EQ(title("TITLE_FOLDERS", "<TD> / TITLE_FOLDERS</TD>\n"), render(903, "0"));

  // Without Folder.parent the remembered parent is shown.
  session.viewState.setObject("FolderAdminView.parent", 2);
  application.requestCounter = 0;
  EXPECT_EQ(title("Beta", "<TD" + link(1, 0) + " / TITLE_FOLDERS</TD><TD> / Beta</TD>\n"),
            render(903));
}

TEST_F(GFolderAdminViewTest, ListOfChildrenInFull) {
  logIn(0);
  auto rowStart = [](int _folder, int _parent, bool _selected) {
    std::string query = "&Folder.parent=" + std::to_string(_parent) +
                        "&Folder.id=" + std::to_string(_folder);
    return "<TR class=\"folderList\" bgColor=\"" + std::string(_selected ? "#C0C0C0" : "#F0F0F0") +
           "\"" + hover + "onClick=\"mouseClick2(this,parent.list,'/?session=123456789&page=902" +
           query + "',parent.info,'/?session=123456789&page=904" + query + "')\">";
  };
  auto cells = [](const std::string& _icon, const std::string& _name) {
    return "<TD width=\"20\" align=\"center\"><IMG src=\"/images/" + _icon +
           ".gif\"/></TD>\n<TD>" + _name + "</TD>\n</TR>\n";
  };
  const std::string start =
      viewtest::head + "<BODY  style=\"margin-top: 0;\">\n<TABLE width=\"100%\">\n";
  const std::string up =
      "<TR class=\"folderList\" bgColor=\"#F0F0F0\"" + hover +
      "onClick=\"mouseClick(this,parent,'/?session=123456789&page=901&Folder.parent=0"
      "&Folder.id=0')\"><TD width=\"20\" align=\"center\"><IMG src=\"/images/folder.gif\"/></TD>\n"
      "<TD> .. </TD>\n</TR>\n";
  const std::string end = "</TABLE>\n</BODY>\n</HTML>\n";

  // A selected plain folder opens on a second click.
  EXPECT_EQ(start + up +
                "<TR class=\"folderList\" bgColor=\"#C0C0C0\"" + hover +
                "onClick=\"mouseClick(this,parent,'/?session=123456789&Folder.id=0"
                "&Folder.parent=3&page=901')\">" + cells("folder", "Child") +
                rowStart(5, 1, false) + cells("folder_images_disabled", "Pics") +
                rowStart(6, 1, false) + cells("folder", "Other") + end,
            render(902, "1", "3"));
  EXPECT_EQ(3, session.viewState.getInt("FolderAdminView.folder"));

  // A selected image folder only keeps its highlight.
  EXPECT_EQ(start + up + rowStart(3, 1, false) + cells("folder", "Child") +
                rowStart(5, 1, true) + cells("folder_images_disabled", "Pics") +
                rowStart(6, 1, false) + cells("folder", "Other") + end,
            render(902, "1", "5"));

  // The root has no way up; nothing selected.
  EXPECT_EQ(start + rowStart(1, 0, false) + cells("folder", "Alpha") + rowStart(2, 0, false) +
                cells("folder", "Beta") + end,
            render(902, "0", "0"));
  EXPECT_EQ(0, application.requestCounter);
}

TEST_F(GFolderAdminViewTest, FormOfAFolderInFull) {
  logIn(0);
  auto flag = [](const char* _name, bool _value) {
    return std::string("<TD class=\"folderValue\"><SELECT class=\"value\" name=\"") + _name +
           "\" onChange=\"activateUpdateButton();\">\n" +
           (_value ? "<OPTION value=\"0\">WORD_NO</OPTION>\n<OPTION selected value=\"1\">WORD_YES"
                   : "<OPTION selected value=\"0\">WORD_NO</OPTION>\n<OPTION value=\"1\">WORD_YES") +
           "</OPTION>\n</SELECT></TD>\n";
  };
  auto row = [](const char* _label, const std::string& _value) {
    return std::string("<TR>\n<TD class=\"folderAttribute\">") + _label + "</TD>\n" + _value +
           "</TR>\n";
  };
  const std::string buttons =
      "<TABLE width=\"100%\"><TR>\n" + button + hover +
      "onClick=\"mouseClick(this,parent,'/?page=901&requestId=2&action=0&Folder.parent=1"
      "&Folder.imageFolder=0&Folder.name=New%20folder&session=123456789')\">BUTTON_NEW</TD>\n" +
      updateButton + hover +
      "onClick=\"updateFolder(this,parent,'/?page=901&requestId=2&action=1&Folder.parent=1"
      "&Folder.imageFolder=0&Folder.name=New%20folder&session=123456789&Folder.id=3')\">"
      "BUTTON_UPDATE</TD>\n<TD> </TD>\n</TR></TABLE>\n";
  EXPECT_EQ(viewtest::head + infoBody +
                "<FORM name=\"Folder\" class=\"input\" method=\"GET\" action=\"/\">\n"
                "<INPUT name=\"session\" value=\"123456789&page=904&requestId=1&Folder.id=3"
                "&Folder.parent=1\" type=\"hidden\">\n<TABLE width=\"100%\">\n" +
                row("LABEL_FOLDER_ENABLED", flag("enabled", true)) +
                row("LABEL_IMAGE_FOLDER", flag("imageFolder", false)) +
                row("LABEL_FOLDER_NAME",
                    "<TD class=\"folderValue\"><INPUT type=\"text\"  style=\"width: 99%\" "
                    "class=\"value\" name=\"name\" value=\"Child\" onKeyUp=\"if "
                    "(document.Folder.name.value != 'Child') activateUpdateButton();\"></TD>\n") +
                row("LABEL_PARENT_FOLDER",
                    "<TD class=\"folderValue\"><SELECT class=\"value\" name=\"parent\" "
                    "onChange=\"activateUpdateButton();\">\n"
                    "<OPTION value=\"0\">/</OPTION>\n"
                    "<OPTION value=\"1\" selected >/Alpha</OPTION>\n"
                    "<OPTION value=\"6\">/Alpha/Other</OPTION>\n"
                    "<OPTION value=\"2\">/Beta</OPTION>\n</SELECT></TD>\n") +
                row("LABEL_FOLDER_OWNER",
                    "<TD class=\"folderValue\"><SELECT class=\"value\" name=\"ownerId\" "
                    "onChange=\"activateUpdateButton();\">\n"
                    "<OPTION value=\"0\">Administrator, System</OPTION>\n"
                    "<OPTION value=\"1\">Guest, User</OPTION>\n"
                    "<OPTION value=\"2\" selected >Lder, Fo</OPTION>\n"
                    "<OPTION value=\"3\">Dinary, Or</OPTION>\n</SELECT></TD>\n") +
                "</TABLE>\n</FORM>\n<HR>\n" + buttons + "</BODY>\n</HTML>\n",
            render(904, "1", "3"));
  EXPECT_EQ(3, session.viewState.getInt("FolderAdminView.folder"));
  EXPECT_EQ(1, session.viewState.getInt("FolderAdminView.parent"));
}

TEST_F(GFolderAdminViewTest, ParentChoiceNeverOffersTheFolderItsDescendantsOrImageFolders) {
  struct Case {
    int user;
    const char* folder;
    std::vector<std::string> offered;  // "id path", " *" for the current parent
  };
  const Case cases[] = {
      // Administrators: every plain folder outside the folder's own branch.
      {0, "3", {"0 /", "1 /Alpha *", "6 /Alpha/Other", "2 /Beta"}},
      {0, "1", {"0 / *", "2 /Beta"}},
      {0, "4", {"0 /", "1 /Alpha", "3 /Alpha/Child *", "6 /Alpha/Other", "2 /Beta"}},
      {0, "5", {"0 /", "1 /Alpha *", "3 /Alpha/Child", "4 /Alpha/Child/Grand", "6 /Alpha/Other",
                "2 /Beta"}},
      // A folder administrator: his own folders and the current parent.
      {folderAdmin, "3", {"1 /Alpha *"}},
      {folderAdmin, "1", {"0 / *"}},
      {folderAdmin, "4", {"1 /Alpha", "3 /Alpha/Child *"}},
      {folderAdmin, "5", {"1 /Alpha *", "3 /Alpha/Child", "4 /Alpha/Child/Grand"}},
  };
  for (const Case& c : cases) {
    logIn(c.user);
    EXPECT_EQ(c.offered, options(render(904, "", c.folder), "parent"))
        << c.user << " on " << c.folder;
  }
}

TEST_F(GFolderAdminViewTest, CurrentParentStaysOfferedEvenWhenItHoldsImages) {
  // A folder below an image folder (older data): offering its parent keeps a save from
  // moving it elsewhere unasked.
  int below = addFolder("Below", 5, folderAdmin);
  logIn(folderAdmin);
  std::vector<std::string> offered = options(render(904, "", std::to_string(below).c_str()), "parent");
  EXPECT_EQ((std::vector<std::string>{"1 /Alpha", "3 /Alpha/Child", "4 /Alpha/Child/Grand",
                                      "5 /Alpha/Pics *"}),
            offered);
}

TEST_F(GFolderAdminViewTest, OwnerChoiceOfAFolderAdministratorIsHimselfAlone) {
  logIn(folderAdmin);
  EXPECT_EQ(std::vector<std::string>{"2 Lder, Fo *"}, options(render(904, "", "3"), "ownerId"));
  logIn(0);
  EXPECT_EQ(4u, options(render(904, "", "3"), "ownerId").size());
}

TEST_F(GFolderAdminViewTest, ButtonsFollowTheRightsOnParentAndSelection) {
  struct Case {
    int user;
    const char* parent;
    const char* folder;
    bool form, create, remove, update;
  };
  const Case cases[] = {
      // Nothing selected: only the new button, where the user may create.
      {0, "0", "0", false, true, false, false},
      {folderAdmin, "0", "0", false, false, false, false},
      {folderAdmin, "1", "0", false, true, false, false},
      {folderAdmin, "2", "0", false, false, false, false},
      // A folder with children cannot be deleted here.
      {folderAdmin, "0", "1", true, false, false, true},
      {folderAdmin, "1", "3", true, true, false, true},
      {folderAdmin, "3", "4", true, true, true, true},
      // Another's folder: no form and no buttons for a folder administrator.
      {folderAdmin, "1", "6", false, false, false, false},
      {folderAdmin, "0", "2", false, false, false, false},
      {0, "1", "6", true, true, true, true},
      // A folder that is not there: no form; administrators keep the buttons.
      {folderAdmin, "1", "99", false, false, false, false},
  };
  for (const Case& c : cases) {
    logIn(c.user);
    std::string page = render(904, c.parent, c.folder);
    std::string why = std::to_string(c.user) + " " + c.parent + "/" + c.folder;
    EXPECT_EQ(c.form, page.find("<FORM") != std::string::npos) << why;
    EXPECT_EQ(c.create, page.find("BUTTON_NEW") != std::string::npos) << why;
    EXPECT_EQ(c.remove, page.find("BUTTON_DELETE") != std::string::npos) << why;
    EXPECT_EQ(c.update, page.find("BUTTON_UPDATE") != std::string::npos) << why;
    bool anyButton = c.create || c.remove || c.update || std::string(c.folder) == "0";
    EXPECT_EQ(anyButton, page.find("<TABLE width=\"100%\"><TR>\n") != std::string::npos) << why;
  }
  // The delete button asks first; the new folder goes under the folder's real parent.
  logIn(folderAdmin);
  application.requestCounter = 0;
  std::string page = render(904, "2", "4");
  EXPECT_NE(std::string::npos,
            page.find("onClick=\"mouseClick(this,document,'/?page=905&requestId=2&Folder.parent=3"
                      "&Folder.imageFolder=0&Folder.name=New%20folder&session=123456789"
                      "&Folder.id=4')\">BUTTON_DELETE</TD>\n" + updateButton + hover +
                      "onClick=\"updateFolder(this,parent,'/?page=901&requestId=2&Folder.parent=3"
                      "&Folder.imageFolder=0&Folder.name=New%20folder&session=123456789"
                      "&Folder.id=4&action=1')\">BUTTON_UPDATE</TD>\n"));
  EXPECT_EQ(3, session.viewState.getInt("FolderAdminView.parent"));
}

TEST_F(GFolderAdminViewTest, NothingSelectedShowsOnlyTheNewButton) {
  logIn(0);
  EXPECT_EQ(viewtest::head + infoBody + "<TABLE width=\"100%\"><TR>\n" + button + hover +
                "onClick=\"mouseClick(this,parent,'/?page=901&requestId=1&action=0"
                "&Folder.parent=0&Folder.imageFolder=0&Folder.name=New%20folder"
                "&session=123456789')\">BUTTON_NEW</TD>\n<TD> </TD>\n</TR></TABLE>\n"
                "</BODY>\n</HTML>\n",
            render(904));
  EXPECT_EQ(0, session.viewState.getInt("FolderAdminView.folder"));
  EXPECT_EQ(0, session.viewState.getInt("FolderAdminView.parent"));
}

TEST_F(GFolderAdminViewTest, DeleteQuestionInFull) {
  logIn(folderAdmin);
  EXPECT_EQ(viewtest::head +
                "<BODY>\n<HR>\n<TABLE><TR class=\"dialogTitle\"><TD>TITLE_DELETE_FOLDER</TD></TR>"
                "</TABLE>\n<HR>\n<P class=\"dialogText\">QUESTION_DELETE_FOLDER ( Grand )?</P>"
                "<HR>\n<TABLE width=\"100%\"><TR>\n" +
                button + hover + "onClick=\"mouseClick(this,parent,'/?session=123456789&page=901"
                "&requestId=1&action=2&Folder.id=4&Folder.parent=3')\">BUTTON_YES</TD>\n" +
                button + hover + "onClick=\"mouseClick(this,parent,'/?session=123456789&page=901"
                "&requestId=2&Folder.id=4&Folder.parent=3')\">BUTTON_NO</TD>\n<TD> </TD>\n"
                "</TR></TABLE>\n</BODY>\n</HTML>\n",
            render(905, "", "4"));
}

TEST_F(GFolderAdminViewTest, DeleteQuestionOnlyForFoldersTheUserMayEdit) {
  struct Case {
    int user;
    const char* folder;
    bool asked;
  };
  const Case cases[] = {
      {folderAdmin, "", false}, {folderAdmin, "0", false}, {folderAdmin, "6", false},
      {folderAdmin, "2", false}, {folderAdmin, "99", false}, {folderAdmin, "4", true},
      {0, "6", true},          {0, "0", false},
  };
  for (const Case& c : cases) {
    logIn(c.user);
    std::string page = render(905, "", c.folder);
    EXPECT_EQ(c.asked, page.find("QUESTION_DELETE_FOLDER") != std::string::npos)
        << c.user << " " << c.folder;
    if (!c.asked && c.user != 0) {
      EXPECT_EQ("", page) << c.folder;
    }
  }
  // An administrator asking about a folder that is not there gets an empty page.
  logIn(0);
  EXPECT_EQ(viewtest::head + "<BODY>\n</BODY>\n</HTML>\n", render(905, "", "99"));
}

TEST_F(GFolderAdminViewTest, HostileFolderNamesAreEscapedEverywhere) {
  const char* hostile = "<b>x</b> & 'q' \"d\" \\";
  GFolder folder;
  application.database.getFolder(4, folder);
  folder.name = hostile;
  application.database.updateFolder(4, folder);
  GFolder parent;
  application.database.getFolder(3, parent);
  parent.name = "a'b";
  application.database.updateFolder(3, parent);
  logIn(0);
  const std::string html = "&lt;b&gt;x&lt;/b&gt; &amp; &#39;q&#39; &quot;d&quot; \\";

  std::string list = render(902, "3");
  EXPECT_NE(std::string::npos, list.find("<TD>" + html + "</TD>"));
  std::string title = render(903, "4");
  EXPECT_NE(std::string::npos, title.find("<TD>" + html + "</TD></TR></TABLE>"));
  EXPECT_NE(std::string::npos, title.find("<TD> / " + html + "</TD>"));
  EXPECT_NE(std::string::npos, title.find("');\">a&#39;b</TD>"));
  std::string form = render(904, "", "4");
  EXPECT_NE(std::string::npos,
            form.find("name=\"name\" value=\"" + html +
                      "\" onKeyUp=\"if (document.Folder.name.value != '&lt;b&gt;x&lt;/b&gt; "
                      "&amp; \\&#39;q\\&#39; \\&quot;d\\&quot; \\\\') activateUpdateButton();"));
  EXPECT_NE(std::string::npos, form.find(">/Alpha/a&#39;b</OPTION>"));
  std::string question = render(905, "", "4");
  EXPECT_NE(std::string::npos, question.find("( " + html + " )?</P>"));
  for (const std::string& page : {list, title, form, question}) {
    EXPECT_EQ(std::string::npos, page.find("<b>")) << page;
  }
}
