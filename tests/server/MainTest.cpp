#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "tests/support/ProcessRunner.h"

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
  char dir[] = "/tmp/vistrel-main-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  for (int sig : {SIGTERM, SIGINT}) {
    ProcessRunner p({kBinary, dir, "-SomethingElse"});
    ASSERT_TRUE(p.waitForOutput("Server port", 10));
    p.signal(sig);
    ASSERT_TRUE(p.wait(5));
    EXPECT_EQ(0, p.exitCode());
    std::string stars(60, '*');
    std::string banner = "\n" + stars + "\n" + std::string(21, ' ') + "Vistrel 1.0\n" + stars +
                         "\n\n - Directory          : " + dir +
                         "\n - Server port        : 9400\n\n" + stars + "\n" + stars + "\n";
    EXPECT_EQ(banner, p.out());
  }
  rmdir(dir);
}
