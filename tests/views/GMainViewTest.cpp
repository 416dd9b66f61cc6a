#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "tests/views/ViewTestSupport.h"
#include "views/GMainView.h"

using viewtest::hover;
using viewtest::Page;

namespace {

const std::string titleHead = viewtest::headStart + "<TITLE>Vistrel 1.0</TITLE>\n</HEAD>\n";

class GMainViewTest : public viewtest::ViewTest {
 protected:
  // The document of page _page with the parameters session (the session's) and page.
  std::string render(int _page, MList* _params = nullptr) {
    MList own;
    MList& params = _params != nullptr ? *_params : own;
    if (params.getObject("session") == nullptr) params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    Page page;
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }

  // A user account with the given rights, as the session's user.
  void logInAs(int _type, bool _folderAdmin) {
    GUser user;
    user.type = _type;
    user.enabled = true;
    user.username = "someone";
    user.firstname = "Some";
    user.lastname = "One";
    user.folderAdmin = _folderAdmin;
    application.database.addUser(user);
    logIn(user.id);
  }

  // The translation keys (or texts) of the main menu's entries, in order.
  std::vector<std::string> menuEntries(const std::string& _page) {
    std::vector<std::string> entries;
    const std::string marker = "<IMG src=\"/images/ball.gif\"/></TD><TD>";
    for (size_t p = _page.find(marker); p != std::string::npos; p = _page.find(marker, p + 1)) {
      size_t start = p + marker.size();
      entries.push_back(_page.substr(start, _page.find("</TD>", start) - start));
    }
    return entries;
  }

  GMainView view;
};

}  // namespace

TEST_F(GMainViewTest, OuterFrameSetLoadsTheShell) {
  MList params;
  params.setObject("tab_main", "400");
  params.setObject("action", "17");
  EXPECT_EQ(viewtest::head +
                "<FRAMESET rows=\"100%\" name=\"main\" border=\"0\">\n"
                "<FRAME name=\"submain\" src=\"/?tab_main=400&session=5072913846&page=1&requestId=1\""
                " noresize scrolling=\"no\"></frame>\n</FRAMESET>\n</HTML>\n",
            render(0, &params));
  // The request's own parameters are left as they were.
  EXPECT_EQ(0, GView::paramInt(params, "page"));
  EXPECT_EQ(nullptr, params.getObject("requestId"));
}

TEST_F(GMainViewTest, LoginPageWithAndWithoutTheGuestButton) {
  const std::string top =
      viewtest::head +
      "<BODY class=\"login\" onLoad=\"document.Login.username.focus();\">\n"
      "<FORM style=\"margin-bottom: 0; vertical-align: middle; horizontal-align: center;\" "
      "name=\"Login\" method=\"POST\" "
      "action=\"/?session=5072913846&page=1&action=16&requestId=1&tab_main=600\" "
      "enctype=\"application/x-www-form-urlencoded\" autocomplete=\"off\">\n"
      "<TABLE align=\"center\" border=\"0\" cellspacing=\"0\" height=\"100%\">\n"
      "<TR><TD> <TD></TR>\n"
      "<TR class=\"loginCaption\"><TD width=\"10\"></TD>\n"
      "<TD align=\"center\">Vistrel</TD><TD width=\"10\"></TD></TR>\n"
      "<TR height=\"110\" class=\"loginCanvas\" ><TD width=\"10\"> </TD><TD>\n"
      "<TABLE align=\"center\">\n"
      "<TR height=\"25\">\n<TD class=\"loginLabel\">User name</TD>\n</TR>\n"
      "<TR height=\"30\">\n"
      "<TD><INPUT class=\"loginValue\" type=\"text\" size=\"50\" name=\"username\"></TD>\n</TR>\n"
      "<TR height=\"25\">\n<TD width=\"120\" class=\"loginLabel\">Password</TD>\n</TR>\n"
      "<TR height=\"30\">\n"
      "<TD><INPUT class=\"loginValue\" type=\"password\" size=\"50\" name=\"password\"></TD>\n"
      "</TR>\n";
  const std::string buttons =
      "</TABLE>\n</TD><TD width=\"10\"> </TD></TR>\n"
      "<TR height=\"40\"  class=\"loginCanvas\"><TD width=\"10\"> </TD><TD>\n"
      "<TABLE align=\"center\">\n<TR>\n"
      "<TD class=\"loginButton\" bgColor=\"#808080\"" + hover +
      "onClick=\"login(this)\">Login</TD>\n";
  const std::string guest =
      "<TD class=\"loginButton\" bgColor=\"#808080\"" + hover +
      "onClick=\"mouseClick(this,parent.submain,'/?session=5072913846&page=1&action=16"
      "&requestId=2&tab_main=600&guest=1')\">Guest</TD>\n";
  const std::string bottom =
      "</TR>\n</TABLE></TD><TD width=\"10\"> </TD><TR>\n<TR><TD> <TD></TR>\n</TABLE>\n"
      "</FORM>\n</BODY>\n</HTML>\n";
  EXPECT_EQ(top + buttons + guest + bottom, render(1));

  // A disabled guest account only hides its button.
  GUser account;
  application.database.getUser(1, account);
  account.enabled = false;
  application.database.updateUser(1, account);
  application.requestCounter = 0;
  EXPECT_EQ(top + buttons + bottom, render(1));

  // Whatever else the request carries, a session without user gets the login page.
  MList params;
  params.setObject("tab_main", "300");
  params.setObject("action", "17");
  application.requestCounter = 0;
  EXPECT_EQ(top + buttons + bottom, render(1, &params));
}

