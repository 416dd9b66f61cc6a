#include <gtest/gtest.h>

#include <string>

#include "tests/webapp/WebappTestSupport.h"
#include "views/GSession.h"
#include "webapp/GClientAddress.h"
#include "webapp/GRequestIdentity.h"

using webtest::Exchange;

namespace {

const std::string guestFrameSet =
    "<HTML>\n<HEAD>\n<META name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<TITLE>Vistrel 1.0</TITLE>\n<LINK rel=\"stylesheet\" href=\"/style.css\">\n"
    "<SCRIPT language=\"JavaScript\" src=\"/scripts.js\" type=\"text/javascript\"></SCRIPT>\n"
    "</HEAD>\n"
    "<FRAMESET rows=\"100%\" name=\"main\" border=\"0\">\n"
    "<FRAME name=\"submain\" src=\"/?session=5072913846&page=1&requestId=%d\" noresize "
    "scrolling=\"no\"></frame>\n</FRAMESET>\n</HTML>\n";

std::string frameSet(const std::string& _session, int _requestId) {
  std::string text = guestFrameSet;
  text.replace(text.find("5072913846"), 10, _session);
  text.replace(text.find("%d"), 2, std::to_string(_requestId));
  return text;
}

const std::string expiredPage =
    "<HTML><BODY onLoad=\"top.location.replace('/?login=expired');\"></BODY></HTML>\n";
const std::string loggedOutPage =
    "<HTML><BODY onLoad=\"top.location.replace('/?login=loggedout');\"></BODY></HTML>\n";

class GServletTest : public webtest::ServletTest {};

const std::string clearedCookie =
    "vistrel_session=; Path=/; HttpOnly; SameSite=Lax; Max-Age=0";

}  // namespace

TEST_F(GServletTest, TheFaviconIsTheWebDirectorysFileForEverybody) {
  std::string id = logIn("admin", "tarbo");
  // Without the file: not found, and nothing else.
  Exchange missing;
  get(missing, "/favicon.ico", "", 40001);
  EXPECT_EQ(404, missing.response.statusCode);
  EXPECT_STREQ("NOT FOUND", missing.response.statusText.getValue());
  EXPECT_EQ("", missing.body());
  EXPECT_EQ("<none>", missing.header("Cache-Control"));

  application.mimeTypes.addObject("ico", "image/x-icon");
  root.write("web/favicon.ico", std::string("\0\0\1\0icon", 8));
  for (std::string target : {std::string("/favicon.ico"), "/favicon.ico?session=" + id}) {
    Exchange e;
    get(e, target, "", 40001);
    EXPECT_EQ(200, e.response.statusCode) << target;
    EXPECT_EQ(std::string("\0\0\1\0icon", 8), e.body());
    EXPECT_STREQ("image/x-icon", e.response.contentType.getValue());
    EXPECT_EQ("max-age=1000000", e.header("Cache-Control"));
    EXPECT_EQ("<none>", e.header("Set-Cookie"));
  }
}

TEST_F(GServletTest, EveryAnswerForbidsFramingBySitesAndReferers) {
  std::string id = logIn("admin", "tarbo");
  for (std::string target : {std::string("/favicon.ico"), std::string("/"),
                             "/?session=" + id + "&page=600", std::string("/style.css"),
                             std::string("/nosuch.txt"), "/?session=" + id + "&page=603"}) {
    Exchange e;
    get(e, target, cookieOf(id));
    EXPECT_EQ("SAMEORIGIN", e.header("X-Frame-Options")) << target;
    EXPECT_EQ("frame-ancestors 'self'", e.header("Content-Security-Policy")) << target;
    EXPECT_EQ("nosniff", e.header("X-Content-Type-Options")) << target;
    EXPECT_EQ("same-origin", e.header("Referrer-Policy")) << target;
  }
}

TEST_F(GServletTest, FirstVisitGetsTheOuterFrameSetOfTheGuest) {
  Exchange e;
  get(e, "/");
  EXPECT_EQ(200, e.response.statusCode);
  EXPECT_EQ(frameSet("5072913846", 1), e.body());
  EXPECT_EQ("no-cache", e.header("Cache-Control"));
  EXPECT_STREQ("text/html; charset=UTF-8", e.response.contentType.getValue());
  EXPECT_EQ("<none>", e.header("Set-Cookie"));
  Exchange again;
  get(again, "/");
  EXPECT_EQ(frameSet("5072913846", 2), again.body());
}

