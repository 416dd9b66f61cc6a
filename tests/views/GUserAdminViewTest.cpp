#include <gtest/gtest.h>

#include <string>

#include "db/GDatabase.h"
#include "tests/views/ViewTestSupport.h"
#include "views/GUserAdminView.h"

using viewtest::hover;
using viewtest::Page;

namespace {

const std::string button = "<TD bgColor=\"#808080\" class=\"pageButton\" bgColor=\"#808080\" ";
const std::string updateButton =
    "<TD id=\"updateButton\" bgColor=\"#FEFEFE\" class=\"pageButton\" bgColor=\"#808080\" ";

class GUserAdminViewTest : public viewtest::ViewTest {
 protected:
  // The document of page _page with session, page and, unless empty, User.id.
  std::string render(int _page, const char* _userId = "", MList* _params = nullptr) {
    MList own;
    MList& params = _params != nullptr ? *_params : own;
    params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    if (*_userId != 0) params.setObject("User.id", _userId);
    Page page;
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }

  int addUser(int _type, bool _enabled, bool _upload, const char* _first, const char* _last,
              const char* _username, bool _folderAdmin = false) {
    GUser user;
    user.type = _type;
    user.enabled = _enabled;
    user.imageUpload = _upload;
    user.firstname = _first;
    user.lastname = _last;
    user.username = _username;
    user.folderAdmin = _folderAdmin;
    return application.database.addUser(user);
  }

  // The first row of the page that holds _marker, from "<TR" to "</TR>".
  static std::string rowWith(const std::string& _page, const std::string& _marker) {
    size_t at = _page.find(_marker);
    if (at == std::string::npos) return "";
    size_t start = _page.rfind("<TR", at);
    return _page.substr(start, _page.find("</TR>", at) + 5 - start);
  }

  GUserAdminView view;
};

}  // namespace

TEST_F(GUserAdminViewTest, OnlyAdministratorsSeeAnythingOfTheModule) {
  int folderAdmin = addUser(0, true, true, "Fo", "Lder", "folder", true);
  int ordinary = addUser(0, true, true, "Or", "Dinary", "ordinary");
  struct Case {
    const char* role;
    int user;  // -1: the guest session, nobody logged in
  };
  const Case refused[] = {
      {"folder administrator", folderAdmin}, {"ordinary user", ordinary},
      {"guest account", 1}, {"nobody", -1}};
  for (const Case& c : refused) {
    if (c.user >= 0) {
      logIn(c.user);
    } else {
      session.user = GUser();
      session.id = GSession::guestId;
    }
    for (int p = 300; p <= 305; ++p) {
      EXPECT_EQ("", render(p, "5")) << c.role << " " << p;
    }
    EXPECT_EQ(nullptr, session.viewState.getObject("tab_main")) << c.role;
  }
  logIn(0);
  for (int p = 300; p <= 305; ++p) EXPECT_NE("", render(p, "5")) << p;
}

TEST_F(GUserAdminViewTest, ClaimsOnlyItsOwnPageIds) {
  logIn(0);
  for (const char* id : {"299", "306", "900", "-1", "abc"}) {
    MList params;
    params.setObject("page", id);
    Page page;
    EXPECT_FALSE(view.process_request(session, page.out, params, contentType)) << id;
    EXPECT_EQ("", page.text()) << id;
  }
}

TEST_F(GUserAdminViewTest, FrameSetPassesTheSelectionToItsFrames) {
  logIn(0);
  auto frame = [](int _page) {
    return "/?session=123456789&page=" + std::to_string(_page) + "&User.id=5&requestId=1";
  };
  const std::string expected =
      viewtest::frameSetHead + "<FRAMESET rows=\"85,90%,280\" name=\"frame_list\" border=\"0\">\n"
      "<FRAME name=\"title\" src=\"" + frame(303) +
      "\" noresize scrolling=\"no\" marginheight=\"0\" marginwidth=\"10\"></frame>\n"
      "<FRAME name=\"list\" src=\"" + frame(302) +
      "\" noresize  marginheight=\"0\" marginwidth=\"10\"></frame>\n"
      "<FRAME name=\"info\" src=\"" + frame(304) + "\" noresize></frame>\n"
      "</FRAMESET>\n</HTML>\n";
  EXPECT_EQ(expected, render(301, "5"));
  EXPECT_EQ(nullptr, session.viewState.getObject("tab_main"));

  application.requestCounter = 0;
  EXPECT_EQ(expected, render(300, "5"));
  EXPECT_EQ(300, session.viewState.getInt("tab_main"));
}

