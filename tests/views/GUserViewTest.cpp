#include <gtest/gtest.h>

#include <string>

#include "tests/views/ImageViewTestSupport.h"
#include "views/GUserView.h"

using imagetest::contains;
using imagetest::countOf;
using imagetest::Params;
using imagetest::singlePageBar;
using viewtest::head;
using viewtest::hover;

namespace {

const std::string S = "123456789";

class GUserViewTest : public imagetest::ImageViewTest {
 protected:
  std::string render(int _page, const Params& _params = {}) {
    return ImageViewTest::render(view, _page, _params);
  }

  // A user with the upload right and the given image limit, logged in.
  int logInUploader(int _limit = 100, const char* _first = "Ann", const char* _last = "Lee") {
    int id = addUser(0, true, _first, _last);
    GUser user;
    db().getUser(id, user);
    user.imageLimit = _limit;
    user.password = "se'cret";
    user.email = "ann@example.org";
    db().updateUser(id, user);
    logIn(id);
    return id;
  }

  GUserView view;
};

std::string uploadForm(const std::string& _action, int _user) {
  return "<FORM name=\"imageForm\" method=\"POST\" enctype=\"multipart/form-data\" action=\"" + _action +
         "\" data-grid=\"/?session=" + S + "&page=110&pagenum=1\" data-text-stored=\"LABEL_UPLOAD_STORED\""
         " data-text-waiting=\"LABEL_UPLOAD_WAITING\" data-text-refused=\"LABEL_UPLOAD_REFUSED\""
         " data-text-failed=\"MESSAGE_UPLOAD_FAILED\">\n<INPUT type=\"hidden\" name=\"Image.user\" value=\"" + std::to_string(_user) +
         "\">\n<INPUT class=\"browseButton\" type=\"file\" name=\"Image.file\" size=\"80\"></TD>\n"
         "<INPUT class=\"uploadButton\" type=\"submit\" value=\"BUTTON_UPLOAD\" name=\"add_image\">\n"
         "</FORM>\n";
}

}  // namespace

TEST_F(GUserViewTest, FrameSetInFull) {
  logInUploader();
  EXPECT_EQ(viewtest::frameSetHead + "<FRAMESET rows=\"105,90%\" name=\"100\" border=\"0\">\n"
            "<FRAME name=\"menu\" src=\"/?session=" + S + "&page=106&requestId=1\" noresize scrolling=\"no\"></frame>\n"
            "<FRAME name=\"area\" src=\"/?session=" + S + "&page=107&requestId=2\" noresize></frame>\n"
            "</FRAMESET>\n</HTML>\n",
            render(100));
  EXPECT_EQ(100, session.viewState.getInt("tab_main"));
  EXPECT_EQ(107, session.viewState.getInt("UserView.tab"));
  session.viewState.setObject("UserView.tab", 109);
  EXPECT_TRUE(contains(render(100), "&page=109&requestId=4\" noresize></frame>"));
}

TEST_F(GUserViewTest, NobodyAndTheGuestAccountGetEmptyPages) {
  int image = addImage(0, 1);
  std::string id = std::to_string(image);
  for (int user : {-1, 1}) {
    if (user < 0) {
      session.user = GUser();
    } else {
      logIn(user);
    }
    for (int page : {100, 106, 107, 108, 109, 110, 111}) {
      EXPECT_EQ("", render(page, {{"Image.id", id.c_str()}})) << user << " " << page;
    }
    // The module is still the one chosen in the main menu.
    EXPECT_EQ(100, session.viewState.getInt("tab_main"));
  }
}

