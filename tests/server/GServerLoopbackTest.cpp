#include <gtest/gtest.h>

#include <string>

#include "lib/platform/MClock.h"
#include "server/GServer.h"
#include "tests/support/ClearPasswordFile.h"
#include "tests/support/HttpClient.h"
#include "tests/support/TestRoot.h"

// The configured server in this process, over a real socket: started, used and stopped.
TEST(GServerLoopback, StartServeAndStop) {
  testroot::TestRoot root(0);
  root.write("config/mime.cfg", "[css][text/css]\n[ico][image/x-icon]\n");
  root.write("web/favicon.ico", std::string("\0\0\1\0icon", 8));
  GServer server;
  server.configure(root.path.c_str());
  int port = server.getBoundPort();
  ASSERT_GT(port, 0);
  server.start();
  {
    testhttp::Connection browser(port);
    ASSERT_TRUE(browser.isOpen());
    testhttp::Response first = browser.get("/");
    EXPECT_EQ("HTTP/1.1 200 OK", first.statusLine);
    EXPECT_EQ("no-cache", first.header("Cache-Control"));
    EXPECT_NE(std::string::npos, first.body.find("name=\"submain\""));

    testhttp::Response in = browser.post("/?session=5072913846&page=1&action=16&requestId=2",
                                         "application/x-www-form-urlencoded",
                                         "username=admin&password=tarbo");
    std::string secret = in.sessionCookie();
    std::string id = in.sessionLink();
    ASSERT_FALSE(secret.empty());
    ASSERT_FALSE(id.empty());
    // The same connection without a session parameter or a cookie is a stranger; with the
    // cookie it is the new session.
    testhttp::Response stranger = browser.get("/?page=1");
    EXPECT_NE(std::string::npos, stranger.body.find("<BODY class=\"login\""));
    testhttp::Response frames = browser.get("/?page=1", {"Cookie: vistrel_session=" + secret});
    EXPECT_NE(std::string::npos, frames.body.find("name=\"main_frame\""));
    EXPECT_NE(std::string::npos, frames.body.find("/?page=2&requestId="));
    EXPECT_NE(std::string::npos, frames.body.find("&session=" + id));

    // The browser's tab icon.
    testhttp::Response favicon = browser.get("/favicon.ico");
    EXPECT_EQ("HTTP/1.1 200 OK", favicon.statusLine);
    EXPECT_EQ("image/x-icon", favicon.header("Content-Type"));
    EXPECT_EQ("8", favicon.header("Content-Length"));
  }
  server.stop();
  for (int i = 0; i < 50 && !server.isFinished(); ++i) sleepFor(0, 100);
  EXPECT_TRUE(server.isFinished());
}

// An installation of an older version holds its passwords in clear: the first start hashes
// them, and every account logs in with the password it had.
TEST(GServerLoopback, ClearPasswordsOfAnOlderInstallationLogInAsBefore) {
  testroot::TestRoot root(0);
  testclear::writeClearPasswords(root.path, {{"anna", "Lumen 7"}});
  GServer server;
  server.configure(root.path.c_str());
  int port = server.getBoundPort();
  ASSERT_GT(port, 0);
  server.start();
  std::string file = root.read("database/user.db");
  EXPECT_EQ(std::string::npos, file.find("tarbo"));
  EXPECT_EQ(std::string::npos, file.find("Lumen"));
  {
    testhttp::Connection browser(port);
    ASSERT_TRUE(browser.isOpen());
    const std::string login = "/?session=5072913846&page=1&action=16&requestId=2";
    const std::string form = "application/x-www-form-urlencoded";
    for (const char* account : {"username=admin&password=tarbo", "username=anna&password=Lumen+7"}) {
      EXPECT_FALSE(browser.post(login, form, account).header("Set-Cookie").empty()) << account;
    }
    testhttp::Response wrong = browser.post(login, form, "username=anna&password=Lumen");
    EXPECT_TRUE(wrong.header("Set-Cookie").empty());
    EXPECT_NE(std::string::npos, wrong.body.find("class=\"loginMessage\""));
  }
  server.stop();
  for (int i = 0; i < 50 && !server.isFinished(); ++i) sleepFor(0, 100);
  EXPECT_TRUE(server.isFinished());
}