TEST_F(GMainViewTest, WhyTheLoginPageIsShownIsSaidOnIt) {
  struct Case {
    const char* state;
    std::string message;
  };
  auto row = [](const char* _kind, const char* _key) {
    return std::string("<TR height=\"25\">\n<TD class=\"loginMessage\"><DIV class=\"message message_") +
           _kind + "\" role=\"status\">" + _key + "</DIV>\n</TD>\n</TR>\n";
  };
  const Case cases[] = {
      {"failed", row("refused", "MESSAGE_LOGIN_FAILED")},
      {"throttled", row("refused", "MESSAGE_LOGIN_THROTTLED")},
      {"loggedout", row("note", "MESSAGE_LOGGED_OUT")},
      {"expired", row("note", "MESSAGE_SESSION_EXPIRED")},
      {"other", ""},
      {"", ""},
  };
  const std::string before =
      "<TD><INPUT class=\"loginValue\" type=\"password\" size=\"50\" name=\"password\"></TD>\n"
      "</TR>\n";
  for (const Case& c : cases) {
    MList params;
    params.setObject("login", c.state);
    std::string page = render(1, &params);
    size_t at = page.find(before);
    ASSERT_NE(std::string::npos, at) << c.state;
    EXPECT_EQ(before + c.message + "</TABLE>\n",
              page.substr(at, before.size() + c.message.size() + 9))
        << c.state;
  }
}

TEST_F(GMainViewTest, NoPasswordOrNameOfTheGuestAccountOnTheLoginPage) {
  GUser account;
  application.database.getUser(1, account);
  account.username = "gu'est";
  account.password = "a&b=c";
  application.database.updateUser(1, account);
  std::string page = render(1);
  EXPECT_NE(std::string::npos, page.find("&tab_main=600&guest=1')\">Guest"));
  for (const char* secret :
       {"gu'est", "gu&#39;est", "gu%27est", "a&b", "a&amp;b", "a%26b", "password="}) {
    EXPECT_EQ(std::string::npos, page.find(secret)) << secret;
  }
}

TEST_F(GMainViewTest, ShellFrameSetOfALoggedInUser) {
  logIn(0);
  MList params;
  params.setObject("tab_main", "700");
  // The request's action has been dealt with; the frames do not carry it on.
  params.setObject("action", "19");
  const std::string url = "/?tab_main=700&session=123456789&page=";
  EXPECT_EQ(titleHead +
                "<FRAMESET rows=\"80,29,70%,29\" name=\"main_frame\" border=\"0\">\n"
                "<FRAME name=\"title\" src=\"" + url + "2&requestId=1\" noresize scrolling=\"no\"></frame>\n"
                "<FRAME name=\"menu\" src=\"" + url + "3&requestId=1\" marginheight=\"2\" noresize scrolling=\"no\"></frame>\n"
                "<FRAME name=\"area\" src=\"" + url + "5&requestId=1\"></frame>\n"
                "<FRAME name=\"statusbar\" src=\"" + url + "6&requestId=1\" marginheight=\"2\" noresize scrolling=\"no\"></frame>\n"
                "</FRAMESET>\n</HTML>\n",
            render(1, &params));
}

TEST_F(GMainViewTest, TitleBarAndTopBar) {
  logIn(0);
  EXPECT_EQ(viewtest::head + "<BODY class=\"title\">\n</BODY>\n</HTML>\n", render(2));
  EXPECT_EQ(viewtest::head +
                "<BODY class=\"topBar\">\n<TABLE width=\"100%\">\n<TR>\n<TD width=\"15\"> </TD>\n"
                "<TD class=\"topBar\">System Administrator</TD>\n<TD> </TD>\n"
                "<TD class=\"topBar\" width=\"100\" align=\"center\"" + hover +
                "onClick=\"openWindow('/eng/User_manual_1_0.pdf')\">Help</TD>\n"
                "<TD class=\"topBar\" width=\"100\" align=\"center\"" + hover +
                "onClick=\"mouseClick(this,parent,'/?session=123456789&page=1&action=17"
                "&requestId=1')\">Logout</TD>\n</TR>\n</TABLE>\n</BODY>\n</HTML>\n",
            render(3));
}

