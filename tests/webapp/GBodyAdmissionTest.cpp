#include <gtest/gtest.h>

#include <string>

#include "lib/net/MHttpProcessor.h"
#include "tests/webapp/WebappTestSupport.h"

namespace {

class GBodyAdmissionTest : public webtest::ServletTest {
 protected:
  // The decision on a POST to _target with a body of _length bytes.
  MHttpHandler::BodyDecision decide(const std::string& _target, int _length,
                                    const std::string& _cookie = "",
                                    const char* _address = "192.0.2.7",
                                    const char* _forwardedFor = nullptr) {
    MHttpRequest request;
    request.method = "POST";
    request.url = _target.c_str();
    size_t question = _target.find('?');
    request.path = _target.substr(0, question).c_str();
    if (question != std::string::npos) {
      MHttpQuery::parse(_target.substr(question + 1).c_str(), request.params);
    }
    request.remoteAddress.setAddress(_address);
    request.contentLength = _length;
    if (!_cookie.empty()) request.headers.setObject("Cookie", _cookie.c_str());
    if (_forwardedFor != nullptr) request.headers.setObject("X-Forwarded-For", _forwardedFor);
    return servlet.decideBody(request);
  }
  int uploader(const char* _username, bool _right) {
    int id = addUser(_username, "pw");
    GUser user;
    application.database.getUser(id, user);
    user.imageUpload = _right;
    application.database.updateUser(id, user);
    return id;
  }
};

}  // namespace

// Large bodies only for an upload of a session whose stored account may upload; small ones
// from anybody. Nothing of the body has been read when this is decided.
TEST_F(GBodyAdmissionTest, OnlyUploadsOfUsersWithTheRightMaySendLargeBodies) {
  uploader("may", true);
  uploader("maynot", false);
  int gone = uploader("gone", true);
  std::string may = logIn("may", "pw");
  std::string mayNot = logIn("maynot", "pw");
  std::string goneSession = logIn("gone", "pw");
  application.database.deleteUser(gone);
  // The session still believes in its right; the stored account decides.
  servlet.getSessions().getSession(mayNot.c_str())->user.imageUpload = true;

  const int small = MHttpProcessor::maxMemoryBody;
  const int large = MHttpProcessor::maxMemoryBody + 1;
  const std::string upload = "&page=108&requestId=7&action=11&pagenum=1";
  struct Case {
    const char* what;
    std::string target;
    int length;
    std::string cookie;
    int status;
  } cases[] = {
      {"a small body from nobody", "/?page=1&action=16", small, "", 0},
      {"a large body from nobody", "/?page=1", large, "", 413},
      {"an upload of the guest session", "/?session=5072913846" + upload, large, "", 413},
      {"an upload of an unknown session", "/?session=123456789012345678901234" + upload, large, "", 413},
      {"an upload with the right", "/?session=" + may + upload, large, cookieOf(may), 0},
      {"the largest body, still read to say it is too large", "/?session=" + may + upload,
       2000000000, cookieOf(may), 0},
      {"an upload named by the cookie only", "/?page=108&requestId=8&action=11", large,
       cookieOf(may), 0},
      {"an upload of a link copied without its cookie", "/?session=" + may + upload, large, "",
       413},
      {"another action of that session", "/?session=" + may + "&page=108&action=13", large,
       cookieOf(may), 413},
      {"no action", "/?session=" + may + "&page=108", large, cookieOf(may), 413},
      {"an upload without the right", "/?session=" + mayNot + upload, large, cookieOf(mayNot),
       413},
      {"an upload of a deleted account", "/?session=" + goneSession + upload, large,
       cookieOf(goneSession), 413},
  };
  for (const Case& c : cases) {
    MHttpHandler::BodyDecision decision = decide(c.target, c.length, c.cookie);
    EXPECT_EQ(c.status, decision.status) << c.what;
    EXPECT_EQ(0, decision.retryAfter) << c.what;
    EXPECT_EQ("192.0.2.7", std::string(decision.client.getValue())) << c.what;
  }
}

// Bodies are counted against the browser, also behind the configured proxy.
TEST_F(GBodyAdmissionTest, BodiesCountAgainstTheBrowsersAddress) {
  application.proxyAddress = "127.0.0.1";
  struct Case {
    const char* address;
    const char* forwarded;
    const char* client;
  } cases[] = {
      {"127.0.0.1", "198.51.100.4", "198.51.100.4"},
      {"127.0.0.1", "10.0.0.1, 198.51.100.5", "198.51.100.5"},
      {"192.0.2.9", "198.51.100.4", "192.0.2.9"},
      {"127.0.0.1", nullptr, "127.0.0.1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.client, std::string(decide("/?page=1", 100, "", c.address, c.forwarded).client.getValue()))
        << c.address << " " << (c.forwarded ? c.forwarded : "");
  }
}
