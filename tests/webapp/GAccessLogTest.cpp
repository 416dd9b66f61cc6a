#include "webapp/GAccessLog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// What a request's target becomes in the log: numbers under harmless names stay, anything
// that could open a session, a link or an account goes.
TEST(GAccessLogTest, TargetsKeepNothingThatOpensAnything) {
  struct Case {
    const char* target;
    const char* logged;
  };
  const Case cases[] = {
      {"/", "/"},
      {"/style.css", "/style.css"},
      {"/?page=405&Folder.id=3&pagenum=2", "/?page=405&Folder.id=3&pagenum=2"},
      {"/?session=123456789012345678901234&page=405", "/?session=-&page=405"},
      {"/?page=1&password=secret&username=eva", "/?page=1&password=-&username=-"},
      {"/?User.password1=12345678", "/?User.password1=-"},
      {"/?api_key=42&Token=7", "/?api_key=-&Token=-"},
      {"/?action=18&keywords=summer%20holiday", "/?action=18&keywords=-"},
      {"/?page=&flag", "/?page=-&flag"},
      {"/?page=1234567890123", "/?page=-"},
      {"/s/Abc_def-123/", "/s/-/"},
      {"/s/Abc_def-123", "/s/-"},
      {"/s/Abc/picture/4?session=9", "/s/-/picture/4?session=-"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.logged, GAccessLog::loggedTarget(c.target)) << c.target;
  }
}

TEST(GAccessLogTest, AccessLineIsOneCombinedLine) {
  GAccessLog::Entry entry;
  entry.client = "203.0.113.7";
  entry.time = 1796904936;  // 2026-12-10 12:15:36 UTC
  entry.method = "GET";
  entry.target = "/?session=99&page=405";
  entry.version = "HTTP/1.1";
  entry.status = 200;
  entry.bytes = 5120;
  entry.referer = "https://photos.example/?session=99&page=3";
  entry.userAgent = "Agent \"quoted\"\r\nForged: line";
  entry.micros = 812;
  EXPECT_EQ(
      "203.0.113.7 - - [10/Dec/2026:12:15:36 +0000] \"GET /?session=-&page=405 HTTP/1.1\" 200 "
      "5120 \"https://photos.example/?session=-&page=3\" "
      "\"Agent \\x22quoted\\x22\\x0D\\x0AForged: line\" 812",
      GAccessLog::accessLine(entry));

  GAccessLog::Entry bare;
  bare.time = 0;
  bare.method = "GET";
  bare.target = "/";
  bare.version = "HTTP/1.0";
  bare.status = 400;
  EXPECT_EQ("- - - [01/Jan/1970:00:00:00 +0000] \"GET / HTTP/1.0\" 400 0 \"-\" \"-\" 0",
            GAccessLog::accessLine(bare));
}

TEST(GAccessLogTest, LoginLineEndsWithTheRealAddress) {
  // A name cannot close its quotes nor add an address of its own after them.
  EXPECT_EQ("2026-12-10T12:15:36Z vistrel login failed for \"eve\\x22 from 10.0.0.1\" from "
            "203.0.113.7",
            GAccessLog::loginLine(1796904936, "failed", "eve\" from 10.0.0.1", "203.0.113.7"));
}

}  // namespace
