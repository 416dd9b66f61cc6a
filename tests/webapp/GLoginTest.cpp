#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/webapp/WebappTestSupport.h"
#include "views/GMainView.h"
#include "views/GSession.h"
#include "webapp/GClientAddress.h"
#include "webapp/GLogin.h"

using webtest::Exchange;

namespace {

class GLoginTest : public webtest::ServletTest {
 protected:
  // Refusals answered at once, so that the cases need not wait; one test keeps the delay.
  GLoginTest() { login().setRefusalDelay(0); }

  // A login from _address with the form's fields: "in", "failed", "throttled", "busy", or
  // the page when it is none of them.
  std::string attempt(const std::string& _form, const char* _address = "127.0.0.1") {
    Exchange e;
    post(e, loginTarget, _form, "", 40000, _address);
    return outcome(e);
  }
  std::string attempt(const char* _username, const char* _password, const char* _address) {
    return attempt(loginForm(_username, _password), _address);
  }
  static std::string outcome(Exchange& _e) {
    if (cookieSession(_e) != "<none>") return "in";
    if (refusedWith(_e, "MESSAGE_LOGIN_FAILED")) return "failed";
    if (refusedWith(_e, "MESSAGE_LOGIN_THROTTLED")) return "throttled";
    if (refusedWith(_e, "MESSAGE_LOGIN_BUSY")) return "busy";
    return _e.body();
  }
  // The login page of the guest with the message of a refused login.
  static bool refusedWith(Exchange& _e, const char* _message) {
    std::string body = _e.body();
    return _e.header("Set-Cookie") == "<none>" &&
           body.find("<BODY class=\"login\"") != std::string::npos &&
           body.find(std::string("<TD class=\"loginMessage\"><DIV class=\"message "
                                 "message_refused\" role=\"status\">") +
                     _message + "</DIV>\n</TD>") != std::string::npos &&
           body.find("action=\"/?session=5072913846&page=1&action=16&") != std::string::npos;
  }
  int pairEntries() {
    std::lock_guard<std::mutex> lock(login().getMutex());
    return login().getThrottle().getPairEntries();
  }
  GLogin& login() { return servlet.getLogin(); }
};

}  // namespace

TEST_F(GLoginTest, LoginCases) {
  addUser("blocked", "secret", false);
  // An enabled account without a password, and one whose record still holds a clear
  // password (only the start-up hashes those): neither ever logs in.
  addUser("empty", "");
  GUser clear;
  clear.username = "clear";
  clear.password = "old";
  clear.enabled = true;
  application.database.addUser(clear);

  struct Case {
    const char* query;  // after the login form's target
    const char* form;   // the posted form
    int account;        // the account logged in, -1: refused
  };
  const Case cases[] = {
      {"", "username=admin&password=tarbo", 0},
      {"", "username=admin&password=wrong-typed", -1},
      {"", "username=admin&password=Tarbo", -1},
      {"", "username=admin", -1},
      {"", "username=Admin&password=tarbo", -1},  // no such user
      {"", "username=&password=", -1},
      {"", "username=blocked&password=secret", -1},
      {"", "username=empty&password=", -1},
      {"", "username=empty&password=x", -1},
      {"", "username=clear&password=old", -1},
      // A name or a password in the URL is refused, right or not: URLs end up in logs.
      {"&username=admin&password=tarbo", "", -1},
      {"&password=tarbo", "username=admin", -1},
      {"&username=admin", "password=tarbo", -1},
      {"", "guest=1", 1},
      {"&guest=1", "", 1},  // the guest button is a link, and carries nothing secret
      // The guest button's parameter is the guest account's key, and nothing more.
      {"", "guest=1&username=admin&password=tarbo", 1},
      {"", "guest=yes&username=guest", -1},
  };
  for (const Case& c : cases) {
    Exchange e;
    post(e, std::string(loginTarget) + c.query, c.form);
    std::string label = std::string(c.query) + " | " + c.form;
    if (c.account < 0) {
      EXPECT_EQ("failed", outcome(e)) << label;
      // Nothing typed goes on into the page.
      EXPECT_EQ(std::string::npos, e.body().find("wrong-typed")) << label;
      EXPECT_EQ(std::string::npos, e.body().find("username=")) << label;
      continue;
    }
    std::string id = sessionOf(e);
    GSession* session = servlet.getSessions().getSession(id.c_str());
    ASSERT_NE(nullptr, session) << label;
    EXPECT_EQ(c.account, session->user.id) << label;
    EXPECT_NE(std::string::npos,
              e.body().find("<FRAME name=\"submain\" src=\"/?session=" + id + "&page=1&requestId="))
        << label;
    EXPECT_EQ(std::string::npos, e.body().find("password")) << label;
  }

  // A disabled guest account has no key.
  GUser guest;
  application.database.getUser(1, guest);
  guest.enabled = false;
  application.database.updateUser(1, guest);
  EXPECT_EQ("failed", attempt("guest=1"));
}

