#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "db/GPasswordHash.h"
#include "tests/webapp/ActionTestSupport.h"

using webtest::Exchange;

namespace {

class GUserActionsTest : public webtest::ActionTest {
 protected:
  void SetUp() override {
    olga = addUserWith("olga");
    secondAdmin = addUserWith("boss", true, true, false, 1);
    admin = logIn("admin", "tarbo");
    olgaSession = logIn("olga", "pw", 40001);
    bossSession = logIn("boss", "pw", 40002);
  }
  int userCount() {
    MList all;
    return db().getUsers(all);
  }
  // The administration form as the page sends it, with every right given.
  std::string form(int _id, const std::string& _username, const std::string& _password1 = "pw",
                   const std::string& _password2 = "pw") {
    return "action=8&User.id=" + std::to_string(_id) + "&User.username=" + _username +
           "&User.lastname=Last&User.firstname=First&User.email=e%40x&User.password1=" +
           _password1 + "&User.password2=" + _password2 +
           "&User.enabled=0&User.folderAdmin=1&User.type=1&User.imageAccept=0"
           "&User.folderAccept=0&User.imageDownload=1&User.imageUpload=1&User.imageLimit=7";
  }

  int olga = -1;
  int secondAdmin = -1;
  std::string admin;
  std::string olgaSession;
  std::string bossSession;
};

}  // namespace

TEST_F(GUserActionsTest, CreateUser) {
  application.defaultLanguage = "fra";
  int before = userCount();
  act(olgaSession, "action=7");
  EXPECT_EQ(before, userCount());
  Exchange e;
  act(e, admin, "action=7");
  EXPECT_EQ(before + 1, userCount());
  GUser made = user(std::stoi(param(e, "User.id")));
  EXPECT_EQ(0, made.type);
  EXPECT_FALSE(made.enabled);
  EXPECT_STREQ("fra", made.language.getValue());
  EXPECT_EQ(100, made.imageLimit);
  EXPECT_TRUE(made.imageAccept);
  EXPECT_FALSE(made.imageUpload);
}

TEST_F(GUserActionsTest, UpdateUserByTheAdministratorAccount) {
  Exchange e;
  act(e, admin, form(olga, "olga2"));
  GUser u = user(olga);
  EXPECT_STREQ("olga2", u.username.getValue());
  EXPECT_STREQ("Last", u.lastname.getValue());
  EXPECT_STREQ("First", u.firstname.getValue());
  EXPECT_STREQ("e@x", u.email.getValue());
  EXPECT_FALSE(u.enabled);
  EXPECT_TRUE(u.folderAdmin);
  EXPECT_EQ(1, u.type);
  EXPECT_FALSE(u.imageAccept);
  EXPECT_FALSE(u.folderAccept);
  EXPECT_TRUE(u.imageDownload);
  EXPECT_TRUE(u.imageUpload);
  EXPECT_EQ(7, u.imageLimit);
  for (const char* name : {"User.username", "User.password1", "User.password2"}) {
    EXPECT_EQ("<none>", param(e, name)) << name;
  }
  // The edited account was disabled and given a new password: its session has ended.
  EXPECT_EQ(nullptr, session(olgaSession));
  // An ordinary user may not use the form.
  addUserWith("pia");
  std::string pia = logIn("pia", "pw", 40003);
  act(pia, form(olga, "olga3"));
  EXPECT_STREQ("olga2", user(olga).username.getValue());
}

TEST_F(GUserActionsTest, OnlyTheAdministratorAccountChangesTypeEnabledAndFolderAdmin) {
  // Another administrator: names and the other rights, but not these three.
  act(bossSession, form(olga, "olga"));
  GUser u = user(olga);
  EXPECT_TRUE(u.enabled);
  EXPECT_FALSE(u.folderAdmin);
  EXPECT_EQ(0, u.type);
  EXPECT_TRUE(u.imageUpload);
  EXPECT_EQ(7, u.imageLimit);
  // Not even the administrator account changes them for itself.
  Exchange self;
  act(self, admin, form(0, "admin", "tarbo", "tarbo"));
  GUser a = user(0);
  EXPECT_TRUE(a.enabled);
  EXPECT_EQ(1, a.type);
  EXPECT_EQ(7, a.imageLimit);
  // Its own session follows what was stored.
  EXPECT_EQ(7, session(admin)->user.imageLimit);
  EXPECT_STREQ("Last", session(admin)->user.lastname.getValue());
}