TEST_F(GMainViewTest, TopBarEscapesTheNamesAndKeepsTheManualPathInside) {
  logIn(0);
  session.user.firstname = "<img src=x onerror=alert(1)>";
  session.user.lastname = "O'Neil & \"Co\"";
  session.language = "../../etc";
  std::string page = render(3);
  EXPECT_NE(std::string::npos,
            page.find("<TD class=\"topBar\">&lt;img src=x onerror=alert(1)&gt; "
                      "O&#39;Neil &amp; &quot;Co&quot;</TD>"));
  // A language that is not configured is shown the first language's manual and texts.
  EXPECT_NE(std::string::npos, page.find("openWindow('/eng/User_manual_1_0.pdf')\">Help</TD>"));
}

TEST_F(GMainViewTest, MainMenuEntriesPerRole) {
  struct Case {
    int type;
    bool folderAdmin;
    std::vector<std::string> entries;
  };
  const std::vector<std::string> common = {"Introduction", "MENU_IMAGE_FOLDERS",
                                           "MENU_SEARCH_IMAGES"};
  auto with = [&](std::vector<std::string> _more) {
    std::vector<std::string> all = common;
    all.insert(all.end(), _more.begin(), _more.end());
    return all;
  };
  const Case cases[] = {
      {0, false, with({"MENU_MY_INFORMATION"})},
      {0, true, with({"MENU_MY_INFORMATION", "MENU_FOLDER_ADMINISTRATION"})},
      {1, false, with({"MENU_MY_INFORMATION", "MENU_IMAGE_ACCEPTANCE", "MENU_USER_ADMINISTRATION",
                       "MENU_SERVER_STATUS"})},
      {1, true, with({"MENU_MY_INFORMATION", "MENU_IMAGE_ACCEPTANCE", "MENU_USER_ADMINISTRATION",
                      "MENU_FOLDER_ADMINISTRATION", "MENU_SERVER_STATUS"})},
  };
  for (const Case& c : cases) {
    logInAs(c.type, c.folderAdmin);
    EXPECT_EQ(c.entries, menuEntries(render(4))) << c.type << c.folderAdmin;
  }
  // The guest account has no account page of its own.
  logIn(1);
  EXPECT_EQ(common, menuEntries(render(4)));
}

TEST_F(GMainViewTest, MainMenuOfTheGuestAccountInFull) {
  logIn(1);
  auto row = [&](int _module, const std::string& _text) {
    std::string tab = std::to_string(_module);
    return "<TR class=\"menu\"" + hover + "onClick=\"mouseClick2(this,parent.right,'"
           "/?session=123456789&page=" + tab + "&requestId=1&tab_main=" + tab +
           "',document,'/?session=123456789&page=4&requestId=1&tab_main=" + tab + "')\">\n"
           "<TD width=\"25\" align=\"center\"><IMG src=\"/images/ball.gif\"/></TD><TD>" + _text +
           "</TD></TR>\n";
  };
  EXPECT_EQ(viewtest::head +
                "<BODY class=\"menu\">\n<TABLE class=\"menu\" cellspacing=\"0\">\n"
                "<TR class=\"menuSelected\">\n"
                "<TD width=\"25\" align=\"center\"><IMG src=\"/images/ball.gif\"/></TD>"
                "<TD>Introduction</TD></TR>\n" +
                row(400, "MENU_IMAGE_FOLDERS") + row(700, "MENU_SEARCH_IMAGES") +
                "<TR><TD></TD></TR>\n</BODY>\n</HTML>\n",
            render(4));
  // Without tab_main anywhere the introduction is chosen and remembered.
  EXPECT_EQ(600, session.viewState.getInt("tab_main"));
}

TEST_F(GMainViewTest, MainMenuSelectionFollowsTabMain) {
  logInAs(0, false);
  // From the request: an entry the user does not have selects nothing and is not remembered.
  MList params;
  params.setObject("tab_main", "900");
  std::string page = render(4, &params);
  EXPECT_EQ(std::string::npos, page.find("menuSelected"));
  EXPECT_EQ(nullptr, session.viewState.getObject("tab_main"));

  // From the view-state list.
  session.viewState.setObject("tab_main", 700);
  page = render(4);
  size_t selected = page.find("<TR class=\"menuSelected\">\n");
  ASSERT_NE(std::string::npos, selected);
  std::string row = page.substr(selected, page.find("</TR>", selected) - selected);
  EXPECT_NE(std::string::npos, row.find("<TD>MENU_SEARCH_IMAGES"));
}