TEST_F(GServletTest, LoginOpensASessionThatOnlyItsCookieOrItsIdentifierReaches) {
  Exchange e;
  post(e, loginTarget, loginForm("admin", "tarbo"));
  std::string secret = cookieSession(e);
  std::string id = sessionOf(e);
  ASSERT_EQ((size_t)GSessionManagement::idLength, id.size());
  ASSERT_EQ((size_t)GSessionManagement::idLength, secret.size());
  // Two secrets: the links carry the identifier, the cookie another value.
  EXPECT_NE(id, secret);
  EXPECT_EQ(std::string::npos, e.body().find(secret));
  EXPECT_EQ("vistrel_session=" + secret + "; Path=/; HttpOnly; SameSite=Lax", e.header("Set-Cookie"));
  // The browser's history keeps the plain address, neither the login request nor the
  // session's identifier.
  std::string expected = frameSet(id, 1);
  expected.insert(expected.find("<FRAMESET rows=\"100%\" name=\"main\" border=\"0\"") + 44,
                  " onLoad=\"history.replaceState(null,'','/')\"");
  EXPECT_EQ(expected, e.body());
  GSession* session = servlet.getSessions().getSession(id.c_str());
  ASSERT_NE(nullptr, session);
  EXPECT_EQ(0, session->user.id);

  // The same address and port without a session parameter or a cookie is a stranger: a
  // port is reused by anyone behind the same proxy, NAT or host.
  Exchange sameClient;
  get(sameClient, "/?page=3");
  EXPECT_EQ(std::string::npos, sameClient.body().find("System Administrator"));
  EXPECT_EQ(std::string::npos, sameClient.body().find(id));
  Exchange sameClientRoot;
  get(sameClientRoot, "/");
  EXPECT_EQ(frameSet("5072913846", 2), sameClientRoot.body());
  // The cookie reaches the session, by its name among other cookies or as the bare value
  // earlier versions set; the identifier as a cookie does not.
  for (std::string cookie : {"vistrel_session=" + secret,
                             "theme=dark; vistrel_session=" + secret + "; x=1", secret,
                             "a=b; " + secret}) {
    Exchange withCookie;
    get(withCookie, "/?page=3", cookie, 40002);
    EXPECT_NE(std::string::npos, withCookie.body().find("System Administrator")) << cookie;
  }
  Exchange idAsCookie;
  get(idAsCookie, "/?page=3", "vistrel_session=" + id, 40002);
  EXPECT_EQ(std::string::npos, idAsCookie.body().find("System Administrator"));
  // A session of one's own is never overridden by what the connection carried before.
  addUser("dora", "pw");
  std::string dora = logIn("dora", "pw", 40000);
  Exchange own;
  get(own, "/?page=3", cookieOf(dora), 40000);
  EXPECT_EQ(std::string::npos, own.body().find("System Administrator"));
  EXPECT_NE(std::string::npos, own.body().find("dora"));
  // A stranger is the guest, whose top bar is empty.
  Exchange stranger;
  get(stranger, "/?page=3", "", 40003);
  EXPECT_EQ("", stranger.body());
  EXPECT_EQ("no-cache", stranger.header("Cache-Control"));

  // A page that no view has is the outer frame set again.
  for (const char* page : {"12345", "-7", "abc"}) {
    Exchange unknown;
    get(unknown, ("/?session=" + id + "&page=" + page).c_str(), cookieOf(id));
    EXPECT_NE(std::string::npos, unknown.body().find("<FRAMESET")) << page;
  }
  // Without a page it is the outer frame set, as on the first visit.
  Exchange plain;
  get(plain, ("/?session=" + id).c_str(), cookieOf(id));
  EXPECT_NE(std::string::npos, plain.body().find("<FRAMESET"));
}

