#include <gtest/gtest.h>

#include <string>

#include "tests/webapp/ActionTestSupport.h"
#include "webapp/GActions.h"

using webtest::Exchange;

namespace {

class GActionsTest : public webtest::ActionTest {};

}  // namespace

TEST_F(GActionsTest, AnActionRunsOncePerRequestId) {
  std::string admin = logIn("admin", "tarbo");
  int before = folderCount();
  Exchange first;
  get(first, "/act?session=" + admin + "&action=0&requestId=500&Folder.parent=0&Folder.name=A", cookieOf(admin));
  EXPECT_EQ(before + 1, folderCount());
  EXPECT_EQ("<none>", param(first, "action"));
  EXPECT_EQ("<none>", param(first, "requestId"));
  EXPECT_EQ(500, session(admin)->lastRequestId);

  // The same URL again (a reload): nothing is carried out, the parameters stay.
  Exchange again;
  get(again, "/act?session=" + admin + "&action=0&requestId=500&Folder.parent=0&Folder.name=A", cookieOf(admin));
  EXPECT_EQ(before + 1, folderCount());
  EXPECT_EQ("0", param(again, "action"));
  EXPECT_EQ("500", param(again, "requestId"));

  // Without requestId the first runs (-1 differs from 500), the second repeats it.
  Exchange noId;
  get(noId, "/act?session=" + admin + "&action=0&Folder.parent=0&Folder.name=B", cookieOf(admin));
  EXPECT_EQ(before + 2, folderCount());
  EXPECT_EQ(-1, session(admin)->lastRequestId);
  Exchange noIdAgain;
  get(noIdAgain, "/act?session=" + admin + "&action=0&Folder.parent=0&Folder.name=B", cookieOf(admin));
  EXPECT_EQ(before + 2, folderCount());
}

// A frame reloaded after later actions asks for its older action again: it is not carried
// out a second time.
TEST_F(GActionsTest, AnOlderActionIsNotCarriedOutAgainAfterLaterOnes) {
  std::string admin = logIn("admin", "tarbo");
  int before = folderCount();
  const std::string older = "/act?session=" + admin + "&action=0&requestId=600&Folder.parent=0&Folder.name=C";
  Exchange first;
  get(first, older, cookieOf(admin));
  Exchange later;
  get(later, "/act?session=" + admin + "&action=0&requestId=601&Folder.parent=0&Folder.name=D", cookieOf(admin));
  EXPECT_EQ(before + 2, folderCount());
  Exchange reload;
  get(reload, older, cookieOf(admin));
  EXPECT_EQ(before + 2, folderCount());
  EXPECT_EQ("600", param(reload, "requestId"));
}

TEST_F(GActionsTest, ActionNumbersThatNameNoAction) {
  std::string admin = logIn("admin", "tarbo");
  struct Case {
    const char* action;
    bool frameRuns;  // the requestId is taken and the parameters removed
  };
  const Case cases[] = {
      {"20", true}, {"-5", true}, {"2147483647", true},
      {"-1", false}, {"abc", false}, {"99999999999", false},
  };
  for (const Case& c : cases) {
    MList all;
    int users = db().getUsers(all);
    int folders = folderCount();
    int last = session(admin)->lastRequestId;
    Exchange e;
    act(e, admin, std::string("action=") + c.action);
    EXPECT_EQ(c.frameRuns, session(admin)->lastRequestId != last) << c.action;
    EXPECT_EQ(c.frameRuns, param(e, "action") == "<none>") << c.action;
    EXPECT_EQ(users, db().getUsers(all)) << c.action;
    EXPECT_EQ(folders, folderCount()) << c.action;
  }
}

TEST_F(GActionsTest, OnlyRequestsNamingTheirSessionAct) {
  std::string admin = logIn("admin", "tarbo");
  MList all;
  int users = db().getUsers(all);
  Exchange byClient;
  get(byClient, "/act?action=7&requestId=901");
  Exchange byCookie;
  get(byCookie, "/act?action=7&requestId=902", cookieOf(admin), 40050);
  EXPECT_EQ(users, db().getUsers(all));
  // The identifier alone, as copied out of an address or a log, is no session.
  Exchange byIdentifier;
  get(byIdentifier, "/act?session=" + admin + "&action=7&requestId=903", "", 40051);
  EXPECT_EQ(users, db().getUsers(all));
  Exchange named;
  get(named, "/act?session=" + admin + "&action=7&requestId=904", cookieOf(admin));
  EXPECT_EQ(users + 1, db().getUsers(all));
}

