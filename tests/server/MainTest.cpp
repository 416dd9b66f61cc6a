#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/HttpClient.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TestRoot.h"

namespace {
const std::string kBinary = VISTREL_BINARY;
const std::string kUsage = "USAGE: vistrel <directory> [-install|-uninstall]\n";
}  // namespace

TEST(Main, WrongArgumentCountPrintsUsageAndFails) {
  const std::vector<std::vector<std::string>> cases = {
      {kBinary},
      {kBinary, "/tmp", "-dump", "extra"},
      {kBinary, "a", "b", "c", "d"},
  };
  for (const auto& args : cases) {
    std::string out, err;
    EXPECT_EQ(255, ProcessRunner::run(args, &out, &err)) << args.size();
    EXPECT_EQ(kUsage, err);
    EXPECT_EQ("", out);
  }
}

TEST(Main, ConsoleModePrintsBannerAndEndsOnTerminationSignal) {
  for (int sig : {SIGTERM, SIGINT}) {
    int port = testroot::freePort();
    testroot::TestRoot root(port);
    ProcessRunner p({kBinary, root.path, "-SomethingElse"});
    ASSERT_TRUE(p.waitForOutput("Server port", 10));
    p.signal(sig);
    ASSERT_TRUE(p.wait(5));
    EXPECT_EQ(0, p.exitCode());
    std::string stars(60, '*');
    std::string banner = "\n" + stars + "\n" + std::string(21, ' ') + "Vistrel 1.0\n" + stars +
                         "\n\n - Directory          : " + root.path +
                         "\n - Server port        : " + std::to_string(port) + "\n\n" + stars +
                         "\n" + stars + "\n";
    EXPECT_EQ(banner, p.out());
    EXPECT_EQ("", p.err());
  }
}

TEST(Main, MissingConfigurationPrintsTheChainAndFails) {
  testroot::TempDir root;
  std::string out, err;
  EXPECT_EQ(255, ProcessRunner::run({kBinary, root.path}, &out, &err));
  EXPECT_EQ("EXCEPTION [0][0] Operation failed!\n"
            "   -> int serviceStartFunction()\n\n"
            "  EXCEPTION [0][0] Operation failed!\n"
            "     -> void GServer::configure(char *_dir)\n\n"
            "    EXCEPTION [0][0] Operation failed!\n"
            "       -> void GServer::loadConfiguration()\n\n"
            "      EXCEPTION [0][0] Operation failed!\n"
            "         -> void MStorage::load(char *_filename)\n\n"
            "        EXCEPTION [0][0] Cannot open the file (" + root.path + "/config/config.cfg)!\n"
            "           -> ### FILE ###\n\n",
            out);
  EXPECT_EQ("", err);
}

TEST(Main, MissingTranslationFileNamesItsLoader) {
  testroot::TestRoot root;
  root.remove("config/translations.fra");
  std::string out, err;
  EXPECT_EQ(255, ProcessRunner::run({kBinary, root.path}, &out, &err));
  EXPECT_EQ(std::string::npos, out.find("Server port"));
  for (const std::string& line :
       {std::string("-> void GServer::loadLanguages()"),
        std::string("-> void GServer::loadTranslations(char *_language,MArray& _translations)"),
        "Cannot open the file (" + root.path + "/config/translations.fra)!"}) {
    EXPECT_NE(std::string::npos, out.find(line)) << line;
  }
}

TEST(Main, DumpNeedsOnlyTheDatabase) {
  testroot::TempDir root;
  testroot::TempDir work;
  mkdir((root.path + "/database").c_str(), 0755);
  std::string out, err;
  EXPECT_EQ(0, ProcessRunner::run({kBinary, root.path, "-DUMP"}, &out, &err, 10, work.path));
  EXPECT_EQ("", out);
  std::ifstream dump(work.path + "/vistrel_db.html");
  std::stringstream text;
  text << dump.rdbuf();
  EXPECT_NE(std::string::npos, text.str().find("<H1>Users</H1>"));
  EXPECT_NE(std::string::npos, text.str().find("</body></html>\n"));
  // Nothing else was touched: no configuration was needed, no port opened.
  EXPECT_EQ(416, (int)std::ifstream(root.path + "/database/user.db", std::ios::ate).tellg());
}

// The whole way a browser takes: the first page, the login page, the login, the main frames.
TEST(Main, ServesTheLoginPageAndTheMainFramesOverLoopback) {
  int port = testroot::freePort();
  testroot::TestRoot root(port);
  ProcessRunner p({kBinary, root.path});
  ASSERT_TRUE(p.waitForOutput("Server port", 10));
  {
    testhttp::Connection browser(port);
    ASSERT_TRUE(browser.isOpen());
    testhttp::Response first = browser.get("/");
    EXPECT_EQ(200, first.status);
    EXPECT_NE(std::string::npos,
              first.body.find("<FRAME name=\"submain\" src=\"/?session=5072913846&page=1&requestId=1\""));
    testhttp::Response login = browser.get("/?session=5072913846&page=1&requestId=1");
    EXPECT_NE(std::string::npos, login.body.find("<BODY class=\"login\""));
    EXPECT_NE(std::string::npos, login.body.find(">Login</TD>"));

    const std::string target = "/?session=5072913846&page=1&action=16&requestId=2&tab_main=600";
    const std::string form = "application/x-www-form-urlencoded";
    testhttp::Response wrong = browser.post(target, form, "username=admin&password=x");
    EXPECT_FALSE(wrong.hasHeader("Set-Cookie"));

    testhttp::Response in = browser.post(target, form, "username=admin&password=tarbo");
    std::string secret = in.sessionCookie();
    std::string id = in.sessionLink();
    ASSERT_EQ(24u, secret.size());
    ASSERT_EQ(24u, id.size());
    EXPECT_NE(std::string::npos, in.body.find("src=\"/?session=" + id + "&page=1&requestId="));

    // The browser sends the cookie from now on.
    browser.setCookie("vistrel_session=" + secret);
    testhttp::Response frames = browser.get("/?session=" + id + "&page=1&requestId=5");
    EXPECT_NE(std::string::npos, frames.body.find("name=\"main_frame\""));
    EXPECT_NE(std::string::npos, frames.body.find("<FRAME name=\"area\" src=\"/?session=" + id));
    testhttp::Response top = browser.get("/?page=3");
    EXPECT_NE(std::string::npos, top.body.find("System Administrator"));
    testhttp::Response intro = browser.get("/?session=" + id + "&page=600");
    EXPECT_EQ("<HTML><BODY>Welcome</BODY></HTML>\n", intro.body);
    // A page of a logged-in session: never shown again from the browser's cache.
    EXPECT_EQ("no-store", intro.header("Cache-Control"));
    testhttp::Response css = browser.get("/style.css");
    EXPECT_EQ("text/css", css.header("Content-Type"));
  }
  p.signal(SIGINT);
  ASSERT_TRUE(p.wait(5));
  EXPECT_EQ(0, p.exitCode());
}