TEST_F(GServletTest, UnknownSessionFallsBackToTheGuest) {
  for (const char* target : {"/?session=999&page=1", "/?session=%3Cb%3E&page=1"}) {
    Exchange e;
    get(e, target);
    EXPECT_NE(std::string::npos, e.body().find("<BODY class=\"login\"")) << target;
    // A page of an ended session says why the login page is shown.
    EXPECT_NE(std::string::npos, e.body().find("MESSAGE_LOGGED_OUT")) << target;
  }
  // Any other page of it replaces the whole window with the login page, rather than putting
  // the login page into one frame beside the pages of the user who left.
  for (const char* target : {"/?session=999&page=4", "/?session=999&page=400&Folder.id=2",
                             "/?session=999", "/?session=999&page=403"}) {
    Exchange e;
    get(e, target);
    EXPECT_EQ(loggedOutPage, e.body()) << target;
  }
  // The guest's own pages and files are not affected.
  Exchange guest;
  get(guest, "/?session=5072913846&page=4");
  EXPECT_EQ("", guest.body());
  Exchange cookie;
  get(cookie, "/?page=1", "not-a-session", 40009);
  EXPECT_NE(std::string::npos, cookie.body().find("<BODY class=\"login\""));
}

TEST_F(GServletTest, IdleSessionsEndOnTheirNextRequest) {
  addUser("anna", "pw");
  std::string id = logIn("anna", "pw");
  servlet.now += 600;  // exactly the time-out: still alive
  Exchange alive;
  get(alive, "/?session=" + id + "&page=2", cookieOf(id));
  EXPECT_NE(expiredPage, alive.body());

  servlet.now += 601;
  Exchange e;
  get(e, "/?session=" + id + "&page=2", cookieOf(id));
  EXPECT_EQ(expiredPage, e.body());
  EXPECT_EQ(clearedCookie, e.header("Set-Cookie"));
  EXPECT_EQ(nullptr, servlet.getSessions().getSession(id.c_str()));
}

TEST_F(GServletTest, AdministratorsExpireAfterTheirOwnTimeOutAndTheGuestNever) {
  application.adminTimeout = 30;  // minutes; ordinary sessions: 600 seconds
  int anna = addUser("anna", "pw");
  std::string id = logIn("admin", "tarbo");
  servlet.now += 1800;  // exactly the time-out: still alive
  Exchange admin;
  get(admin, "/?session=" + id + "&page=2", cookieOf(id));
  EXPECT_NE(std::string::npos, admin.body().find("<BODY class=\"title\">"));
  // A session opened as another user counts as the administrator's.
  Exchange open;
  get(open, "/?session=" + id + "&page=0&action=16&requestId=5&User.id=" + std::to_string(anna),
      cookieOf(id));
  GSession* opened = nullptr;
  for (GSession* s : servlet.getSessions().getAll()) {
    if (s->returnSessionId.getLength() > 0) opened = s;
  }
  ASSERT_NE(nullptr, opened);
  std::string openedId = opened->id.getValue();
  servlet.now += 1000;  // beyond an ordinary session's time-out
  Exchange asAnna;
  get(asAnna, "/?session=" + openedId + "&page=2", cookieOf(id));
  EXPECT_NE(std::string::npos, asAnna.body().find("<BODY class=\"title\">"));

  servlet.now += 1801;
  Exchange late;
  get(late, "/?session=" + id + "&page=2", cookieOf(id));
  EXPECT_EQ(expiredPage, late.body());
  EXPECT_EQ(clearedCookie, late.header("Set-Cookie"));
  EXPECT_EQ(nullptr, servlet.getSessions().getSession(id.c_str()));
  servlet.now += 100000;
  Exchange guest;
  get(guest, "/?session=5072913846&page=1");
  EXPECT_NE(std::string::npos, guest.body().find("<BODY class=\"login\""));
}

TEST_F(GServletTest, ExpiryRunAtMostEveryTenSeconds) {
  addUser("bert", "pw");
  std::string id = logIn("bert", "pw", 40007);
  servlet.getSessions().getSession(id.c_str())->lastAccess -= 700;

  servlet.now += 10;
  Exchange early;
  get(early, "/?session=5072913846", "", 40008);
  EXPECT_NE(nullptr, servlet.getSessions().getSession(id.c_str()));

  servlet.now += 1;
  Exchange late;
  get(late, "/?session=5072913846", "", 40008);
  EXPECT_EQ(nullptr, servlet.getSessions().getSession(id.c_str()));
}

