#include "tests/support/HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace testhttp {

std::string Response::header(const std::string& _name) const {
  for (const auto& h : headers) {
    if (h.first == _name) return h.second;
  }
  return "";
}

std::string Response::sessionCookie() const {
  const std::string prefix = "vistrel_session=";
  std::string cookie = header("Set-Cookie");
  if (cookie.compare(0, prefix.size(), prefix) != 0) return "";
  return cookie.substr(prefix.size(), cookie.find(';') - prefix.size());
}

std::string Response::sessionLink() const {
  const std::string mark = "session=";
  for (size_t at = body.find(mark); at != std::string::npos; at = body.find(mark, at + 1)) {
    size_t start = at + mark.size();
    size_t end = start;
    while (end < body.size() && body[end] >= '0' && body[end] <= '9') ++end;
    std::string id = body.substr(start, end - start);
    if (!id.empty() && id != "5072913846") return id;
  }
  return "";
}

bool Response::hasHeader(const std::string& _name) const {
  for (const auto& h : headers) {
    if (h.first == _name) return true;
  }
  return false;
}

Connection::Connection(int _port) : fd(socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons((unsigned short)_port);
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  if (connect(fd, (sockaddr*)&address, sizeof address) != 0) {
    close(fd);
    fd = -1;
  }
}

Connection::~Connection() {
  if (fd >= 0) close(fd);
}

bool Connection::fill() {
  char buffer[65536];
  ssize_t n = recv(fd, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  pending.append(buffer, (size_t)n);
  return true;
}

Response Connection::get(const std::string& _target, const std::vector<std::string>& _headers) {
  std::string request = "GET " + _target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!cookie.empty()) request += "Cookie: " + cookie + "\r\n";
  for (const auto& h : _headers) request += h + "\r\n";
  request += "\r\n";
  return exchange(request);
}

Response Connection::post(const std::string& _target, const std::string& _contentType,
                          const std::string& _body, const std::vector<std::string>& _headers) {
  std::string request = "POST " + _target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  request += "Content-Type: " + _contentType + "\r\n";
  request += "Content-Length: " + std::to_string(_body.size()) + "\r\n";
  if (!cookie.empty()) request += "Cookie: " + cookie + "\r\n";
  for (const auto& h : _headers) request += h + "\r\n";
  request += "\r\n";
  return exchange(request + _body);
}

Response Connection::exchange(const std::string& _request) {
  Response response;
  if (fd < 0) return response;
  // A large body may go out in several pieces.
  size_t sent = 0;
  while (sent < _request.size()) {
    ssize_t n = send(fd, _request.data() + sent, _request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return response;
    sent += (size_t)n;
  }
  size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    if (!fill()) return response;
  }
  std::string head = pending.substr(0, end);
  pending.erase(0, end + 4);
  size_t lineEnd = head.find("\r\n");
  response.statusLine = head.substr(0, lineEnd);
  size_t space = response.statusLine.find(' ');
  int status = space != std::string::npos ? atoi(response.statusLine.c_str() + space + 1) : 0;
  while (lineEnd != std::string::npos) {
    size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos
                                                                        : lineEnd - start);
    size_t colon = line.find(": ");
    if (colon != std::string::npos) {
      response.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
  }
  size_t length = (size_t)atol(response.header("Content-Length").c_str());
  while (pending.size() < length) {
    if (!fill()) return response;
  }
  response.body = pending.substr(0, length);
  pending.erase(0, length);
  response.status = status;
  return response;
}

}  // namespace testhttp
