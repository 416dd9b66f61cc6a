#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "lib/platform/MClock.h"
#include "tests/support/FakeApplication.h"
#include "tests/support/TestRoot.h"
#include "webapp/GSessionManagement.h"

namespace {

class GSessionManagementTest : public testing::Test {
 protected:
  GSessionManagementTest() : application(root.path) {}
  testroot::TestRoot root;
  testapp::FakeApplication application;
  GSessionManagement table;
};

bool allDigits(const char* _text) {
  if (*_text == 0) return false;
  for (const char* p = _text; *p != 0; ++p) {
    if (!isdigit((unsigned char)*p)) return false;
  }
  return true;
}

}  // namespace

TEST_F(GSessionManagementTest, StartsWithTheGuestSessionOnly) {
  ASSERT_EQ(1, table.getLength());
  GSession* guest = table.getSession("5072913846");
  ASSERT_NE(nullptr, guest);
  EXPECT_STREQ("5072913846", guest->id.getValue());
  EXPECT_EQ(-1, guest->user.id);
  EXPECT_TRUE(guest->isGuest());
}

TEST_F(GSessionManagementTest, NewSessionsHaveDistinctRandomDigitIdentifiers) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    GSession* s = table.createSession();
    std::string id = s->id.getValue();
    EXPECT_EQ((size_t)GSessionManagement::idLength, id.size());
    EXPECT_TRUE(allDigits(id.c_str())) << id;
    EXPECT_NE('0', id[0]);
    EXPECT_TRUE(seen.insert(id).second) << id;
    EXPECT_EQ(s, table.getSession(id.c_str()));
    EXPECT_EQ(-1, s->user.id);
    EXPECT_STREQ("eng", s->language.getValue());
    EXPECT_EQ(0, s->viewState.getLength());
  }
  // Every digit turns up in every place: nothing is fixed by time or address.
  std::set<char> digitsAt[GSessionManagement::idLength];
  for (const std::string& id : seen) {
    for (int i = 0; i < GSessionManagement::idLength; ++i) digitsAt[i].insert(id[i]);
  }
  EXPECT_EQ(9u, digitsAt[0].size());
  for (int i = 1; i < GSessionManagement::idLength; ++i) EXPECT_EQ(10u, digitsAt[i].size()) << i;
}

TEST_F(GSessionManagementTest, DeleteAndLookUpAbsentIdentifiers) {
  GSession* s = table.createSession();
  std::string id = s->id.getValue();
  EXPECT_EQ(nullptr, table.getSession("123"));
  EXPECT_NO_THROW(table.deleteSession("123"));
  EXPECT_EQ(2, table.getLength());
  table.deleteSession(id.c_str());
  EXPECT_EQ(nullptr, table.getSession(id.c_str()));
  EXPECT_EQ(1, table.getLength());
}

namespace {

// An account as the session table sees it: the kind comes from the id and the type.
GUser account(int _id, int _type = 0) {
  GUser user;
  user.id = _id;
  user.type = _type;
  user.enabled = true;
  return user;
}

}  // namespace