TEST_F(GUserViewTest, MenuInFull) {
  logInUploader();
  EXPECT_EQ(head + "<BODY class=\"tab\">\n<TABLE><TR class=\"pageTitle\"><TD>Lee, Ann</TD></TR></TABLE>\n"
                   "<HR>\n<TABLE>\n<TR height=\"25\">\n<TD class=\"tabSelected\">\nTAB_USER_INFORMATION</TD>\n"
                   "<TD class=\"tab\" bgColor=\"#C0C0C0\"" + hover +
                "onClick=\"mouseClick2(this,parent.area,'/?session=" + S + "&page=109&requestId=1',document,"
                "'/?session=" + S + "&page=106&UserView.tab=109&requestId=2')\">TAB_IMAGES</TD>\n"
                "<TD class=\"tab\" bgColor=\"#C0C0C0\"" + hover +
                "onClick=\"mouseClick2(this,parent.area,'/?session=" + S + "&page=1200&requestId=3',document,"
                "'/?session=" + S + "&page=106&UserView.tab=1200&requestId=4')\">TAB_MY_LINKS</TD>\n"
                "</TR>\n</TABLE>\n<HR>\n</BODY>\n</HTML>\n",
            render(106));
  std::string page = render(106, {{"UserView.tab", "109"}});
  EXPECT_TRUE(contains(page, "<TD class=\"tabSelected\">\nTAB_IMAGES</TD>\n"));
  EXPECT_EQ(109, session.viewState.getInt("UserView.tab"));
  // Anything else is the account tab.
  render(106, {{"UserView.tab", "111"}});
  EXPECT_EQ(107, session.viewState.getInt("UserView.tab"));
}

TEST_F(GUserViewTest, TabsAndTitlePerUser) {
  struct Case {
    int type;
    bool upload;
    const char* first;
    const char* last;
    const char* title;
    bool imagesTab;
  };
  const Case cases[] = {
      {0, false, "Ann", "Lee", "Lee, Ann", false},
      {1, true, "Ann", "Lee", "Lee, Ann", false},
      {0, true, "", "Lee", "Lee", true},
      {0, true, "Ann", "", "Ann", true},
      {0, true, "<b>A&B</b>", "O'Neil", "O&#39;Neil, &lt;b&gt;A&amp;B&lt;/b&gt;", true},
  };
  for (const Case& c : cases) {
    logIn(addUser(c.type, c.upload, c.first, c.last));
    // Even a remembered images tab shows the account to a user without images.
    session.viewState.setObject("UserView.tab", 109);
    std::string page = render(106);
    SCOPED_TRACE(c.title);
    EXPECT_TRUE(contains(page, std::string("<TR class=\"pageTitle\"><TD>") + c.title + "</TD></TR>"));
    EXPECT_EQ(c.imagesTab, contains(page, "TAB_IMAGES"));
    EXPECT_EQ(c.imagesTab, contains(render(100), "&page=109&"));
  }
}

TEST_F(GUserViewTest, AccountFormInFull) {
  int id = logInUploader();
  auto input = [](const char* _label, const char* _type, const char* _field, const char* _gap,
                  const std::string& _value, const std::string& _script) {
    return std::string("<TD class=\"userAttribute\">") + _label + "</TD>\n"
           "<TD class=\"userValue\"><INPUT type=\"" + _type + "\" style=\"width: 99%\" class=\"value\" name=\"" +
           _field + "\" value=\"" + _value + "\"" + _gap + "onKeyUp=\"if (document.User." + _field +
           ".value != '" + _script + "') activateUpdateButton();\"></TD>\n";
  };
  // The session's copy is stale; the form shows the stored account.
  session.user.lastname = "Old";
  EXPECT_EQ(head + "<BODY bgcolor=white style=\"font-family: Arial;\" onLoad=\"document.User.lastname.focus();\">\n"
                   "<FORM name=\"User\" class=\"input\">\n<TABLE width=\"100%\">\n<TR>\n" +
                input("LABEL_LAST_NAME", "text", "lastname", "  ", "Lee", "Lee") + "</TR>\n<TR>\n" +
                input("LABEL_FIRST_NAME", "text", "firstname", " ", "Ann", "Ann") + "</TR>\n<TR>\n"
                "<TD class=\"userAttribute\">User name</TD>\n<TD class=\"userValue\"><INPUT type=\"text\" readonly "
                "style=\"width: 99%\" class=\"value\" name=\"username\" value=\"user1\"></TD>\n</TR>\n<TR>\n" +
                input("Password", "password", "password1", " ", "", "") + "</TR>\n<TR>\n" +
                input("LABEL_PASSWORD_CONFIRMATION", "password", "password2", " ", "", "") +
                "</TR>\n<TR>\n" +
                input("LABEL_EMAIL_ADDRESS", "text", "email", " ", "ann@example.org", "ann@example.org") +
                "</TR>\n<TR>\n<TD class=\"userAttribute\">LABEL_IMAGE_LIMIT</TD>\n<TD class=\"userValue\">100</TD>\n"
                "</TR>\n</TABLE></FORM>\n<HR>\n"
                "<TABLE><TR><TD id=\"updateButton\" bgColor=\"#FEFEFE\" class=\"pageButton\" bgColor=\"#808080\" " +
                hover + "onClick=\"updateUser2(this,document,'/?session=" + S + "&page=107&requestId=1&action=9"
                "&User.id=" + std::to_string(id) + "')\">BUTTON_UPDATE</TD>\n</TR></TABLE>\n</BODY>\n</HTML>\n",
            render(107));

  // What a save did not store stands above the form.
  EXPECT_TRUE(contains(render(107, {{"User.message", "1"}}),
                       "focus();\">\n<DIV class=\"message message_refused\" role=\"status\">MESSAGE_PASSWORDS_DIFFER</DIV>\n"
                       "<FORM name=\"User\""));

  // Without the upload right there is no image limit to show.
  logIn(addUser(0, false));
  EXPECT_FALSE(contains(render(107), "LABEL_IMAGE_LIMIT"));
  // An account that no longer exists shows nothing.
  session.user.id = 77;
  EXPECT_EQ("", render(107));
}