TEST_F(GUserActionsTest, UserNamesStayUniqueAndNonEmpty) {
  const std::string longName(39, 'n');
  GUser holder;
  holder.username = longName.c_str();
  int holderId = db().addUser(holder);
  (void)holderId;
  // A name whose letter across the end of the field is left out whole.
  GUser shorter;
  shorter.username = std::string(38, 'k').c_str();
  db().addUser(shorter);
  struct Case {
    const char* what;
    std::string username;
  };
  const Case cases[] = {
      {"another user's name", "boss"},
      {"empty", ""},
      {"a name that is cut to another user's", longName + "xyz"},
      {"a name cut before a letter to another user's", std::string(38, 'k') + "\xC3\xBC"},
  };
  for (const Case& c : cases) {
    Exchange e;
    act(e, admin, form(olga, c.username, "new", "new"));
    GUser u = user(olga);
    EXPECT_STREQ("olga", u.username.getValue()) << c.what;
    EXPECT_TRUE(GPasswordHash::verify("pw", u.password)) << c.what;
    EXPECT_STREQ("olga", u.lastname.getValue()) << c.what;
    // What was entered goes on to the page, but never a password.
    EXPECT_EQ(c.username, param(e, "User.username")) << c.what;
    EXPECT_EQ("<none>", param(e, "User.password1")) << c.what;
    EXPECT_EQ("<none>", param(e, "User.password2")) << c.what;
  }
  // The own name again, or a free one, is fine; a name too long is stored cut.
  act(admin, form(olga, "olga"));
  EXPECT_STREQ("Last", user(olga).lastname.getValue());
  act(admin, form(olga, std::string(50, 'm')));
  EXPECT_EQ(std::string(39, 'm'), user(olga).username.getValue());
  act(admin, form(olga, std::string(38, 'm') + "\xC3\xA4\xC3\xA4"));
  EXPECT_EQ(std::string(38, 'm'), user(olga).username.getValue());
}

TEST_F(GUserActionsTest, PasswordChangesOnlyWithTwoEqualFields) {
  struct Case {
    const char* password1;
    const char* password2;
    const char* loginWith;  // the password that logs in afterwards
    const char* message;    // User.message left for the page
  };
  const Case cases[] = {
      {"a", "b", "pw", "1"},  // differ: the password stays, the page says so
      {"", "x", "pw", "1"},
      {"", "", "pw", "<none>"},  // both empty: it stays, never empty
      {"new", "new", "new", "<none>"},
      {"a%20b", "a%20b", "a b", "<none>"},
  };
  for (const Case& c : cases) {
    for (int action : {8, 9}) {
      // Back to "pw" first, through the administration; a new password ends Olga's
      // sessions, so she logs in again.
      act(admin, form(olga, "olga", "pw", "pw") + "&User.enabled=1");
      olgaSession = logIn("olga", "pw", 40001);
      std::string query = action == 8 ? form(olga, "olga", c.password1, c.password2)
                                      : "action=9&User.id=" + std::to_string(olga) +
                                            "&User.username=olga&User.lastname=Last"
                                            "&User.password1=" + c.password1 +
                                            "&User.password2=" + c.password2;
      Exchange e;
      act(e, action == 8 ? admin : olgaSession, query);
      std::string what = std::to_string(action) + ": " + c.password1 + "/" + c.password2;
      GUser u = user(olga);
      EXPECT_TRUE(GPasswordHash::isHash(u.password)) << what;
      EXPECT_TRUE(GPasswordHash::verify(c.loginWith, u.password)) << what;
      EXPECT_STREQ("Last", u.lastname.getValue()) << what;
      EXPECT_EQ(c.message, param(e, "User.message")) << what;
      EXPECT_EQ("<none>", param(e, "User.password1")) << what;
      EXPECT_EQ("<none>", param(e, "User.password2")) << what;
    }
  }
  // A user that does not exist: nothing, the form fields are removed.
  Exchange e;
  act(e, admin, form(55, "ghost"));
  EXPECT_EQ("<none>", param(e, "User.username"));
  GUser none;
  EXPECT_EQ(-1, db().getUserByUsername("ghost", none));
}