TEST_F(GActionsTest, OpenAsUserThenLogOutBackToTheAdministrator) {
  int owner = addUserWith("olga");
  std::string admin = logIn("admin", "tarbo");
  session(admin)->language = "fra";
  session(admin)->viewState.setObject("tab_main", 300);

  Exchange open;
  get(open, "/?session=" + admin + "&page=1&requestId=10&action=16&User.id=" +
                std::to_string(owner), cookieOf(admin));
  std::string opened = param(open, "session");
  ASSERT_NE(admin, opened);
  GSession* as = session(opened);
  ASSERT_NE(nullptr, as);
  EXPECT_EQ(owner, as->user.id);
  EXPECT_EQ(admin, as->returnSessionId.getValue());
  EXPECT_STREQ("fra", as->language.getValue());
  EXPECT_EQ(0, as->viewState.getLength());
  EXPECT_EQ("<none>", param(open, "username"));
  EXPECT_EQ("<none>", param(open, "password"));
  // The request went on in the opened session: its frame set links carry it.
  EXPECT_NE(std::string::npos, open.body().find("session=" + opened));

  // The opened session has no cookie of its own: the administrator's counts for it, and
  // nothing else does.
  EXPECT_EQ(0, as->cookieSecret.getLength());
  Exchange stranger;
  get(stranger, "/?session=" + opened + "&page=1&action=17&requestId=12", "", 40060);
  EXPECT_NE(nullptr, session(opened));
  EXPECT_EQ(std::string::npos, stranger.body().find("session=" + admin));

  // Log out in the opened session: back to the administrator's own session, in the user
  // administration module.
  Exchange out;
  get(out, "/?session=" + opened + "&page=1&action=17&requestId=11", cookieOf(admin));
  EXPECT_EQ(admin, param(out, "session"));
  EXPECT_EQ("300", param(out, "tab_main"));
  std::string body = out.body();
  EXPECT_NE(std::string::npos, body.find("name=\"main_frame\""));
  EXPECT_NE(std::string::npos, body.find("tab_main=300"));
  EXPECT_NE(std::string::npos, body.find("session=" + admin));
  EXPECT_EQ(std::string::npos, body.find("session=" + opened));
  // The opened session has ended; the administrator is still logged in, and the browser
  // keeps the administrator's cookie.
  EXPECT_EQ(nullptr, session(opened));
  EXPECT_EQ(0, session(admin)->user.id);
  EXPECT_EQ("<none>", out.header("Set-Cookie"));
}

// The page after the log-out of a session opened as another user carries the
// administrator's identifier: only the administrator's browser gets it, whatever let the
// request in.
TEST_F(GActionsTest, ALogOutReturnsToTheAdministratorOnlyWithTheAdministratorsCookie) {
  int owner = addUserWith("olga");
  std::string admin = logIn("admin", "tarbo");
  GActions actions(servlet.getSessions());
  struct Case {
    std::string cookie;
    std::string back;
  };
  const Case cases[] = {
      {cookieOf(admin), admin},
      {"", "5072913846"},
      {"vistrel_session=" + admin, "5072913846"},  // the identifier is not the cookie
  };
  for (const Case& c : cases) {
    GSession* opened = servlet.getSessions().openAs(*session(admin), user(owner), servlet.now);
    MHttpRequest request;
    request.params.setObject("action", "17");
    request.params.setObject("requestId", "5");
    if (!c.cookie.empty()) request.headers.setObject("Cookie", c.cookie.c_str());
    actions.process(*opened, request, servlet.now);
    EXPECT_EQ(c.back, GView::paramText(request.params, "session").getValue()) << c.cookie;
    EXPECT_TRUE(opened->loggedOut);
  }
}