TEST_F(GMainViewTest, AreaFrameSetPlacesMenuAndModule) {
  logIn(0);
  EXPECT_EQ(viewtest::frameSetHead + "<FRAMESET cols=\"25%,75%\" border=\"0\">\n"
            "<FRAME name=\"left\" src=\"/?session=123456789&page=4&requestId=1\" noresize></frame>\n"
            "<FRAME name=\"right\" src=\"/?session=123456789&page=600&requestId=1\" noresize></frame>\n"
            "</FRAMESET>\n</HTML>\n",
            render(5));
  EXPECT_EQ(600, session.viewState.getInt("tab_main"));

  // A module from the request is shown and remembered.
  MList params;
  params.setObject("tab_main", "300");
  std::string page = render(5, &params);
  EXPECT_NE(std::string::npos, page.find("<FRAME name=\"right\" src=\"/?tab_main=300&session=123456789&page=300&requestId=2\""));
  EXPECT_EQ(300, session.viewState.getInt("tab_main"));
}

TEST_F(GMainViewTest, StatusBarOffersTheOtherLanguages) {
  logIn(0);
  const std::string tail = "<TD></TD>\n<TD width=\"300\" class=\"statusBar\" align=\"center\" " +
                           hover + ">Vistrel 1.0</TD>\n</TR>\n</TABLE>\n</BODY>\n</HTML>\n";
  const std::string start = viewtest::head + "<BODY class=\"statusBar\">\n<TABLE width=\"100%\">\n<TR>\n";
  EXPECT_EQ(start + "<TD class=\"statusBar\" width=\"80\"" + hover +
                "onClick=\"mouseClick(this,parent,'/?session=123456789&page=0&requestId=1"
                "&action=19&language=fra')\">Francais</TD>\n" + tail,
            render(6));

  session.language = "fra";
  std::string french = render(6);
  EXPECT_NE(std::string::npos, french.find("&language=eng')\">English</TD>"));
  EXPECT_EQ(std::string::npos, french.find("Francais"));

  // With one configured language there is nothing to choose.
  application.languages.deleteObject("fra");
  session.language = "eng";
  application.requestCounter = 0;
  EXPECT_EQ(start + tail, render(6));
}

TEST_F(GMainViewTest, PagesOfTheShellNeedALogin) {
  for (int p : {2, 3, 4, 5, 6}) EXPECT_EQ("", render(p)) << p;
  EXPECT_EQ(nullptr, session.viewState.getObject("tab_main"));
}

TEST_F(GMainViewTest, ClaimsOnlyItsOwnPageIds) {
  logIn(0);
  const char* others[] = {"7", "99", "100", "403", "600", "-1", "abc", "1x"};
  for (const char* id : others) {
    MList params;
    params.setObject("page", id);
    Page page;
    EXPECT_FALSE(view.process_request(session, page.out, params, contentType)) << id;
    EXPECT_EQ("", page.text()) << id;
  }
  MList none;
  Page page;
  EXPECT_FALSE(view.process_request(session, page.out, none, contentType));
}

TEST_F(GMainViewTest, ABannerWhileAnAdministratorWorksAsAnotherUser) {
  logInAs(0, false);
  session.user.firstname = "<i>Eva</i>";
  EXPECT_EQ(viewtest::head + "<BODY class=\"title\">\n</BODY>\n</HTML>\n", render(2));
  session.returnSessionId = "555";
  application.requestCounter = 0;
  // The way back is the log-out of the opened session, which returns to the administrator's.
  EXPECT_EQ(viewtest::head + "<BODY class=\"title\">\n"
                "<TABLE class=\"actingBanner\" id=\"actingBanner\"><TR>\n"
                "<TD>MESSAGE_ACTING_AS <B>&lt;i&gt;Eva&lt;/i&gt; One (someone)</B></TD>\n"
                "<TD class=\"pageButton\" id=\"backToAccount\"" + hover +
                "onClick=\"mouseClick(this,parent,'/?session=" + session.id.getValue() +
                "&page=1&action=17&requestId=1')\">BUTTON_BACK_TO_MY_ACCOUNT</TD>\n"
                "</TR></TABLE>\n</BODY>\n</HTML>\n",
            render(2));
}

TEST_F(GMainViewTest, AnEndedSessionsFramesBreakOutToTheLoginPage) {
  struct Case {
    const char* state;
    const char* shown;
  };
  // Only a known state goes into the script.
  const Case cases[] = {{"loggedout", "loggedout"}, {"expired", "expired"}, {"');alert(1);('", "loggedout"}};
  for (const Case& c : cases) {
    Page page;
    GMainView::breakOut(page.out, c.state);
    EXPECT_EQ(std::string("<HTML><BODY onLoad=\"top.location.replace('/?login=") + c.shown +
                  "');\"></BODY></HTML>\n",
              page.text());
  }
}