// Refusals that cost nothing count for nothing: empty passwords and logins in the URL
// neither start a back-off nor are hashed, so that nobody can lock an account with them.
TEST_F(GLoginTest, EmptyPasswordsAndLoginsInTheUrlAreNotCounted) {
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ("failed", attempt("admin", "", "10.0.0.1")) << i;
    Exchange e;
    post(e, std::string(loginTarget) + "&username=admin&password=x" + std::to_string(i), "", "",
         40000, "10.0.0.1", false);
    EXPECT_FALSE((bool)e.response.later) << "a login in the URL was checked";
  }
  EXPECT_EQ(0, pairEntries());
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.1"));
}

// The lock-out attempt: five wrong passwords from one address back off that address, and
// the owner from another address still gets in.
TEST_F(GLoginTest, GuessingIsThrottledPerAccountAndAddressAndPerAddress) {
  addUser("anna", "right");
  for (int i = 0; i < 5; ++i) EXPECT_EQ("failed", attempt("anna", "wrong", "10.0.0.1")) << i;
  EXPECT_EQ("throttled", attempt("anna", "right", "10.0.0.1"));
  EXPECT_EQ("in", attempt("anna", "right", "10.0.0.3"));
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.1"));  // other accounts go on
  servlet.now += 1;
  EXPECT_EQ("in", attempt("anna", "right", "10.0.0.1"));
  for (int i = 0; i < 4; ++i) EXPECT_EQ("failed", attempt("anna", "wrong", "10.0.0.4")) << i;
  EXPECT_EQ("in", attempt("anna", "right", "10.0.0.4"));

  // Twenty failures from one address within a minute, whatever the names: that address is
  // refused, also for a right password; others are not.
  servlet.now += 100;
  for (int i = 0; i < 20; ++i) {
    // Names and addresses spread over several seconds: the check rate is not the point here.
    if (i % 4 == 3) servlet.now += 1;
    EXPECT_EQ("failed", attempt(("nobody" + std::to_string(i)).c_str(), "x", "10.0.0.9")) << i;
  }
  EXPECT_EQ("throttled", attempt("admin", "tarbo", "10.0.0.9"));
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.8"));
  servlet.now += 1;
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.9"));
}

// Within one second: unknown names are refused as busy first, known ones are still checked.
TEST_F(GLoginTest, BeyondTheCheckRateUnknownNamesAreRefusedFirst) {
  int address = 1;
  auto from = [&]() { return "10.1.0." + std::to_string(address++); };
  for (int i = 0; i < GLoginThrottle::UNKNOWN_CHECKS_PER_SECOND; ++i) {
    EXPECT_EQ("failed", attempt("nobody", "x", from().c_str())) << i;
  }
  EXPECT_EQ("busy", attempt("nobody", "x", from().c_str()));
  for (int i = GLoginThrottle::UNKNOWN_CHECKS_PER_SECOND; i < GLoginThrottle::CHECKS_PER_SECOND;
       ++i) {
    EXPECT_EQ("failed", attempt("admin", "x", from().c_str())) << i;
  }
  EXPECT_EQ("busy", attempt("admin", "tarbo", from().c_str()));
  servlet.now += 1;
  EXPECT_EQ("in", attempt("admin", "tarbo", from().c_str()));
}

