#include "webapp/GAccessLog.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// Parameter names whose values may open something even when they are numbers.
bool namesSecret(const std::string& _name) {
  std::string lower;
  for (char c : _name) lower += (char)tolower((unsigned char)c);
  for (const char* word : {"session", "pass", "token", "secret", "cookie", "key"}) {
    if (lower.find(word) != std::string::npos) return true;
  }
  return false;
}

bool isNumber(const std::string& _value) {
  if (_value.empty() || _value.size() > 12) return false;
  for (char c : _value) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Shared links carry their token as the second step of the path: /s/<token>[/...].
std::string loggedPath(const std::string& _path) {
  if (_path.compare(0, 3, "/s/") != 0) return _path;
  size_t end = _path.find('/', 3);
  return "/s/-" + (end == std::string::npos ? std::string() : _path.substr(end));
}

}  // namespace

std::string GAccessLog::loggedTarget(const std::string& _target) {
  size_t question = _target.find('?');
  std::string logged = loggedPath(_target.substr(0, question));
  if (question == std::string::npos) return logged;
  logged.reserve(_target.size() + 8);
  // One pass over the pairs: each name as it stands, each value kept or replaced.
  const char* p = _target.c_str() + question + 1;
  const char* end = _target.c_str() + _target.size();
  logged += '?';
  while (p <= end) {
    const char* pairEnd = static_cast<const char*>(memchr(p, '&', (size_t)(end - p)));
    if (pairEnd == nullptr) pairEnd = end;
    const char* equals = static_cast<const char*>(memchr(p, '=', (size_t)(pairEnd - p)));
    const char* nameEnd = equals != nullptr ? equals : pairEnd;
    std::string name(p, nameEnd);
    logged += name;
    if (equals != nullptr) {
      std::string value(equals + 1, pairEnd);
      logged += '=';
      logged += isNumber(value) && !namesSecret(name) ? value : "-";
    }
    if (pairEnd == end) break;
    logged += '&';
    p = pairEnd + 1;
  }
  return logged;
}

std::string GAccessLog::quoted(const std::string& _text) {
  std::string safe;
  safe.reserve(_text.size());
  for (unsigned char c : _text) {
    if (c < 0x20 || c == 0x7f || c == '"' || c == '\\') {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      safe += escaped;
    } else {
      safe += (char)c;
    }
  }
  return safe;
}

std::string GAccessLog::accessLine(const Entry& _entry) {
  // Most lines of a busy server share their second.
  thread_local time_t formattedTime = -1;
  thread_local char when[40];
  if (_entry.time != formattedTime) {
    struct tm parts;
    gmtime_r(&_entry.time, &parts);
    strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S +0000", &parts);
    formattedTime = _entry.time;
  }
  std::string referer = _entry.referer.empty() ? "-" : _entry.referer;
  // A referer of this site names its pages with their sessions.
  size_t scheme = referer.find("://");
  if (scheme != std::string::npos) {
    size_t path = referer.find('/', scheme + 3);
    if (path != std::string::npos) referer = referer.substr(0, path) + loggedTarget(referer.substr(path));
  }
  std::string line;
  line.reserve(256);
  line += _entry.client.empty() ? "-" : quoted(_entry.client);
  line += " - - [";
  line += when;
  line += "] \"";
  line += quoted(_entry.method + " " + loggedTarget(_entry.target) + " " + _entry.version);
  line += "\" ";
  line += std::to_string(_entry.status);
  line += ' ';
  line += std::to_string(_entry.bytes);
  line += " \"";
  line += quoted(referer);
  line += "\" \"";
  line += _entry.userAgent.empty() ? "-" : quoted(_entry.userAgent);
  line += "\" ";
  line += std::to_string(_entry.micros);
  return line;
}

std::string GAccessLog::loginLine(time_t _time, const char* _what, const std::string& _user,
                                  const std::string& _client) {
  struct tm parts;
  gmtime_r(&_time, &parts);
  char when[32];
  strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return std::string(when) + " vistrel login " + _what + " for \"" + quoted(_user) + "\" from " +
         quoted(_client);
}
