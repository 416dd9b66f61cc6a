#ifndef VISTREL_TESTS_HTTPCLIENT_H
#define VISTREL_TESTS_HTTPCLIENT_H

#include <string>
#include <utility>
#include <vector>

// Own namespace: the test programs link several support headers into one binary.
namespace testhttp {

struct Response {
  // 0 when no complete response arrived.
  int status = 0;
  std::string statusLine;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The value of the first header of that name, "" when there is none.
  std::string header(const std::string& _name) const;
  bool hasHeader(const std::string& _name) const;
  // The cookie secret that Set-Cookie hands out, "" when it hands out none.
  std::string sessionCookie() const;
  // The first session identifier in the links of the body other than the guest's, "" when
  // there is none.
  std::string sessionLink() const;
};

// One keep-alive HTTP/1.1 connection to a server on the loopback address. Every wait is
// bounded (10 seconds), so a server that does not answer fails the test instead of hanging.
class Connection {
 public:
  explicit Connection(int _port);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool isOpen() const { return fd >= 0; }
  // Sends "GET _target HTTP/1.1" with the given extra header lines ("Name: value") and reads
  // the response, whose body length the Content-Length header gives.
  Response get(const std::string& _target, const std::vector<std::string>& _headers = {});
  // Sends "POST _target HTTP/1.1" with the body, its Content-Type and Content-Length, and
  // the given extra header lines, and reads the response.
  Response post(const std::string& _target, const std::string& _contentType,
                const std::string& _body, const std::vector<std::string>& _headers = {});
  // A Cookie header value sent with every later request, as a browser that holds the cookie
  // does; empty: none.
  void setCookie(const std::string& _cookie) { cookie = _cookie; }

 private:
  bool fill();
  Response exchange(const std::string& _request);
  int fd;
  std::string pending;
  std::string cookie;
};

}  // namespace testhttp

#endif