TEST_F(GLoginTest, TheGuestButtonIsThrottledPerAddress) {
  int before = servlet.getSessions().getLength();
  for (int i = 0; i < GLoginThrottle::GUEST_BURST; ++i) {
    EXPECT_EQ("in", attempt("guest=1", "10.0.0.1")) << i;
  }
  EXPECT_EQ("busy", attempt("guest=1", "10.0.0.1"));
  EXPECT_EQ(before + GLoginThrottle::GUEST_BURST, servlet.getSessions().getLength());
  EXPECT_EQ("in", attempt("guest=1", "10.0.0.2"));
  servlet.now += GLoginThrottle::GUEST_INTERVAL / 1000;
  EXPECT_EQ("in", attempt("guest=1", "10.0.0.1"));
  // The form's logins are another matter.
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.1"));
}

TEST_F(GLoginTest, PasswordsAreCheckedOffTheDispatchAndTheRestFollowsThere) {
  int before = servlet.getSessions().getLength();
  Exchange e;
  post(e, loginTarget, loginForm("admin", "tarbo"), "", 40000, "127.0.0.1", false);
  // The dispatch returned before the check: nothing decided, nothing written.
  ASSERT_TRUE((bool)e.response.later);
  EXPECT_EQ("", e.body());
  EXPECT_EQ(before, servlet.getSessions().getLength());
  webtest::finishLater(servlet, e.request, e.response);
  std::string id = sessionOf(e);
  ASSERT_EQ((size_t)GSessionManagement::idLength, id.size());
  EXPECT_NE(std::string::npos, e.body().find("session=" + id));
  EXPECT_EQ(before + 1, servlet.getSessions().getLength());

  // The guest button checks no password and answers at once.
  Exchange guest;
  post(guest, loginTarget, "guest=1", "", 40000, "127.0.0.1", false);
  EXPECT_FALSE((bool)guest.response.later);
  EXPECT_NE("<none>", cookieSession(guest));
}

TEST_F(GLoginTest, GuessesSentAllAtOnceAreCheckedOneAtATimePerAccountAndAddress) {
  std::vector<std::unique_ptr<Exchange>> guesses;
  int checked = 0;
  for (int i = 0; i < 10; ++i) {
    guesses.emplace_back(new Exchange());
    post(*guesses.back(), loginTarget, loginForm("admin", "wrong" + std::to_string(i)), "", 40000,
         "10.0.0.1", false);
    if (guesses.back()->response.later) ++checked;
  }
  // One check at a time for the account from the address, each counted before the next may
  // start: however fast the worker is, no more guesses are hashed than the throttle allows
  // in a row.
  EXPECT_GE(checked, 1);
  EXPECT_LE(checked, (int)GLoginThrottle::ACCOUNT_FAILURES);
  for (auto& guess : guesses) {
    webtest::finishLater(servlet, guess->request, guess->response);
    EXPECT_EQ("<none>", guess->header("Set-Cookie"));
  }
  // The owner elsewhere at once, and from there after the back-off.
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.2"));
  servlet.now += 60;
  EXPECT_EQ("in", attempt("admin", "tarbo", "10.0.0.1"));
}