TEST_F(GUserViewTest, AccountFormEscapesEveryField) {
  int id = addUser(0, false, "<script>x</script>", "\"Lee\" & 'Co'");
  GUser user;
  db().getUser(id, user);
  user.email = "a\\b<c>";
  db().updateUser(id, user);
  logIn(id);
  std::string page = render(107);
  EXPECT_TRUE(contains(page, "name=\"lastname\" value=\"&quot;Lee&quot; &amp; &#39;Co&#39;\"  onKeyUp=\"if "
                             "(document.User.lastname.value != '\\&quot;Lee\\&quot; &amp; \\&#39;Co\\&#39;')"));
  EXPECT_TRUE(contains(page, "value=\"&lt;script&gt;x&lt;/script&gt;\" onKeyUp"));
  EXPECT_TRUE(contains(page, "value=\"a\\b&lt;c&gt;\" onKeyUp=\"if (document.User.email.value != "
                             "'a\\\\b&lt;c&gt;')"));
  EXPECT_FALSE(contains(page, "<script>"));
}

TEST_F(GUserViewTest, OwnImageDetailPageInFull) {
  int id = logInUploader();
  int image = addImage(id, 1);
  std::string s = "/?session=" + S;
  std::string i = std::to_string(image);
  auto value = [](const char* _label, const std::string& _value) {
    return std::string("<TR><TD class=\"imageAttribute\">") + _label + "</TD><TD class=\"imageValue\">" +
           _value + "</TD></TR>\n";
  };
  auto input = [](const char* _label, const char* _attribute, const char* _field, const char* _value) {
    return std::string("<TR><TD class=\"imageAttribute\">") + _label + "</TD>\n"
           "<TD class=\"imageValue\"><INPUT class=\"value\" " + _attribute + " type=\"text\" name=\"" + _field +
           "\" value=\"" + _value + "\" onKeyUp=\"if (document.Image." + _field + ".value != '" + _value +
           "') activateUpdateButton();\"></TD></TR>\n";
  };
  auto area = [](const char* _label, const char* _field, int _rows, const char* _value) {
    return std::string("<TR><TD class=\"imageAttribute\">") + _label + "</TD>\n"
           "<TD class=\"imageValue\"><TEXTAREA class=\"value\" name=\"" + _field + "\" style=\"width: 100%;\" rows=\"" +
           std::to_string(_rows) + "\" onKeyUp=\"if (document.Image." + _field + ".value != '" + _value +
           "') activateUpdateButton();\">" + _value + "</TEXTAREA></TD></TR>\n";
  };
  std::string buttons =
      "<TD class=\"pageNum\" bgColor=\"#E0E0E0\" " + hover + "onClick=\"mouseClick(this,document,'" + s +
      "&page=110&pagenum=1&requestId=1')\"><IMG src=\"/images/multiview.gif\"></TD><TD width=\"20\"></TD>\n"
      "<TD class=\"pageButton\" " + hover + " bgColor=\"#FEFEFE\" id=\"updateButton\" onClick=\"updateImage(this,"
      "document,'" + s + "&page=108&requestId=2&action=13&pagenum=1&Image.id=" + i + "')\">BUTTON_UPDATE</TD>\n";
  EXPECT_EQ(head + "<BODY onLoad=\"document.Image.imageDate.focus();\">\n"
                   "<FORM name=\"Image\" class=\"input\"><TABLE width=\"100%\" cellspacing=\"8\"><TR>\n"
                   "<TD width=\"10%\" align=\"center\" onClick=\"openImageWindow('" + s + "&page=601&Image.id=" + i +
                "&list=108&pagenum=1');\"><IMG src=\"" + s + "&page=604&Image.id=" + i + "\" height=\"240\"></TD>\n"
                "<TD valign=\"top\"><TABLE width=\"100%\">\n" +
                value("LABEL_IMAGE_NUMBER", i) + value("LABEL_IMAGE_SIZE", "640 x 480 / 12345 bytes") +
                input("LABEL_IMAGE_DATE", "size=\"10\"", "imageDate", "2004-05-06") +
                input("LABEL_IMAGE_NAME", "style=\"width: 100%;\"", "name", "Sea") +
                area("LABEL_IMAGE_KEYWORDS", "keywords", 3, "sea sun") +
                area("LABEL_IMAGE_DESCRIPTION", "description", 5, "At the sea") +
                "</TABLE></TD>\n</TR></TABLE></FORM><HR>\n" + singlePageBar(false, buttons) + "<HR>\n" +
                "<P><A href=\"" + s + "&amp;page=1201&amp;Link.kind=1&amp;Link.target=" + i +
                "\" target=\"_blank\" rel=\"noopener\" class=\"shareEntry\" id=\"shareEntry\">BUTTON_SHARE</A></P>\n" +
                uploadForm(s + "&page=108&requestId=4&action=11&pagenum=1", id) + "</BODY>\n</HTML>\n",
            render(108, {{"pagenum", "1"}}));
}