TEST_F(GServletTest, OriginalImagesNeedTheDownloadRight) {
  root.write("web/images/original/0000001.jpg", "JPEGDATA");
  addUser("carl", "pw");
  std::string user = logIn("carl", "pw", 40010);
  std::string admin = logIn("admin", "tarbo", 40011);
  const std::string target = "/images/original/0000001.jpg?x=<script>alert(1)</script>";
  const std::string refused =
      "<HTML><BODY>Url not found /images/original/0000001.jpg?x=&lt;script&gt;alert(1)"
      "&lt;/script&gt;</BODY><HTML>\n";

  Exchange guest;
  get(guest, target, "", 40012);
  EXPECT_EQ(refused, guest.body());
  Exchange withoutRight;
  get(withoutRight, target, cookieOf(user), 40010);
  EXPECT_EQ(refused, withoutRight.body());
  Exchange allowed;
  get(allowed, target, cookieOf(admin), 40011);
  EXPECT_EQ("JPEGDATA", allowed.body());
}

TEST_F(GServletTest, CacheControlByKindOfAnswer) {
  std::string id = logIn("admin", "tarbo");
  struct Case {
    std::string target;
    bool loggedIn;
    const char* cacheControl;
  };
  const Case cases[] = {
      // The pages of a logged-in session are not kept: Back after a log-out cannot show them.
      {"/?page=1", true, "no-store"},
      {"/?page=600", true, "no-store"},
      {"/?page=107", true, "no-store"},
      {"/style.css", true, "max-age=1000000"},
      {"/?page=403", true, "no-store"},  // no view, no file: "/" shows page 0 again
      {"/nosuch.txt", true, "max-age=1000000"},
      {"/style.css", false, "no-cache"},
      {"/?page=600", false, "no-cache"},
      {"/?page=1", false, "no-cache"},
  };
  for (const Case& c : cases) {
    Exchange e;
    get(e, c.target, c.loggedIn ? cookieOf(id) : "", c.loggedIn ? 40000 : 40020);
    EXPECT_EQ(c.cacheControl, e.header("Cache-Control")) << c.target << c.loggedIn;
  }
  // The guest reaches no page of the information view: page 600 at "/" is page 0.
  Exchange guestIntro;
  get(guestIntro, "/?page=600", "", 40020);
  EXPECT_NE(std::string::npos, guestIntro.body().find("name=\"submain\""));
  Exchange intro;
  get(intro, "/?session=" + id + "&page=600", cookieOf(id));
  EXPECT_EQ("<HTML><BODY>Welcome</BODY></HTML>\n", intro.body());
  Exchange css;
  get(css, "/style.css", "", 40020);
  EXPECT_EQ("body { margin: 0; }\n", css.body());
  EXPECT_STREQ("text/css", css.response.contentType.getValue());
}

TEST_F(GServletTest, OnlyRequestsThatNameTheirSessionMayAct) {
  std::string id = logIn("admin", "tarbo");
  // Attributed by the cookie alone: the action is dropped, and so cannot travel on into the
  // links of the page either.
  Exchange byCookie;
  get(byCookie, "/?page=1&action=10&User.id=5&requestId=77", cookieOf(id), 40030);
  EXPECT_NE(std::string::npos, byCookie.body().find("name=\"main_frame\""));
  EXPECT_EQ(std::string::npos, byCookie.body().find("action="));
  EXPECT_EQ(nullptr, byCookie.request.params.getObject("action"));

  // A login carries its own credentials and needs no session parameter.
  Exchange login;
  post(login, "/?action=16", loginForm("admin", "tarbo"), "", 40031);
  EXPECT_EQ((size_t)GSessionManagement::idLength, cookieSession(login).size());
}

