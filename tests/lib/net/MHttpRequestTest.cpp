#include <gtest/gtest.h>

#include "lib/net/MHttpRequest.h"

// The query string is told apart from a form body that params merges with it.
TEST(MHttpRequest, InQueryStringReadsTheUrlOnly) {
  struct Case {
    const char* url;
    const char* name;
    bool named;
  } cases[] = {
      {"/?session=1&User.password1=x", "User.password1", true},
      {"/?session=1&User.password1=", "User.password1", true},
      {"/?session=1&User%2Epassword1=x", "User.password1", true},
      {"/?session=1", "User.password1", false},
      {"/", "User.password1", false},
      {"/?a=1?User.password1=x", "User.password1", false},  // two "?": no query, as parsed
      {"/?password=x", "User.password1", false},
  };
  for (const Case& c : cases) {
    MHttpRequest request;
    request.url = c.url;
    // A value of a form body stands in params too, and does not count.
    request.params.setObject("User.password1", "from the body");
    EXPECT_EQ(c.named, request.inQueryString(c.name)) << c.url;
  }
}
