#ifndef VISTREL_GACCESSLOG_H
#define VISTREL_GACCESSLOG_H

#include <cstdint>
#include <ctime>
#include <string>

// The lines of the server's two logs, kept apart from where they go (MLogFile).
//
// Access lines are in the combined log format that log tools read, with the answer time in
// microseconds last:
//   <client> - - [10/Dec/2026:13:55:36 +0000] "GET /?page=405&session=- HTTP/1.1" 200 5120
//   "<referer>" "<user agent>" 1234
// (one line). Nothing that opens anything stands in them: in the address and in the referer,
// the values of query parameters are kept only when they are plain numbers under a name
// that carries no secret, others become "-", and the token of a shared link's path becomes
// "-" too. Quotes, backslashes and control characters of what the client sent are written as
// \xNN, so that a line stays one line with its fields where they belong.
//
// Login lines, one fixed form for tools such as fail2ban, the address always last:
//   2026-12-10T13:55:36Z vistrel login failed for "<user name>" from <client>
//   2026-12-10T13:55:36Z vistrel login throttled for "<user name>" from <client>
class GAccessLog {
 public:
  struct Entry {
    std::string client;
    time_t time = 0;
    std::string method;
    std::string target;
    std::string version;
    int status = 0;
    long long bytes = 0;
    std::string referer;
    std::string userAgent;
    uint64_t micros = 0;
  };

  static std::string accessLine(const Entry& _entry);
  // _what: "failed" or "throttled".
  static std::string loginLine(time_t _time, const char* _what, const std::string& _user,
                               const std::string& _client);
  // The request's target (path and query) as it may stand in a log.
  static std::string loggedTarget(const std::string& _target);
  // What a client sent, made safe to stand between quotes in one line.
  static std::string quoted(const std::string& _text);
};

#endif