TEST_F(GUserAdminViewTest, FramesNeverCarryAnActionThatWasNotCarriedOut) {
  // A reloaded save: the dispatch recognised the repeated requestId and left the action.
  logIn(0);
  MList params;
  params.setObject("action", "7");
  params.setObject("requestId", "12");
  std::string page = render(301, "", &params);
  EXPECT_EQ(std::string::npos, page.find("action")) << page;
  EXPECT_NE(std::string::npos, page.find("src=\"/?requestId=1&session=123456789&page=304\""));
}

TEST_F(GUserAdminViewTest, TitleAndColumnHeads) {
  logIn(0);
  EXPECT_EQ(viewtest::head +
                "<BODY style=\"margin-top: 10;\">\n"
                "<TABLE><TR class=\"pageTitle\"><TD>TITLE_USER_ADMINISTRATION</TD></TR></TABLE>\n"
                "<HR>\n"
                "<TABLE width=\"100%\"><TR class=\"userTitle\">\n"
                "<TD width=\"20\"> </TD>\n"
                "<TD width=\"40%\">LABEL_NAME</TD>\n"
                "<TD width=\"30%\">User name</TD>\n"
                "<TD width=\"80\" align=\"left\">LABEL_USER_TYPE</TD>\n"
                "<TD width=\"70\" align=\"left\">LABEL_USER_NUMBER</TD>\n"
                "</TR></TABLE>\n</BODY>\n</HTML>\n",
            render(303));
}

TEST_F(GUserAdminViewTest, ListShowsEveryAccountWithItsIconNameAndType) {
  logIn(0);
  addUser(0, false, true, "Dis", "Abled", "disabled");     // 2
  addUser(1, true, true, "Ad", "Min", "second");           // 3
  addUser(0, true, true, "Only", "", "uploader");          // 4
  addUser(0, true, false, "", "", "plain");                // 5
  addUser(7, true, false, "", "Last", "odd");              // 6: no known type

  int request = 0;
  auto row = [&](int _id, bool _selected, const std::string& _icon, const std::string& _name,
                 const std::string& _username, const std::string& _type) {
    std::string id = std::to_string(_id);
    std::string list = "/?session=123456789&page=302&requestId=" + std::to_string(++request) +
                       "&User.id=" + id;
    std::string info = "/?session=123456789&page=304&requestId=" + std::to_string(++request) +
                       "&User.id=" + id;
    return "<TR class=\"userList\"" +
           std::string(_selected ? " bgColor=\"#C0C0C0\" " : " bgColor=\"#F0F0F0\" ") + hover +
           "onClick=\"mouseClick2(this,parent.list,'" + list + "',parent.info,'" + info +
           "')\">\n<TD width=\"20\" align=\"center\"><IMG src=\"/images/" + _icon +
           ".gif\"/></TD>\n<TD width=\"40%\">" + _name + "</TD>\n<TD width=\"30%\">" + _username +
           "</TD>\n<TD width=\"80\" align=\"left\">" + _type +
           "</TD>\n<TD width=\"70\" align=\"right\">" + id + "</TD>\n</TR>\n";
  };
  std::string expected = viewtest::head + "<BODY  style=\"margin-top: 0;\">\n<TABLE width=\"100%\">\n";
  expected += row(0, false, "user_admin", "Administrator, System", "admin", "TYPE_ADMINISTRATOR");
  expected += row(1, false, "user_enabled", "Guest, User", "guest", "TYPE_USER");
  expected += row(2, false, "user_disabled", "Abled, Dis", "disabled", "TYPE_USER");
  expected += row(3, false, "user_admin", "Min, Ad", "second", "TYPE_ADMINISTRATOR");
  expected += row(4, true, "user_upload", "Only", "uploader", "TYPE_USER");
  expected += row(5, false, "user_enabled", "", "plain", "TYPE_USER");
  expected += row(6, false, "user_enabled", "Last", "odd", "");
  expected += "</TABLE>\n</BODY>\n</HTML>\n";
  EXPECT_EQ(expected, render(302, "4"));

  // Without User.id the account 0 is the selected one.
  std::string page = render(302);
  EXPECT_NE(std::string::npos, rowWith(page, "User.id=0'").find("#C0C0C0"));
}