// A throttled login is answered after the refusal delay, by the delay line: the loop
// meanwhile goes on, and the guesser's connection comes back only then.
TEST_F(GLoginTest, ThrottledAndBusyAnswersComeAfterTheRefusalDelay) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ("failed", attempt("admin", "wrong", "10.0.0.1")) << i;
  login().setRefusalDelay(300);
  auto started = std::chrono::steady_clock::now();
  Exchange e;
  post(e, loginTarget, loginForm("admin", "tarbo"), "", 40000, "10.0.0.1", false);
  ASSERT_TRUE((bool)e.response.later);
  EXPECT_FALSE(e.response.later->isReady());
  webtest::finishLater(servlet, e.request, e.response);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_EQ("throttled", outcome(e));
  // Refusals that count for nothing are no flood's answer to slow down: at once.
  Exchange empty;
  post(empty, loginTarget, loginForm("admin", ""), "", 40000, "10.0.0.1", false);
  EXPECT_FALSE((bool)empty.response.later);
  EXPECT_EQ("failed", outcome(empty));
}

// With its queue full the login refuses at once: nothing is hashed on the loop.
TEST_F(GLoginTest, AFullQueueIsRefusedAtOnce) {
  GLogin full(servlet.getSessions(), 0);
  full.setRefusalDelay(0);
  Exchange e;
  e.request.method = "POST";
  e.request.url = loginTarget;
  MHttpQuery::parse("username=admin&password=tarbo", e.request.params, true);
  e.request.remoteAddress.setAddress("127.0.0.1");
  bool resumed = false;
  EXPECT_FALSE(full.begin(e.request, e.response, nullptr, servlet.now,
                          [&](MHttpRequest&, MHttpResponse&, const std::function<void()>&) {
                            resumed = true;
                          }));
  EXPECT_FALSE((bool)e.response.later);
  EXPECT_FALSE(resumed);
  EXPECT_STREQ("busy", GView::paramText(e.request.params, GMainView::LOGIN_STATE).getValue());
  EXPECT_EQ(0, full.getThrottle().getPairEntries());
}

TEST_F(GLoginTest, TheBrowsersAddressBehindTheConfiguredProxyOnly) {
  struct Case {
    const char* proxy;
    const char* secret;     // configured
    const char* forwarded;  // nullptr: no header
    const char* sent;       // the secret header, nullptr: none
    const char* address;
  };
  const Case cases[] = {
      {"", "", "192.0.2.7", nullptr, "127.0.0.1"},  // no proxy: the header proves nothing
      {"127.0.0.1", "", "192.0.2.7", nullptr, "192.0.2.7"},
      {"127.0.0.1", "", "10.0.0.1, 192.0.2.7", nullptr, "192.0.2.7"},  // the browser's claim first
      {"127.0.0.1", "", " 198.51.100.2 ", nullptr, "198.51.100.2"},
      {"127.0.0.1", "", "2001:db8::7", nullptr, "2001:db8::7"},
      {"127.0.0.1", "", nullptr, nullptr, "127.0.0.1"},
      {"10.9.9.9", "", "192.0.2.7", nullptr, "127.0.0.1"},  // not from the proxy
      // With a secret, only a connection that shows it is the proxy.
      {"127.0.0.1", "s3cret", "192.0.2.7", "s3cret", "192.0.2.7"},
      {"127.0.0.1", "s3cret", "192.0.2.7", nullptr, "127.0.0.1"},
      {"127.0.0.1", "s3cret", "192.0.2.7", "s3cre", "127.0.0.1"},
      {"127.0.0.1", "s3cret", "192.0.2.7", "s3cretx", "127.0.0.1"},
      {"127.0.0.1", "s3cret", "192.0.2.7", "", "127.0.0.1"},
  };
  for (const Case& c : cases) {
    application.proxyAddress = c.proxy;
    application.proxySecret = c.secret;
    MHttpRequest request;
    request.remoteAddress.setAddress("127.0.0.1");
    if (c.forwarded != nullptr) request.headers.setObject("x-forwarded-for", c.forwarded);
    if (c.sent != nullptr) request.headers.setObject("X-Vistrel-Proxy", c.sent);
    EXPECT_STREQ(c.address, GClientAddress::of(request).getValue())
        << c.proxy << " " << c.secret << " " << (c.sent ? c.sent : "-");
  }
}