TEST_F(GUserActionsTest, AnAccountWithoutPasswordIsStoredDisabled) {
  // A new account has no password: enabling it without one stores it disabled, and says so.
  Exchange made;
  act(made, admin, "action=7");
  int fresh = std::stoi(param(made, "User.id"));
  struct Case {
    std::string passwords;
    bool enabled;
    const char* message;
  };
  const Case cases[] = {
      {"&User.password1=&User.password2=", false, "2"},
      {"&User.password1=a&User.password2=b", false, "3"},  // differ, and so none
      {"&User.password1=s3cret&User.password2=s3cret", true, "<none>"},
      {"&User.password1=&User.password2=", true, "<none>"},  // keeps the one it has now
  };
  for (const Case& c : cases) {
    Exchange e;
    act(e, admin,
        "action=8&User.id=" + std::to_string(fresh) + "&User.username=fresh&User.enabled=1" +
            c.passwords);
    EXPECT_EQ(c.enabled, user(fresh).enabled) << c.passwords;
    EXPECT_EQ(c.message, param(e, "User.message")) << c.passwords;
  }
  EXPECT_NE("<none>", logIn("fresh", "s3cret", 40009));
  // The guest account needs no password (the guest button is its key), and the
  // administrator account is never disabled here.
  for (int account : {0, 1}) {
    GUser u = user(account);
    u.password = "";
    db().updateUser(account, u);
    Exchange e;
    act(e, admin, "action=8&User.id=" + std::to_string(account) + "&User.username=" +
                      u.username.getValue() + "&User.enabled=1");
    EXPECT_TRUE(user(account).enabled) << account;
    EXPECT_EQ("<none>", param(e, "User.message")) << account;
  }
}

TEST_F(GUserActionsTest, UpdateOwnAccount) {
  std::string own = "action=9&User.id=" + std::to_string(olga) +
                    "&User.username=olga&User.lastname=New&User.firstname=Name&User.email=o%40x"
                    "&User.password1=pw2&User.password2=pw2&User.type=1&User.imageLimit=999"
                    "&User.imageUpload=1";
  // Someone else's account: nothing.
  act(bossSession, own);
  EXPECT_STREQ("olga", user(olga).lastname.getValue());
  Exchange e;
  act(e, olgaSession, own);
  GUser u = user(olga);
  EXPECT_STREQ("New", u.lastname.getValue());
  EXPECT_STREQ("Name", u.firstname.getValue());
  EXPECT_STREQ("o@x", u.email.getValue());
  EXPECT_TRUE(GPasswordHash::verify("pw2", u.password));
  // The rights are the administrators' to give.
  EXPECT_EQ(0, u.type);
  EXPECT_EQ(100, u.imageLimit);
  EXPECT_FALSE(u.imageUpload);
  EXPECT_STREQ("New", session(olgaSession)->user.lastname.getValue());
  EXPECT_EQ("<none>", param(e, "User.password1"));
  EXPECT_EQ("1", param(e, "message"));  // saved

  // The guest account is everybody's: nobody renames it or changes its password.
  std::string guest = logIn("guest", "plivo", 40003);
  act(guest, "action=9&User.id=1&User.username=mine&User.password1=x&User.password2=x");
  EXPECT_STREQ("guest", user(1).username.getValue());
  EXPECT_TRUE(GPasswordHash::verify("plivo", user(1).password));
  // Nor does the shared guest session, whose user is nobody.
  act("5072913846", "action=9&User.id=-1&User.username=x");
  EXPECT_EQ(-1, db().getUserByUsername("x", u));
}