TEST_F(GActionsTest, OpeningASessionIsForAdministratorsAndExistingUsersOnly) {
  int owner = addUserWith("olga");
  int otherAdmin = addUserWith("root2", true, true, false, 1);
  std::string admin = logIn("admin", "tarbo");
  std::string plain = logIn("olga", "pw", 40001);
  struct Case {
    std::string session;
    std::string userId;
    bool opens;
  };
  const Case cases[] = {
      {plain, std::to_string(owner), false},  // not an administrator
      {admin, "0", false},                    // never as the administrator account
      {admin, "77", false},                   // no such user
      {admin, "-3", false},
      {admin, "", false},                     // reads as 0
      {admin, "4294967296", false},           // no number that fits
      {admin, std::to_string(otherAdmin), true},
      {admin, "1", true},                     // the guest account
  };
  for (const Case& c : cases) {
    int before = servlet.getSessions().getLength();
    Exchange e;
    act(e, c.session, "action=16&User.id=" + c.userId);
    EXPECT_EQ(before + (c.opens ? 1 : 0), servlet.getSessions().getLength()) << c.userId;
    EXPECT_EQ(c.opens, param(e, "session") != c.session) << c.userId;
    EXPECT_EQ("<none>", param(e, "username")) << c.userId;
    EXPECT_EQ("<none>", param(e, "password")) << c.userId;
  }
}

TEST_F(GActionsTest, LogOutOfAnOrdinarySessionEndsIt) {
  addUserWith("olga");
  int before = servlet.getSessions().getLength();
  std::string id = logIn("olga", "pw");
  Exchange e;
  get(e, "/?session=" + id + "&page=1&action=17&requestId=3", cookieOf(id));
  EXPECT_EQ("600", param(e, "tab_main"));
  EXPECT_EQ("5072913846", param(e, "session"));
  EXPECT_EQ(nullptr, session(id));
  EXPECT_EQ(before, servlet.getSessions().getLength());
  EXPECT_EQ("vistrel_session=; Path=/; HttpOnly; SameSite=Lax; Max-Age=0", e.header("Set-Cookie"));
  // The page is the guest's login page, and so is every later one of that identifier.
  EXPECT_NE(std::string::npos, e.body().find("<BODY class=\"login\""));
  EXPECT_NE(std::string::npos, e.body().find("MESSAGE_LOGGED_OUT"));
  // A page of that identifier replaces the whole window with the login page.
  Exchange later;
  get(later, "/?session=" + id + "&page=3", cookieOf(id));
  EXPECT_EQ("<HTML><BODY onLoad=\"top.location.replace('/?login=loggedout');\"></BODY></HTML>\n",
            later.body());
  // The guest session itself has nobody to log out and stays.
  Exchange guest;
  get(guest, "/?session=5072913846&page=1&action=17&requestId=4");
  EXPECT_NE(nullptr, session("5072913846"));
  EXPECT_EQ("<none>", guest.header("Set-Cookie"));
}

TEST_F(GActionsTest, LoggingInAndOutAgainAndAgainLeavesNoSessionsBehind) {
  addUserWith("olga");
  int before = servlet.getSessions().getLength();
  for (int i = 0; i < 2000; ++i) {
    // A second apart, within the login's check rate.
    servlet.now += 1;
    std::string id = logIn("olga", "pw");
    ASSERT_EQ((size_t)GSessionManagement::idLength, id.size()) << i;
    Exchange e;
    get(e, "/?session=" + id + "&page=1&action=17&requestId=" + std::to_string(100 + i),
        cookieOf(id));
  }
  EXPECT_EQ(before, servlet.getSessions().getLength());
}

TEST_F(GActionsTest, SearchKeepsTheWordsAndLooksUpLowerCase) {
  int owner = addUserWith("olga");
  int seaSun = addImage(owner, "Sea and SUN at dawn");
  addImage(owner, "sea only");
  int waiting = addImage(owner, "sea sun", GIMAGE_WAITING);
  (void)waiting;
  std::string id = logIn("olga", "pw");
  GSession* s = session(id);
  s->viewState.setObject("SearchView.page", 3);
  s->viewState.setObject("SearchView.image", 7);

  Exchange e;
  act(e, id, "action=18&Search.words=Sea+Sun");
  EXPECT_EQ("Sea Sun", param(e, "Search.words"));
  EXPECT_STREQ("Sea Sun", GView::paramText(s->viewState, "Search.words").getValue());
  EXPECT_EQ(nullptr, s->viewState.getObject("SearchView.page"));
  EXPECT_EQ(nullptr, s->viewState.getObject("SearchView.image"));
  EXPECT_EQ(std::vector<int>{seaSun}, s->searchResults);

  // `words` serves when `Search.words` is absent.
  act(id, "action=18&words=only");
  ASSERT_EQ(1u, s->searchResults.size());
  EXPECT_NE(seaSun, s->searchResults[0]);
  EXPECT_STREQ("only", GView::paramText(s->viewState, "Search.words").getValue());

  // Without any words the last result stays; the grid starts again.
  s->viewState.setObject("SearchView.image", 7);
  act(id, "action=18");
  EXPECT_EQ(1u, s->searchResults.size());
  EXPECT_EQ(nullptr, s->viewState.getObject("SearchView.image"));

  // Two blanks in a row give an empty word, which finds nothing.
  act(id, "action=18&Search.words=sea++sun");
  EXPECT_TRUE(s->searchResults.empty());
}