TEST_F(GServletTest, TheBrowsersAddressAndSchemeBehindTheConfiguredProxyOnly) {
  struct Case {
    const char* proxy;
    const char* forwarded;  // nullptr: no header
    const char* address;
    const char* proto;  // X-Forwarded-Proto, nullptr: none
    bool https;
  };
  const Case cases[] = {
      {"", "192.0.2.7", "127.0.0.1", "https", false},  // no proxy: the headers prove nothing
      {"127.0.0.1", "192.0.2.7", "192.0.2.7", "https", true},
      {"127.0.0.1", "10.0.0.1, 192.0.2.7", "192.0.2.7", "HTTPS", true},  // the browser's own claim comes first
      {"127.0.0.1", " 198.51.100.2 ", "198.51.100.2", "http", false},
      {"127.0.0.1", nullptr, "127.0.0.1", nullptr, false},
      {"10.9.9.9", "192.0.2.7", "127.0.0.1", "https", false},  // not from the proxy
  };
  for (const Case& c : cases) {
    application.proxyAddress = c.proxy;
    MHttpRequest request;
    request.remoteAddress.setAddress("127.0.0.1");
    if (c.forwarded != nullptr) request.headers.setObject("x-forwarded-for", c.forwarded);
    if (c.proto != nullptr) request.headers.setObject("X-Forwarded-Proto", c.proto);
    EXPECT_STREQ(c.address, GClientAddress::of(request).getValue()) << c.proxy;
    EXPECT_EQ(c.https, GRequestIdentity::isHttps(request)) << c.proxy << " " << c.proto;
  }
  // Through a proxy that says HTTPS the cookie goes out Secure, and comes back so.
  application.proxyAddress = "127.0.0.1";
  Exchange login;
  post(login, "/?session=5072913846&page=1&action=16&requestId=1", "username=admin&password=tarbo");
  EXPECT_EQ(std::string::npos, login.header("Set-Cookie").find("Secure"));
  Exchange secure;
  secure.request.headers.setObject("X-Forwarded-Proto", "https");
  post(secure, "/?session=5072913846&page=1&action=16&requestId=2", "username=admin&password=tarbo");
  std::string id = sessionOf(secure);
  EXPECT_EQ("vistrel_session=" + cookieSession(secure) + "; Path=/; HttpOnly; SameSite=Lax; Secure",
            secure.header("Set-Cookie"));
  Exchange out;
  out.request.headers.setObject("X-Forwarded-Proto", "https");
  get(out, "/?session=" + id + "&page=1&action=17&requestId=3", cookieOf(id));
  EXPECT_EQ(clearedCookie + "; Secure", out.header("Set-Cookie"));
}

namespace {

// An application whose MIME look-up fails, to reach the failure page.
class FailingApplication : public testapp::FakeApplication {
 public:
  using FakeApplication::FakeApplication;
  MString* getMimeType(const char*) override {
    throw MException("### TEST ###", "<b>broken</b>");
  }
};

}  // namespace

TEST(GServlet, FailuresBecomeAnEscapedPage) {
  testroot::TestRoot root;
  FailingApplication application(root.path);
  webtest::ClockedServlet servlet;
  servlet.init();
  MHttpRequest request;
  MHttpResponse response;
  request.url = "/style.css";
  request.path = "/style.css";
  servlet.dispatchRequest(request, response);
  std::string body;
  response.content.setReadPos(0);
  char buffer[2048];
  int n;
  while ((n = response.content.readData(buffer, sizeof buffer)) > 0) body.append(buffer, (size_t)n);
  EXPECT_EQ(
      "<HTML><BODY><PRE>"
      "EXCEPTION Operation failed! [void GServlet::event_httpRequest(MHttpRequest&amp; "
      "_request,MHttpResponse&amp; _response)]\n"
      "- EXCEPTION Operation failed! [bool GFileDelivery::serveFile(MHttpRequest&amp; "
      "_request,MHttpResponse&amp; _response)]\n"
      "- EXCEPTION &lt;b&gt;broken&lt;/b&gt; [### TEST ###]\n"
      "</PRE></BODY><HTML>\n",
      body);
  EXPECT_EQ(200, response.statusCode);
  EXPECT_STREQ("no-cache", response.headers.getObject("Cache-Control")->toString().getValue());
}
