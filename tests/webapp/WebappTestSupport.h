#ifndef VISTREL_TESTS_WEBAPP_WEBAPPTESTSUPPORT_H
#define VISTREL_TESTS_WEBAPP_WEBAPPTESTSUPPORT_H

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "db/GPasswordHash.h"
#include "lib/net/MHttpQuery.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/platform/MClock.h"
#include "tests/support/FakeApplication.h"
#include "tests/support/TestRoot.h"
#include "webapp/GServlet.h"

// Own namespace: the test programs link several support headers into one binary.
namespace webtest {

// Does what the server loop does for an answer that completes later: waits for its work and
// runs the last step under the handler's lock.
inline void finishLater(MHttpHandler& _handler, MHttpRequest& _request, MHttpResponse& _response) {
  if (!_response.later) return;
  for (int i = 0; i < 20000 && !_response.later->isReady(); ++i) sleepFor(0, 1);
  ASSERT_TRUE(_response.later->isReady()) << "the work of a later answer never completed";
  MLaterResponse::Finish finish = _response.later->take();
  _response.later.reset();
  _handler.finishRequest(finish, _request, _response);
}

// A servlet whose clock the test sets, starting at the real time.
class ClockedServlet : public GServlet {
 public:
  int now = (int)getTime();

 protected:
  int currentTime() override { return now; }
};

// One request and its answer, as the HTTP processor would hand them over.
struct Exchange {
  MHttpRequest request;
  MHttpResponse response;

  std::string body() {
    std::string text;
    response.content.setReadPos(0);
    char buffer[4096];
    int n;
    while ((n = response.content.readData(buffer, sizeof buffer)) > 0) text.append(buffer, (size_t)n);
    return text;
  }
  // A response header's text; "<none>" when it was not set.
  std::string header(const char* _name) {
    MObject* value = response.headers.getObject(_name);
    return value != nullptr ? value->toString().getValue() : "<none>";
  }
};

// A root, an application (time-out 600 s, languages eng and fra) and a started servlet.
class ServletTest : public testing::Test {
 protected:
  ServletTest() : application(root.path) {
    application.addLanguage("eng", "English", {"MENU_HELP", "Help"});
    application.addLanguage("fra", "Francais", {"MENU_HELP", "Aide"});
    application.mimeTypes.addObject("css", "text/css");
    servlet.init();
  }

  // Sends GET _target from _address:_port, with a Cookie header when _cookie is not empty.
  // _finish: also run the last step of an answer that completes later, as the loop would.
  void get(Exchange& _exchange, const std::string& _target, const std::string& _cookie = "",
           int _port = 40000, const char* _address = "127.0.0.1", bool _finish = true) {
    deliver(_exchange, "GET", _target, "", _cookie, _port, _address, _finish);
  }
  // The same as POST of a form body (application/x-www-form-urlencoded), as a page's form
  // sends it.
  void post(Exchange& _exchange, const std::string& _target, const std::string& _form,
            const std::string& _cookie = "", int _port = 40000,
            const char* _address = "127.0.0.1", bool _finish = true) {
    deliver(_exchange, "POST", _target, _form, _cookie, _port, _address, _finish);
  }
  void deliver(Exchange& _exchange, const char* _method, const std::string& _target,
            const std::string& _form, const std::string& _cookie, int _port,
            const char* _address, bool _finish) {
    MHttpRequest& request = _exchange.request;
    request.method = _method;
    request.version = "HTTP/1.1";
    request.url = _target.c_str();
    size_t question = _target.find('?');
    request.path = _target.substr(0, question).c_str();
    if (question != std::string::npos) {
      MHttpQuery::parse(_target.substr(question + 1).c_str(), request.params);
    }
    if (!_form.empty()) {
      request.headers.setObject("Content-Type", "application/x-www-form-urlencoded");
      std::string body = _form;
      request.content.writeData(&body[0], (int)body.size());
      MHttpQuery::parse(_form.c_str(), request.params, true);
    }
    request.remoteAddress.setAddress(_address);
    request.remotePort = _port;
    if (!_cookie.empty()) request.headers.setObject("Cookie", _cookie.c_str());
    servlet.dispatchRequest(request, _exchange.response);
    if (_finish) finishLater(servlet, request, _exchange.response);
  }

  // The login form's target, and the form it posts.
  static constexpr const char* loginTarget =
      "/?session=5072913846&page=1&action=16&requestId=1&tab_main=600";
  static std::string loginForm(const std::string& _username, const std::string& _password) {
    return "username=" + _username + "&password=" + _password;
  }

  // Logs the account in from port _port (the login form's post) and returns the new
  // session's identifier; cookieOf gives its cookie from then on.
  std::string logIn(const char* _username, const char* _password, int _port = 40000) {
    Exchange e;
    post(e, loginTarget, loginForm(_username, _password), "", _port);
    return sessionOf(e);
  }
  // The identifier of the session whose cookie the answer hands out (and remembers that
  // cookie for cookieOf); "<none>" without one.
  std::string sessionOf(Exchange& _exchange) {
    std::string secret = cookieSession(_exchange);
    GSession* session = servlet.getSessions().getSessionByCookie(secret.c_str());
    if (session == nullptr) return "<none>";
    cookies[session->id.getValue()] = "vistrel_session=" + secret;
    return session->id.getValue();
  }
  // The Cookie header of a browser that holds the session's cookie (for a session opened as
  // another user, the administrator's); empty for a session that logIn or sessionOf did
  // not see.
  std::string cookieOf(const std::string& _session) {
    GSession* session = servlet.getSessions().getSession(_session.c_str());
    if (session != nullptr && session->returnSessionId.getLength() > 0) {
      return cookieOf(session->returnSessionId.getValue());
    }
    auto found = cookies.find(_session);
    return found != cookies.end() ? found->second : "";
  }

  // The cookie secret that the answer's Set-Cookie hands out; "<none>" without one, empty
  // for a cookie that is taken back.
  static std::string cookieSession(Exchange& _exchange) {
    std::string cookie = _exchange.header("Set-Cookie");
    const std::string prefix = "vistrel_session=";
    if (cookie.compare(0, prefix.size(), prefix) != 0) return "<none>";
    return cookie.substr(prefix.size(), cookie.find(';') - prefix.size());
  }

  // An enabled ordinary account with this name and password; returns its id.
  int addUser(const char* _username, const char* _password, bool _enabled = true) {
    GUser user;
    user.username = _username;
    user.password = GPasswordHash::hash(_password);
    user.firstname = "Test";
    user.lastname = _username;
    user.enabled = _enabled;
    return application.database.addUser(user);
  }

  testroot::TestRoot root;
  testapp::FakeApplication application;
  ClockedServlet servlet;
  // Session identifier to the Cookie header of the browser that logged in.
  std::map<std::string, std::string> cookies;
};

}  // namespace webtest

#endif