TEST_F(GUserAdminViewTest, FormOfTheAdministratorAccountInFull) {
  logIn(0);
  auto text = [](const char* _type, int _tab, const char* _name, const char* _value) {
    return std::string("<TD class=\"userValue\"><INPUT type=\"") + _type + "\" tabindex=\"" +
           std::to_string(_tab) + "\" style=\"width: 99%\" class=\"value\" name=\"" + _name +
           "\" value=\"" + _value + "\" onKeyUp=\"if (document.User." + _name + ".value != '" +
           _value + "') activateUpdateButton();\"></TD>\n";
  };
  auto choice = [](int _tab, const char* _name, int _value, const char* _no, const char* _yes) {
    return std::string("<TD class=\"userValue\"><SELECT class=\"value\" tabindex=\"") +
           std::to_string(_tab) + "\" name=\"" + _name +
           "\" onChange=\"activateUpdateButton();\">\n<OPTION " + (_value == 0 ? "selected" : "") +
           " value=\"0\">" + _no + "</OPTION>\n<OPTION " + (_value == 1 ? "selected" : "") +
           " value=\"1\">" + _yes + "</OPTION>\n</SELECT></TD>\n";
  };
  auto label = [](const char* _text) {
    return std::string("<TD class=\"userAttribute\">") + _text + "</TD>\n";
  };
  const std::string expected =
      viewtest::head + "<BODY onLoad=\"document.User.type.focus();\">\n<HR>\n"
      "<FORM name=\"User\" class=\"input\" method=\"GET\" action=\"/\">\n"
      "<INPUT name=\"session\" value=\"123456789&page=107&requestId=1&User.id=0\" type=\"hidden\">\n"
      "<TABLE width=\"100%\">\n"
      "<TR>\n" + label("LABEL_USER_TYPE") + choice(1, "type", 1, "TYPE_USER", "TYPE_ADMINISTRATOR") +
      label("LABEL_ACCOUNT_ENABLED") + choice(8, "enabled", 1, "WORD_NO", "WORD_YES") + "</TR>\n"
      "<TR>\n" + label("LABEL_LAST_NAME") + text("text", 2, "lastname", "Administrator") +
      label("LABEL_IMAGE_UPLOAD") +
      choice(9, "imageUpload", 0, "TEXT_NOT_ALLOWED", "TEXT_ALLOWED") + "</TR>\n"
      "<TR>\n" + label("LABEL_FIRST_NAME") + text("text", 3, "firstname", "System") +
      label("LABEL_IMAGE_DOWNLOAD") +
      choice(10, "imageDownload", 1, "TEXT_NOT_ALLOWED", "TEXT_ALLOWED") + "</TR>\n"
      "<TR>\n" + label("User name") + text("text", 4, "username", "admin") +
      label("LABEL_IMAGE_ACCEPT") +
      choice(11, "imageAccept", 0, "TEXT_NOT_REQUIRED", "TEXT_REQUIRED") + "</TR>\n"
      "<TR>\n" + label("Password") + text("password", 5, "password1", "") +
      label("LABEL_FOLDER_ACCEPT") +
      choice(12, "folderAccept", 0, "TEXT_NOT_REQUIRED", "TEXT_REQUIRED") + "</TR>\n"
      "<TR>\n" + label("LABEL_PASSWORD_CONFIRMATION") + text("password", 6, "password2", "") +
      label("LABEL_FOLDER_ADMINISTRATION") +
      choice(13, "folderAdmin", 1, "TEXT_NOT_ALLOWED", "TEXT_ALLOWED") + "</TR>\n"
      "<TR>\n" + label("LABEL_EMAIL_ADDRESS") + text("text", 7, "email", "") +
      label("LABEL_IMAGE_LIMIT") +
      "<TD class=\"userValue\"><INPUT type=\"text\" size=\"6\" class=\"value\" tabindex=\"14\" "
      "name=\"imageLimit\" value=\"10000\" onKeyUp=\"if (document.User.imageLimit.value != "
      "'10000') activateUpdateButton();\"></TD>\n</TR>\n"
      "</TABLE></FORM>\n<HR>\n<TABLE width=\"100%\"><TR>\n" +
      button + hover + "onClick=\"mouseClick(this,parent,'/?session=123456789&page=301"
      "&requestId=2&action=7')\">BUTTON_NEW</TD>\n" +
      updateButton + hover + "onClick=\"updateUser(this,parent,'/?session=123456789&page=301"
      "&requestId=3&action=8&User.id=0')\">BUTTON_UPDATE</TD>\n"
      "<TD> </TD>\n</TR></TABLE>\n</BODY>\n</HTML>\n";
  EXPECT_EQ(expected, render(304));
  application.requestCounter = 0;
  EXPECT_EQ(expected, render(304, "0"));
}

