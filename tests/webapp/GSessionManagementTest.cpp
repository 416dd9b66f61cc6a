#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

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

TEST_F(GSessionManagementTest, ExpiryRun) {
  application.sessionTimeout = 300;
  int now = (int)getTime();
  struct Case {
    const char* name;
    int idle;
    int type;
    bool openedAsOther;
    bool stays;
  };
  const Case cases[] = {
      {"idle 301", 301, 0, false, false},
      {"idle exactly 300", 300, 0, false, true},
      {"administrator", 100000, 1, false, true},
      {"opened as another user", 301, 0, true, false},
  };
  std::string ids[4];
  for (int i = 0; i < 4; ++i) {
    GSession* s = table.createSession();
    ids[i] = s->id.getValue();
    s->lastAccess = now - cases[i].idle;
    s->user.id = 10 + i;
    s->user.type = cases[i].type;
    if (cases[i].openedAsOther) s->returnSessionId = "99";
  }
  table.getSession("5072913846")->lastAccess = now - 100000;
  table.checkSessions();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(cases[i].stays, table.getSession(ids[i].c_str()) != nullptr) << cases[i].name;
  }
  EXPECT_NE(nullptr, table.getSession("5072913846"));

  // A negative time-out, compared without sign, ends nothing.
  application.sessionTimeout = -1;
  table.getSession(ids[1].c_str())->lastAccess = now - 1000000;
  table.checkSessions();
  EXPECT_NE(nullptr, table.getSession(ids[1].c_str()));
}

TEST_F(GSessionManagementTest, AtTheCapTheLongestIdleOrdinarySessionGoesFirst) {
  table.setMaxSessions(3);
  int now = (int)getTime();
  // Idle for 50, 40 and 30 seconds: an administrator, two ordinary users.
  GSession* admin = table.createSession();
  admin->user.id = 0;
  admin->user.type = 1;
  admin->lastAccess = now - 50;
  std::string adminId = admin->id.getValue();
  GSession* older = table.createSession();
  older->lastAccess = now - 40;
  std::string olderId = older->id.getValue();
  GSession* newer = table.createSession();
  newer->lastAccess = now - 30;
  std::string newerId = newer->id.getValue();
  EXPECT_EQ(4, table.getLength());

  GSession* fourth = table.createSession();
  EXPECT_EQ(4, table.getLength());
  EXPECT_EQ(nullptr, table.getSession(olderId.c_str()));
  EXPECT_NE(nullptr, table.getSession(adminId.c_str()));
  EXPECT_NE(nullptr, table.getSession(newerId.c_str()));
  // The session the caller still works with never gives way, nor does the guest session:
  // the fresh ordinary one goes before the administrator.
  table.getSession(newerId.c_str())->lastAccess = now - 1000;
  fourth->lastAccess = now;
  std::string fourthId = fourth->id.getValue();
  GSession* fifth = table.createSession(table.getSession(newerId.c_str()));
  EXPECT_NE(nullptr, table.getSession(newerId.c_str()));
  EXPECT_NE(nullptr, table.getSession(fifth->id.getValue()));
  EXPECT_EQ(nullptr, table.getSession(fourthId.c_str()));
  EXPECT_NE(nullptr, table.getSession(adminId.c_str()));
  EXPECT_NE(nullptr, table.getSession("5072913846"));
  EXPECT_EQ(4, table.getLength());
  table.deleteSession("5072913846");
  EXPECT_NE(nullptr, table.getSession("5072913846"));
}

TEST(GSession, CopiesAreDeep) {
  GSession a;
  a.id = "1";
  a.viewState.setObject("tab_main", 400);
  a.searchResults.setObject(5, "x");
  a.returnSessionId = "2";
  GSession b(a);
  a.viewState.setObject("tab_main", 700);
  EXPECT_EQ(400, b.viewState.getInt("tab_main"));
  EXPECT_EQ(1, b.searchResults.getLength());
  EXPECT_STREQ("2", b.returnSessionId.getValue());
  GSession c;
  c = a;
  EXPECT_EQ(700, c.viewState.getInt("tab_main"));
  // The lists keep quiet about absent keys, as the views and actions expect.
  EXPECT_NO_THROW(c.viewState.deleteObject("absent"));
}