TEST_F(GUserViewTest, UploadFormOnlyBelowTheLimit) {
  struct Case {
    bool upload;
    int limit;
    int images;
    bool form;
  };
  const Case cases[] = {
      {true, 0, 0, false}, {true, 2, 1, true}, {true, 2, 2, false}, {true, 2, 3, false},
      {false, 100, 0, false}, {false, 100, 1, false},
  };
  for (const Case& c : cases) {
    int id = logInUploader(c.limit);
    session.user.imageUpload = c.upload;
    for (int i = 0; i < c.images; ++i) addImage(id, 1);
    SCOPED_TRACE(std::to_string(c.limit) + " " + std::to_string(c.images) + (c.upload ? " upload" : ""));
    std::string grid = render(110);
    EXPECT_EQ(c.form, contains(grid, "<FORM name=\"imageForm\""));
    if (c.form) {
      EXPECT_TRUE(contains(grid, "<HR>\n" + uploadForm("/?session=" + S + "&page=108&requestId=" +
                                                           std::to_string(application.requestCounter) +
                                                           "&action=11&pagenum=1&User.id=" + std::to_string(id),
                                                       id) + "</BODY>\n</HTML>\n"));
    }
    EXPECT_EQ(c.form, contains(render(108), "<FORM name=\"imageForm\""));
  }
}