TEST_F(GUserActionsTest, DeleteUser) {
  int f = addFolder("Hers", 0, olga);
  int nobodys = addFolder("Nobody's", 0, -1);
  int image = addImage(olga);
  int other = addImage(secondAdmin);
  db().addFolderImage(f, image, GIMAGE_ACCEPTED);
  db().addFolderImage(f, other, GIMAGE_ACCEPTED);
  char name[32];
  snprintf(name, sizeof name, "%07d.jpg", image);
  for (const char* dir : {"images/original/", "images/preview1/", "images/preview2/", "images/preview2x/", "images/screen/"}) {
    root.write(std::string(dir) + name, "jpeg");
  }
  int before = userCount();

  // Refused: ordinary users, an administrator's own account, the two protected accounts, ids
  // that name nobody.
  act(olgaSession, "action=10&User.id=" + std::to_string(secondAdmin));
  act(bossSession, "action=10&User.id=" + std::to_string(secondAdmin));
  for (const char* id : {"0", "1", "-1", "77", "2147483648", ""}) {
    Exchange e;
    act(e, admin, std::string("action=10&User.id=") + id);
    EXPECT_EQ("<none>", param(e, "User.id")) << id;
    EXPECT_EQ("<none>", param(e, "message")) << id;
  }
  EXPECT_EQ(before, userCount());
  // The owner -1 of an absent id selected nothing.
  EXPECT_EQ(-1, folder(nobodys).ownerId);

  Exchange e;
  act(e, admin, "action=10&User.id=" + std::to_string(olga));
  EXPECT_EQ(before - 1, userCount());
  EXPECT_EQ("<none>", param(e, "User.id"));
  EXPECT_EQ("2", param(e, "message"));  // deleted
  GUser none;
  EXPECT_EQ(-1, db().getUser(olga, none));
  GImage gone;
  EXPECT_EQ(-1, db().getImage(image, gone));
  EXPECT_EQ(other, db().getImage(other, gone));
  EXPECT_EQ(-1, linkStatus(f, image));
  EXPECT_EQ(1, linkStatus(f, other));
  EXPECT_EQ(0, folder(f).ownerId);
  for (const char* dir : {"images/original/", "images/preview1/", "images/preview2/", "images/preview2x/", "images/screen/"}) {
    EXPECT_NE(0, access(root.file(std::string(dir) + name).c_str(), F_OK)) << dir;
  }
}

// What an administrator does to an account, and what it does to the account's open
// sessions: those that the change takes the account from end at once, others go on with
// the stored account's rights from their next request.
TEST_F(GUserActionsTest, ChangesThatTakeTheAccountFromItsSessionsEndThem) {
  struct Case {
    const char* what;
    std::string query;  // on Olga's account, by the administrator
    bool ends;
  };
  const std::string id = std::to_string(olga);
  const std::string base = "action=8&User.id=" + id + "&User.username=olga&User.lastname=L";
  const Case cases[] = {
      {"names and rights", base + "&User.enabled=1&User.imageUpload=1", false},
      {"disabled", base + "&User.enabled=0", true},
      {"a new password", base + "&User.enabled=1&User.password1=n&User.password2=n", true},
      {"deleted", "action=10&User.id=" + id, true},
  };
  for (const Case& c : cases) {
    db().deleteUser(olga);
    ASSERT_EQ(olga, addUserWith("olga"));
    std::string here = logIn("olga", "pw", 40001);
    std::string there = logIn("olga", "pw", 40002);
    act(admin, c.query);
    for (const std::string& s : {here, there}) {
      EXPECT_EQ(c.ends, session(s) == nullptr) << c.what;
    }
    if (!c.ends) {
      EXPECT_TRUE(session(here)->user.imageUpload) << c.what;
    }
  }
  // A demoted administrator's session ends; it creates no more accounts.
  int users = userCount();
  act(admin, "action=8&User.id=" + std::to_string(secondAdmin) +
                 "&User.username=boss&User.enabled=1&User.type=0");
  EXPECT_EQ(nullptr, session(bossSession));
  act(bossSession, "action=7");
  EXPECT_EQ(users, userCount());
}

TEST_F(GUserActionsTest, AnOwnNewPasswordEndsTheAccountsOtherSessionsOnly) {
  std::string other = logIn("olga", "pw", 40005);
  act(olgaSession, "action=9&User.id=" + std::to_string(olga) +
                       "&User.username=olga&User.password1=mine&User.password2=mine");
  EXPECT_TRUE(GPasswordHash::verify("mine", user(olga).password));
  ASSERT_NE(nullptr, session(olgaSession));
  EXPECT_EQ(nullptr, session(other));
  EXPECT_NE(nullptr, session(admin));
  // The session that changed it goes on, with the new account.
  Exchange page;
  get(page, "/?session=" + olgaSession + "&page=3", cookieOf(olgaSession));
  EXPECT_NE(std::string::npos, page.body().find("&action=17&")) << page.body();
}