TEST_F(GSessionManagementTest, ExpiryRunByKind) {
  application.sessionTimeout = 300;
  application.adminTimeout = 60;  // minutes
  int now = (int)getTime();
  struct Case {
    const char* name;
    int idle;
    int userId, type;
    bool openedAsOther;
    bool stays;
  };
  // Made in the order of their accesses, as a server makes them.
  const Case cases[] = {
      {"idle 301", 301, 10, 0, false, false},
      {"idle exactly 300", 300, 11, 0, false, true},
      {"guest account idle 301", 301, 1, 0, false, false},
      {"guest account idle 300", 300, 1, 0, false, true},
      {"administrator idle 3601", 3601, 13, 1, false, false},
      {"opened as another user idle 3601", 3601, 15, 0, true, false},
      {"administrator idle 3600", 3600, 12, 1, false, true},
      {"opened as another user idle 3600", 3600, 14, 0, true, true},
  };
  GSession* admin = table.logIn(account(0, 1), now - 3602);
  std::vector<std::string> ids;
  for (const Case& c : cases) {
    GSession* s = c.openedAsOther ? table.openAs(*admin, account(c.userId), now - c.idle)
                                  : table.logIn(account(c.userId, c.type), now - c.idle);
    ids.push_back(s->id.getValue());
    EXPECT_EQ(!c.stays, table.isExpired(*s, now)) << c.name;
  }
  table.getSession("5072913846")->lastAccess = now - 100000;
  table.checkSessions(now);
  for (size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(cases[i].stays, table.getSession(ids[i].c_str()) != nullptr) << cases[i].name;
  }
  EXPECT_NE(nullptr, table.getSession("5072913846"));

  // A negative time-out, compared without sign, ends nothing.
  application.sessionTimeout = -1;
  application.adminTimeout = -1;
  GSession* old = table.logIn(account(20), now - 1000000);
  GSession* oldAdmin = table.logIn(account(21, 1), now - 1000000);
  table.checkSessions(now);
  EXPECT_EQ(old, table.getSession(old->id.getValue()));
  EXPECT_EQ(oldAdmin, table.getSession(oldAdmin->id.getValue()));
}

TEST_F(GSessionManagementTest, TheExpiryRunStopsAtTheFirstSessionNotDue) {
  // The lists keep the order of the accesses: touch moves a session to the end.
  application.sessionTimeout = 300;
  int now = (int)getTime();
  GSession* a = table.logIn(account(10), now - 1000);
  GSession* b = table.logIn(account(11), now - 1000);
  std::string aId = a->id.getValue();
  std::string bId = b->id.getValue();
  table.touch(*a, now);
  table.checkSessions(now);
  EXPECT_NE(nullptr, table.getSession(aId.c_str()));
  EXPECT_EQ(nullptr, table.getSession(bId.c_str()));
}

TEST_F(GSessionManagementTest, AtTheCapsTheLongestIdleOfTheFirstKindGoes) {
  // Each case fills a fresh table (cap 4, guest account cap 2) in order, one session per
  // letter: g guest account, o ordinary user, a administrator; then one more session of the
  // kind `next` comes. `gone` is the letter position of the session that makes room, -1 for
  // none (under the caps).
  struct Case {
    const char* name;
    const char* sessions;
    char next;
    int gone;
  };
  const Case cases[] = {
      {"under the caps", "oo", 'o', -1},
      {"the guest account's before an ordinary user's", "oago", 'o', 2},
      {"the longest idle guest account's first", "ggoo", 'o', 0},
      {"an ordinary user's before an administrator's", "aoao", 'a', 1},
      {"administrators' only when nothing else is left", "aaaa", 'o', 0},
      {"the guest account's own cap", "gg", 'g', 0},
      {"the guest account's own cap, the oldest of them", "goag", 'g', 0},
  };
  for (const Case& c : cases) {
    GSessionManagement fresh;
    fresh.setMaxSessions(4);
    fresh.setMaxGuestAccountSessions(2);
    int now = 1000000;
    int ordinary = 10;
    auto make = [&](char _kind) {
      GUser user = _kind == 'g' ? account(1) : account(ordinary++, _kind == 'a' ? 1 : 0);
      return fresh.logIn(user, now++);
    };
    std::vector<std::string> ids;
    for (const char* k = c.sessions; *k != 0; ++k) ids.push_back(make(*k)->id.getValue());
    GSession* added = make(c.next);
    EXPECT_NE(nullptr, fresh.getSession(added->id.getValue())) << c.name;
    for (size_t i = 0; i < ids.size(); ++i) {
      EXPECT_EQ((int)i != c.gone, fresh.getSession(ids[i].c_str()) != nullptr)
          << c.name << ", session " << i;
    }
    EXPECT_NE(nullptr, fresh.getSession("5072913846")) << c.name;
  }
}