TEST_F(GUserViewTest, OwnImageButtonsInTheOwnersAndInAnAdministratorsSession) {
  struct Case {
    int status;
    bool administrator;
    std::string cells;
  };
  auto button = [](const char* _target, const std::string& _url, const char* _text) {
    return "<TD class=\"imageButton\" bgColor=\"#808080\"" + hover + "onClick=\"mouseClick(this," + _target +
           ",'/?session=" + S + "&page=" + _url + "')\">" + _text + "</TD>\n";
  };
  auto del = [&](int _request) {
    return button("parent", "111&requestId=" + std::to_string(_request) + "&Image.id=0", "BUTTON_DELETE");
  };
  // Decided in the background, the tile keeping its place.
  auto decide = [&](int _request, int _action, const char* _text) {
    bool accept = _action == 14;
    return std::string("<TD class=\"") + (accept ? "acceptButton" : "denyButton") +
           "\" bgColor=\"#808080\"" + hover + "onClick=\"decide(this,'/?session=" + S +
           "&page=109&requestId=" + std::to_string(_request) + "&action=" + std::to_string(_action) +
           "&pagenum=1&User.id=2&Image.id=0','" + (accept ? "_accepted" : "_denied") + "')\">" + _text +
           "</TD>\n";
  };
  const Case cases[] = {
      {0, false, del(1) + "<TD class=\"imageStatusbar_wait\" bgColor=\"#C0C0C0\"></TD>\n"},
      {1, false, del(1) + "<TD class=\"imageStatusbar_accepted\" bgColor=\"#C0C0C0\"></TD>\n"},
      {2, false, del(1) + "<TD class=\"imageStatusbar_denied\" bgColor=\"#C0C0C0\"></TD>\n"},
      {0, true, decide(1, 14, "BUTTON_ACCEPT") + decide(2, 15, "BUTTON_DENY")},
      {1, true, decide(1, 15, "BUTTON_DENY") + del(2)},
      {2, true, decide(1, 14, "BUTTON_ACCEPT") + del(2)},
  };
  int id = logInUploader();
  ASSERT_EQ(2, id);
  int image = addImage(id, 0);
  ASSERT_EQ(0, image);
  for (const Case& c : cases) {
    GImage stored;
    db().getImage(image, stored);
    stored.status = (GImageStatus)c.status;
    db().updateImage(image, stored);
    session.returnSessionId = c.administrator ? "987654321" : "";
    application.requestCounter = 0;
    std::string page = render(110);
    SCOPED_TRACE(std::to_string(c.status) + (c.administrator ? " administrator" : ""));
    const char* labels[] = {"LABEL_WAIT", "LABEL_ACCEPTED", "LABEL_DENIED"};
    EXPECT_TRUE(contains(page, std::string("<TD class=\"imageTitle") + GImageMember::statusSuffix(c.status) +
                                   "\" colspan=\"2\">" + labels[c.status] + "</TD>\n"));
    EXPECT_TRUE(contains(page, "</TR><TR>" + c.cells + "</TR></TABLE></TD>\n"));
  }
}

TEST_F(GUserViewTest, OwnImagesNewestFirstAndTheSelector) {
  int id = logInUploader();
  for (int i = 0; i < 3; ++i) addImage(id, 1);
  addImage(addUser(0, true), 1);  // somebody else's
  std::string page = render(109);
  EXPECT_EQ(3u, countOf(page, "<TD class=\"imageTitle_accepted\""));
  EXPECT_TRUE(contains(page, "&page=108&pagenum=1&Image.id=2'"));
  EXPECT_TRUE(contains(page, "&page=108&pagenum=3&Image.id=0'"));
  render(108, {{"pagenum", "3"}});
  EXPECT_EQ(0, session.viewState.getInt("UserView.image"));
  EXPECT_TRUE(contains(render(109), "<FORM name=\"Image\""));
  render(110);
  EXPECT_FALSE(contains(render(109), "<FORM name=\"Image\""));
}

TEST_F(GUserViewTest, DeleteQuestionInFull) {
  int id = logInUploader();
  int image = addImage(id, 1);
  std::string s = "/?session=" + S;
  std::string i = std::to_string(image);
  auto button = [&](const std::string& _url, const char* _text) {
    return "<TD bgColor=\"#808080\" class=\"pageButton\" bgColor=\"#808080\" " + hover +
           "onClick=\"mouseClick(this,document,'" + s + _url + "')\">" + _text + "</TD>\n";
  };
  EXPECT_EQ(head + "<BODY>\n<TABLE><TR class=\"dialogTitle\"><TD>TITLE_DELETE_IMAGE</TD></TR></TABLE>\n<HR>\n"
                   "<TABLE><TR>\n<TD onClick=\"openImageWindow('" + s + "&page=601&Image.id=" + i +
                "');\"><IMG src=\"" + s + "&page=604&Image.id=" + i + "\" height=\"240\"></TD>\n"
                "</TR></TABLE>\n<HR>\n<P class=\"dialogText\">QUESTION_DELETE_IMAGE?</P><HR>\n<TABLE><TR>\n" +
                button("&page=100&requestId=1&action=12&Image.id=" + i, "BUTTON_YES") +
                button("&page=100&requestId=2&Image.id=" + i, "BUTTON_NO") +
                "<TD> </TD>\n</TR></TABLE>\n</BODY>\n</HTML>\n",
            render(111, {{"Image.id", i.c_str()}}));
  // An image that cannot be read: the head and an empty body; without an image: nothing.
  for (const char* bad : {"77", "-1", "abc", "99999999999"}) {
    EXPECT_EQ(head + "<BODY>\n</BODY>\n</HTML>\n", render(111, {{"Image.id", bad}})) << bad;
  }
  EXPECT_EQ("", render(111));
}