TEST_F(GUserActionsTest, APasswordInTheUrlChangesNothing) {
  for (const char* action : {"8", "9"}) {
    std::string who = std::string(action) == "8" ? admin : olgaSession;
    Exchange e;
    post(e, "/act?session=" + who + "&requestId=" + std::to_string(++requestId) +
                "&User.password1=url&User.password2=url",
         std::string("action=") + action + "&User.id=" + std::to_string(olga) +
             "&User.username=olga&User.lastname=Url",
         cookieOf(who));
    GUser u = user(olga);
    EXPECT_TRUE(GPasswordHash::verify("pw", u.password)) << action;
    EXPECT_STRNE("Url", u.lastname.getValue()) << action;
    EXPECT_EQ("<none>", param(e, "User.password1")) << action;
    EXPECT_EQ("<none>", param(e, "User.password2")) << action;
  }
}

TEST_F(GUserActionsTest, ANewPasswordIsHashedOnAWorkerOneAtATimePerSession) {
  const std::string query = "action=9&User.id=" + std::to_string(olga) +
                            "&User.username=olga&User.password1=w1&User.password2=w1";
  Exchange first;
  post(first, "/act?session=" + olgaSession + "&requestId=" + std::to_string(++requestId), query,
       cookieOf(olgaSession), 40001, "127.0.0.1", false);
  // The dispatch returned before the hash: nothing stored yet.
  ASSERT_TRUE((bool)first.response.later);
  EXPECT_TRUE(GPasswordHash::verify("pw", user(olga).password));
  // A second change of the same session while the first is under way is refused as busy,
  // and may come again; another session's is not held up.
  Exchange second;
  post(second, "/act?session=" + olgaSession + "&requestId=" + std::to_string(++requestId),
       query, cookieOf(olgaSession), 40001, "127.0.0.1", false);
  bool refused = !second.response.later;
  if (refused) {
    EXPECT_EQ(503, second.response.statusCode);
    EXPECT_EQ("5", second.header("Retry-After"));
  } else {
    // The first one's hash was done already: the second one ran after it.
    webtest::finishLater(servlet, second.request, second.response);
  }
  Exchange boss;
  act(boss, bossSession, "action=9&User.id=" + std::to_string(secondAdmin) +
                             "&User.username=boss&User.password1=b&User.password2=b");
  EXPECT_TRUE(GPasswordHash::verify("b", user(secondAdmin).password));
  webtest::finishLater(servlet, first.request, first.response);
  EXPECT_TRUE(GPasswordHash::verify("w1", user(olga).password));
  EXPECT_NE(nullptr, session(olgaSession));
  EXPECT_EQ("<none>", param(first, "User.password1"));
}

// An account deleted while the hash of its new password is made: the session is gone when
// the hash is there, and nothing is stored for the successor under the same id.
TEST_F(GUserActionsTest, APasswordChangeOfAnAccountDeletedMeanwhileStoresNothing) {
  Exchange change;
  post(change, "/act?session=" + olgaSession + "&requestId=" + std::to_string(++requestId),
       "action=9&User.id=" + std::to_string(olga) +
           "&User.username=olga&User.password1=late&User.password2=late",
       cookieOf(olgaSession), 40001, "127.0.0.1", false);
  ASSERT_TRUE((bool)change.response.later);
  act(admin, "action=10&User.id=" + std::to_string(olga));
  ASSERT_EQ(olga, addUserWith("successor"));
  webtest::finishLater(servlet, change.request, change.response);
  GUser successor = user(olga);
  EXPECT_STREQ("successor", successor.username.getValue());
  EXPECT_TRUE(GPasswordHash::verify("pw", successor.password));
  EXPECT_NE(std::string::npos, change.body().find("top.location.replace('/?login=loggedout')"));
}