TEST_F(GUserAdminViewTest, WhatASaveDidNotStoreIsSaidAboveTheForm) {
  logIn(0);
  struct Case {
    const char* codes;
    std::string messages;
  };
  const std::string differ =
      "<DIV class=\"message message_refused\" role=\"status\">MESSAGE_PASSWORDS_DIFFER</DIV>\n";
  const std::string missing =
      "<DIV class=\"message message_refused\" role=\"status\">MESSAGE_PASSWORD_MISSING</DIV>\n";
  const Case cases[] = {
      {"1", differ}, {"2", missing}, {"3", differ + missing},
      {"0", ""}, {"-1", ""}, {"<b>x</b>", ""}, {"MESSAGE_LOGIN_FAILED", ""},
  };
  for (const Case& c : cases) {
    MList params;
    params.setObject("User.message", c.codes);
    std::string page = render(304, "0", &params);
    std::string top = "<BODY onLoad=\"document.User.type.focus();\">\n<HR>\n";
    size_t at = page.find(top);
    ASSERT_NE(std::string::npos, at) << c.codes;
    EXPECT_EQ(top + c.messages + "<FORM", page.substr(at, top.size() + c.messages.size() + 5))
        << c.codes;
  }
}

TEST_F(GUserAdminViewTest, FormButtonsPerAccount) {
  int second = addUser(1, true, false, "Se", "Cond", "second");
  int other = addUser(0, true, false, "Ot", "Her", "other");
  struct Case {
    int admin;
    int user;
    bool remove;  // delete button
    bool login;
  };
  const Case cases[] = {
      {0, 0, false, false},       // the administrator account
      {0, 1, false, true},        // the guest account
      {0, other, true, true},     // an ordinary account
      {0, second, true, true},    // another administrator
      {second, second, false, true},  // one's own account
      {second, 0, false, false},
  };
  for (const Case& c : cases) {
    logIn(c.admin);
    std::string id = std::to_string(c.user);
    std::string page = render(304, id.c_str());
    std::string why = std::to_string(c.admin) + " on " + id;
    EXPECT_NE(std::string::npos, page.find("action=7')\">BUTTON_NEW")) << why;
    EXPECT_NE(std::string::npos, page.find("&action=8&User.id=" + id + "')\">BUTTON_UPDATE")) << why;
    EXPECT_EQ(c.remove, page.find("onClick=\"mouseClick(this,document,'/?session=123456789&page=305"
                                  "&requestId=") != std::string::npos) << why;
    EXPECT_EQ(c.login,
              page.find("onClick=\"mouseClick(this,parent.parent.parent,'/?session=123456789"
                        "&page=1&requestId=") != std::string::npos) << why;
  }
  // The login button opens a session as the account and starts at the introduction.
  logIn(0);
  application.requestCounter = 0;
  std::string page = render(304, std::to_string(other).c_str());
  EXPECT_NE(std::string::npos,
            page.find(button + hover + "onClick=\"mouseClick(this,document,'/?session=123456789"
                      "&page=305&requestId=3&User.id=3')\">BUTTON_DELETE</TD>\n" + updateButton +
                      hover + "onClick=\"updateUser(this,parent,'/?session=123456789&page=301"
                      "&requestId=4&action=8&User.id=3')\">BUTTON_UPDATE</TD>\n<TD> </TD>\n" +
                      button + hover + "onClick=\"mouseClick(this,parent.parent.parent,"
                      "'/?session=123456789&page=1&requestId=5&action=16&User.id=3&tab_main=600')"
                      "\">Login</TD>\n</TR></TABLE>\n"));
}

TEST_F(GUserAdminViewTest, UnknownAccountGivesAnEmptyFormAndOnlyTheNewButton) {
  logIn(0);
  for (const char* id : {"77", "-3", "x"}) {
    std::string page = render(304, id);
    EXPECT_NE(std::string::npos, page.find("name=\"username\" value=\"\"")) << id;
    EXPECT_NE(std::string::npos,
              page.find("BUTTON_NEW</TD>\n<TD> </TD>\n</TR></TABLE>\n</BODY>\n</HTML>\n"))
        << id;
    EXPECT_EQ(std::string::npos, page.find("BUTTON_UPDATE")) << id;
  }
}