// Whoever searches finds the accepted images, published in a folder or not, the highest id
// first; waiting and denied ones stay hidden even from their owner and the administrators.
TEST_F(GActionsTest, SearchFindsAcceptedImagesForEveryViewer) {
  int owner = addUserWith("olga");
  addUserWith("pete");
  int folder = addFolder("F", 0, 0);
  int published = addImage(owner, "reef");
  db().addFolderImage(folder, published, GIMAGE_ACCEPTED);
  int unpublished = addImage(owner, "reef");
  int waiting = addImage(owner, "reef", GIMAGE_WAITING);
  db().addFolderImage(folder, waiting, GIMAGE_WAITING);
  int denied = addImage(owner, "reef", GIMAGE_DENIED);
  int deniedLink = addImage(owner, "reef");
  db().addFolderImage(folder, deniedLink, GIMAGE_DENIED);
  (void)denied;
  const std::vector<int> accepted = {deniedLink, unpublished, published};
  for (std::pair<const char*, const char*> viewer :
       {std::make_pair("olga", "pw"), std::make_pair("pete", "pw"),
        std::make_pair("admin", "tarbo"), std::make_pair("guest", "plivo")}) {
    std::string id = logIn(viewer.first, viewer.second);
    act(id, "action=18&Search.words=reef");
    EXPECT_EQ(accepted, session(id)->searchResults) << viewer.first;
  }
}

TEST_F(GActionsTest, SearchFoldsLettersBeyondAscii) {
  int owner = addUserWith("olga");
  int lake = addImage(owner, "Überlingen, Bodensee");
  int city = addImage(owner, "ΑΘΉΝΑ Москва");
  std::string id = logIn("olga", "pw");
  GSession* s = session(id);
  struct Case {
    const char* words;  // as the form sends them, UTF-8 in percent form
    int found;
  } cases[] = {
      {"%C3%BCberlingen", lake},                   // überlingen
      {"%C3%9CBERLINGEN", lake},                   // ÜBERLINGEN
      {"%CE%B1%CE%B8%CE%AE%CE%BD%CE%B1", city},    // αθήνα
      {"%D0%9C%D0%9E%D0%A1%D0%9A%D0%92%D0%90", city},  // МОСКВА
  };
  for (const Case& c : cases) {
    act(id, std::string("action=18&Search.words=") + c.words);
    EXPECT_EQ(std::vector<int>{c.found}, s->searchResults) << c.words;
  }
  // The form shows the words as typed.
  EXPECT_STREQ("МОСКВА", GView::paramText(s->viewState, "Search.words").getValue());
}

TEST_F(GActionsTest, ChangeLanguageTakesAnyText) {
  addUserWith("olga");
  std::string id = logIn("olga", "pw");
  Exchange e;
  act(e, id, "action=19&language=fra");
  EXPECT_STREQ("fra", session(id)->language.getValue());
  EXPECT_EQ("<none>", param(e, "language"));
  act(id, "action=19&language=xx");
  EXPECT_STREQ("xx", session(id)->language.getValue());
  // Without the parameter the language becomes empty (the pages fall back to the first).
  act(id, "action=19");
  EXPECT_STREQ("", session(id)->language.getValue());
  // In the shared guest session it changes the language of every visitor.
  act("5072913846", "action=19&language=fra");
  EXPECT_STREQ("fra", servlet.getGuestSession()->language.getValue());
}