TEST_F(GSessionManagementTest, TheSessionInUseNeverGivesWayNorDoesTheGuestSession) {
  table.setMaxSessions(2);
  int now = (int)getTime();
  GSession* inUse = table.logIn(account(11), now - 200);  // the longest idle
  GSession* older = table.logIn(account(10), now - 100);
  std::string inUseId = inUse->id.getValue();
  std::string olderId = older->id.getValue();
  GSession* third = table.logIn(account(12), now, inUse);
  EXPECT_EQ(inUse, table.getSession(inUseId.c_str()));
  EXPECT_EQ(nullptr, table.getSession(olderId.c_str()));
  // The only one left to give way is in use: the table grows by one.
  table.setMaxSessions(1);
  GSession* fourth = table.logIn(account(13), now, third);
  EXPECT_EQ(third, table.getSession(third->id.getValue()));
  EXPECT_EQ(fourth, table.getSession(fourth->id.getValue()));
  EXPECT_EQ(nullptr, table.getSession(inUseId.c_str()));
  table.deleteSession("5072913846");
  EXPECT_NE(nullptr, table.getSession("5072913846"));
}

TEST_F(GSessionManagementTest, ALoginsCookieSecretIsNotItsIdentifierAndFindsIt) {
  int now = (int)getTime();
  GSession* admin = table.logIn(account(0, 1), now);
  GSession* user = table.logIn(account(10), now);
  GSession* opened = table.openAs(*admin, account(11), now);
  ASSERT_EQ((size_t)GSessionManagement::idLength, (size_t)admin->cookieSecret.getLength());
  EXPECT_NE(admin->id, admin->cookieSecret);
  EXPECT_EQ(admin, table.getSessionByCookie(admin->cookieSecret.getValue()));
  EXPECT_EQ(nullptr, table.getSessionByCookie(admin->id.getValue()));
  EXPECT_EQ(nullptr, table.getSessionByCookie(""));
  EXPECT_EQ(0, opened->cookieSecret.getLength());
  EXPECT_EQ(admin->id, opened->returnSessionId);

  struct Case {
    const char* name;
    GSession* session;
    const char* cookie;
    bool fits;
  };
  const Case cases[] = {
      {"own cookie", user, user->cookieSecret.getValue(), true},
      {"no cookie", user, "", false},
      {"the identifier", user, user->id.getValue(), false},
      {"another session's cookie", user, admin->cookieSecret.getValue(), false},
      {"opened: the administrator's cookie", opened, admin->cookieSecret.getValue(), true},
      {"opened: another cookie", opened, user->cookieSecret.getValue(), false},
      {"opened: no cookie", opened, "", false},
      {"the guest session needs none", table.getSession("5072913846"), "", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fits, table.cookieFits(*c.session, c.cookie)) << c.name;

  // Once the administrator's session is gone nothing opens the other.
  std::string secret = admin->cookieSecret.getValue();
  table.deleteSession(admin->id.getValue());
  EXPECT_FALSE(table.cookieFits(*opened, secret.c_str()));
  EXPECT_EQ(nullptr, table.getSessionByCookie(secret.c_str()));
}

TEST_F(GSessionManagementTest, ASessionStandsWhileItsStoredAccountIsTheSame) {
  GDatabase& database = application.database;
  int now = (int)getTime();
  struct Case {
    const char* name;
    std::function<void(GUser&)> change;  // of the stored account
    bool stands;
  };
  const Case cases[] = {
      {"unchanged", [](GUser&) {}, true},
      {"a new name and rights", [](GUser& u) { u.lastname = "New"; u.imageUpload = true; }, true},
      {"promoted", [](GUser& u) { u.type = 1; }, true},
      {"disabled", [](GUser& u) { u.enabled = false; }, false},
      {"a new password", [](GUser& u) { u.password = "$other"; }, false},
  };
  for (const Case& c : cases) {
    GUser user;
    user.username = MString::format("u%d", (int)(&c - cases)).getValue();
    user.password = "$hash";
    user.enabled = true;
    database.addUser(user);
    GSession* session = table.logIn(user, now);
    GUser stored;
    database.getUser(user.id, stored);
    c.change(stored);
    database.updateUser(user.id, stored);
    EXPECT_EQ(c.stands, table.renewAccount(*session)) << c.name;
    if (c.stands) {
      // The copy is the stored account now: its rights count from this request on.
      EXPECT_STREQ(stored.lastname.getValue(), session->user.lastname.getValue()) << c.name;
      EXPECT_EQ(stored.type, session->user.type) << c.name;
    }
  }

  // An administrator demoted: the session ends; so do the sessions it opened.
  GUser boss;
  boss.username = "boss";
  boss.type = 1;
  boss.enabled = true;
  database.addUser(boss);
  GUser worker;
  worker.username = "worker";
  worker.enabled = true;
  database.addUser(worker);
  GSession* bossSession = table.logIn(boss, now);
  GSession* opened = table.openAs(*bossSession, worker, now);
  EXPECT_TRUE(table.renewAccount(*opened));
  boss.type = 0;
  database.updateUser(boss.id, boss);
  EXPECT_FALSE(table.renewAccount(*opened));
  EXPECT_FALSE(table.renewAccount(*bossSession));

  // Deleted, and a new account under the same id: another generation.
  GSession* workerSession = table.logIn(worker, now);
  database.deleteUser(worker.id);
  EXPECT_FALSE(table.renewAccount(*workerSession));
  GUser successor;
  successor.username = "successor";
  successor.enabled = true;
  ASSERT_EQ(worker.id, database.addUser(successor));
  EXPECT_FALSE(table.renewAccount(*workerSession));
  // Nobody logged in, and the guest session: the one never stands, the other always.
  EXPECT_FALSE(table.renewAccount(*table.createSession()));
  EXPECT_TRUE(table.renewAccount(*table.getSession("5072913846")));
}

TEST_F(GSessionManagementTest, EndingStaleSessionsTakesThoseOfTheAccountOnly) {
  GDatabase& database = application.database;
  int now = (int)getTime();
  GUser anna;
  anna.username = "anna";
  anna.enabled = true;
  anna.password = "$one";
  database.addUser(anna);
  GUser bert;
  bert.username = "bert";
  bert.enabled = true;
  database.addUser(bert);
  GUser admin;
  database.getUser(0, admin);
  GSession* annaHere = table.logIn(anna, now);
  GSession* annaThere = table.logIn(anna, now);
  GSession* bertSession = table.logIn(bert, now);
  GSession* adminSession = table.logIn(admin, now);
  GSession* asAnna = table.openAs(*adminSession, anna, now);
  std::string ids[] = {annaHere->id.getValue(), annaThere->id.getValue(),
                       bertSession->id.getValue(), adminSession->id.getValue(),
                       asAnna->id.getValue()};
  // Anna sets a new password in one of her sessions: that one goes on with it.
  anna.password = "$two";
  database.updateUser(anna.id, anna);
  database.getUser(anna.id, annaHere->user);
  table.endStaleSessions(anna.id);
  const bool stays[] = {true, false, true, true, false};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(stays[i], table.getSession(ids[i].c_str()) != nullptr) << i;
}

TEST(GSession, CopiesAreDeep) {
  GSession a;
  a.id = "1";
  a.viewState.setObject("tab_main", 400);
  a.searchResults.push_back(5);
  a.returnSessionId = "2";
  GSession b(a);
  a.viewState.setObject("tab_main", 700);
  EXPECT_EQ(400, b.viewState.getInt("tab_main"));
  EXPECT_EQ(std::vector<int>{5}, b.searchResults);
  EXPECT_STREQ("2", b.returnSessionId.getValue());
  GSession c;
  c = a;
  EXPECT_EQ(700, c.viewState.getInt("tab_main"));
  // The lists keep quiet about absent keys, as the views and actions expect.
  EXPECT_NO_THROW(c.viewState.deleteObject("absent"));
}