TEST_F(GUserAdminViewTest, DeleteQuestionInFull) {
  logIn(0);
  int id = addUser(0, true, false, "Jo", "Doe", "jdoe");
  EXPECT_EQ(viewtest::head +
                "<BODY>\n<HR>\n<TABLE><TR class=\"dialogTitle\"><TD>TITLE_DELETE_USER</TD></TR>"
                "</TABLE>\n<HR>\n<P class=\"dialogText\">QUESTION_DELETE_USER ( Jo Doe )?</P>"
                "<HR>\n<TABLE width=\"100%\"><TR>\n" +
                button + hover + "onClick=\"mouseClick(this,parent,'/?session=123456789&page=301"
                "&requestId=1&action=10&User.id=2')\">BUTTON_YES</TD>\n" +
                button + hover + "onClick=\"mouseClick(this,parent,'/?session=123456789&page=301"
                "&requestId=2&User.id=2')\">BUTTON_NO</TD>\n<TD> </TD>\n</TR></TABLE>\n"
                "</BODY>\n</HTML>\n",
            render(305, std::to_string(id).c_str()));
  // An account that is not there: an empty page without buttons.
  EXPECT_EQ(viewtest::head + "<BODY>\n</BODY>\n</HTML>\n", render(305, "42"));
}

TEST_F(GUserAdminViewTest, NoDeleteQuestionForProtectedAccounts) {
  int second = addUser(1, true, false, "Se", "Cond", "second");
  logIn(second);
  std::string own = std::to_string(second);
  for (const char* id : {"", "0", "1", own.c_str()}) {
    EXPECT_EQ("", render(305, id)) << id;
  }
}

TEST_F(GUserAdminViewTest, HostileAccountValuesAreEscapedEverywhere) {
  logIn(0);
  GUser user;
  user.enabled = true;
  user.username = "<script>x</script>";
  user.firstname = "a\"b";
  user.lastname = "O'Neil & Co";
  user.password = "p'w\\\"";
  user.email = "e@x\nalert(1)";
  int id = application.database.addUser(user);
  std::string sid = std::to_string(id);

  std::string list = render(302, sid.c_str());
  EXPECT_NE(std::string::npos, list.find("<TD width=\"40%\">O&#39;Neil &amp; Co, a&quot;b</TD>\n"
                                         "<TD width=\"30%\">&lt;script&gt;x&lt;/script&gt;</TD>"));

  std::string form = render(304, sid.c_str());
  EXPECT_NE(std::string::npos,
            form.find("name=\"lastname\" value=\"O&#39;Neil &amp; Co\" onKeyUp=\"if "
                      "(document.User.lastname.value != 'O\\&#39;Neil &amp; Co') "));
  EXPECT_NE(std::string::npos,
            form.find("name=\"firstname\" value=\"a&quot;b\" onKeyUp=\"if "
                      "(document.User.firstname.value != 'a\\&quot;b') "));
  // The stored password is not shown at all, escaped or not.
  EXPECT_EQ(std::string::npos, form.find("p&#39;w"));
  EXPECT_NE(std::string::npos, form.find("name=\"password1\" value=\"\" onKeyUp="));
  EXPECT_NE(std::string::npos,
            form.find("value=\"e@x\nalert(1)\" onKeyUp=\"if (document.User.email.value != "
                      "'e@x\\x0Aalert(1)') "));
  EXPECT_EQ(std::string::npos, form.find("<script>"));

  std::string question = render(305, sid.c_str());
  EXPECT_NE(std::string::npos, question.find("( a&quot;b O&#39;Neil &amp; Co )?</P>"));
}

TEST_F(GUserAdminViewTest, SessionIdentifierIsEncodedInHandBuiltUrls) {
  logIn(0);
  session.id = "1&page=0";
  std::string page = render(304, "1");
  EXPECT_NE(std::string::npos, page.find("value=\"1%26page%3D0&page=107&"));
  EXPECT_NE(std::string::npos, page.find("'/?session=1%26page%3D0&page=301&requestId="));
  EXPECT_EQ(std::string::npos, page.find("session=1&page=0"));
}
