// The login benchmark's two parts (bench/login.sh).
//
//   login_bench fill <root> <accounts>
//     Adds the accounts flood0, flood1, ... with the passwords pass0, pass1, ... to a fresh
//     root's database, in clear as an older version kept them: the server hashes them when
//     it starts. And the account uploader (password upload), which may upload.
//
//   login_bench load <port> <seconds> <mode> <source prefix> <probe path> <failed text>
//                    <throttled text> [<upload session id:cookie secret> <picture>]
//     One client fetches <probe path> over one keep-alive connection every 5 ms and times
//     each answer, while other connections post logins without pause ("quiet": none). The
//     login connections come from loopback addresses <source prefix>1, 2, ..., as many
//     guessers would, so that the limits per address hold back each address on its own.
//     With an upload session, a third client uploads <picture> into it every 2 seconds
//     during the flood and times each answer. Prints one line:
//       RESULT <probes> <p50 ms> <p99 ms> <max ms> <attempts> <logged in> <failed>
//              <throttled> <refused otherwise> <other> <attempts per second>
//              <uploads> <uploads stored> <slowest upload ms>
//     "fresh": 40 addresses with 8 connections each post wrong passwords under user names
//     never used before: the attack that once stalled the server loop.
//     "mixed": 50 connections from 50 addresses; each takes turns at a wrong password for
//     admin (every connection guesses the same account), a wrong one for another
//     connection's account, its own account's right one and an unknown name; the throttle
//     soon refuses most of them.
//     "right": 50 connections each log in to their own account with its right password, so
//     that nothing is ever throttled and every attempt is hashed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "lib/core/MString.h"

namespace {

using Clock = std::chrono::steady_clock;

const int accountConnections = 50;
const int freshAddresses = 40;
const int freshPerAddress = 8;
const auto probeInterval = std::chrono::milliseconds(5);
const auto uploadInterval = std::chrono::seconds(2);

int fill(const char* _root, int _accounts) {
  try {
    GDatabase database;
    database.setDurable(false);
    database.init(_root);
    for (int i = 0; i < _accounts; ++i) {
      GUser user;
      user.type = 0;
      user.enabled = true;
      user.username = MString::format("flood%d", i);
      user.password = MString::format("pass%d", i);
      user.firstname = "Flood";
      user.lastname = MString::format("%d", i);
      database.addUser(user);
    }
    GUser uploader;
    uploader.type = 0;
    uploader.enabled = true;
    uploader.imageUpload = true;
    uploader.imageLimit = 100000;
    uploader.username = "uploader";
    uploader.password = "upload";
    uploader.firstname = "Up";
    uploader.lastname = "Loader";
    database.addUser(uploader);
  } catch (const MException&) {
    fprintf(stderr, "login_bench: the database could not be filled\n");
    return 1;
  }
  return 0;
}

// One HTTP/1.1 connection to the server on loopback, from a given local address.
class Connection {
 public:
  Connection(int _port, std::string _source) : port(_port), source(std::move(_source)) {}
  ~Connection() { close(); }

  struct Answer {
    int status = 0;
    bool cookie = false;  // a session cookie: logged in
    std::string body;
  };
  void setTimeout(int _seconds) { timeoutSeconds = _seconds; }

  // Sends one request and reads its answer; false if the connection failed (it is then
  // opened afresh for the next request).
  bool exchange(const std::string& _request, Answer& _answer) {
    if (fd < 0 && !open()) return false;
    if (!sendAll(_request) || !readAnswer(_answer)) {
      close();
      return false;
    }
    if (closeAfter) close();
    return true;
  }

 private:
  bool open() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Long enough for a server loop that hashes the logins queued before ours one by one.
    timeval timeout{timeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (bind(fd, (sockaddr*)&local, sizeof local) != 0 ||
        connect(fd, (sockaddr*)&remote, sizeof remote) != 0) {
      close();
      return false;
    }
    buffer.clear();
    return true;
  }

  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  bool sendAll(const std::string& _data) {
    size_t sent = 0;
    while (sent < _data.size()) {
      ssize_t n = send(fd, _data.data() + sent, _data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += (size_t)n;
    }
    return true;
  }

  bool fillTo(size_t _size) {
    char chunk[16384];
    while (buffer.size() < _size) {
      ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer.append(chunk, (size_t)n);
    }
    return true;
  }

  static bool hasHeader(const std::string& _head, const char* _line) {
    std::string lower(_head);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    return lower.find(_line) != std::string::npos;
  }

  bool readAnswer(Answer& _answer) {
    size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (!fillTo(buffer.size() + 1)) return false;
    }
    std::string head = buffer.substr(0, end + 2);
    _answer.status = head.size() > 12 ? atoi(head.c_str() + 9) : 0;
    _answer.cookie = hasHeader(head, "\r\nset-cookie: vistrel_session=");
    closeAfter = hasHeader(head, "\r\nconnection: close\r\n");
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return false;  // both servers always send it
    size_t length = strtoul(head.c_str() + at + 17, nullptr, 10);
    if (!fillTo(end + 4 + length)) return false;
    _answer.body = buffer.substr(end + 4, length);
    buffer.erase(0, end + 4 + length);
    return true;
  }

  int port;
  std::string source;
  int timeoutSeconds = 120;
  int fd = -1;
  bool closeAfter = false;
  std::string buffer;
};

std::string formEncode(const std::string& _text) {
  std::string out;
  for (unsigned char c : _text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += (char)c;
    } else {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

std::atomic<int> requestId{1000};

// The request the login form sends.
std::string loginRequest(const std::string& _username, const std::string& _password) {
  std::string body = "username=" + formEncode(_username) + "&password=" + formEncode(_password);
  return "POST /?session=5072913846&page=1&action=16&requestId=" + std::to_string(requestId++) +
         "&tab_main=600 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Tally {
  long attempts = 0, loggedIn = 0, failed = 0, throttled = 0, refused = 0, other = 0;
};

struct Options {
  int port;
  std::string mode, sourcePrefix, failedText, throttledText;
  Clock::time_point end;
};

std::atomic<long> freshNames{0};

void flood(const Options& _options, int _index, Tally& _tally) {
  bool fresh = _options.mode == "fresh";
  int address = fresh ? _index / freshPerAddress : _index;
  Connection connection(_options.port, _options.sourcePrefix + std::to_string(address + 1));
  const std::string own = "flood" + std::to_string(_index);
  const std::string ownPassword = "pass" + std::to_string(_index);
  const std::string neighbour = "flood" + std::to_string((_index + 1) % accountConnections);
  for (long k = _index; Clock::now() < _options.end; ++k) {
    std::string request;
    int kind = _options.mode == "right" ? 2 : fresh ? 4 : (int)(k % 4);
    std::string guess = "guess" + std::to_string(k);
    switch (kind) {
      case 0: request = loginRequest("admin", guess); break;
      case 1: request = loginRequest(neighbour, guess); break;
      case 2: request = loginRequest(own, ownPassword); break;
      case 3: request = loginRequest("nobody" + std::to_string(k), guess); break;
      default: request = loginRequest("new" + std::to_string(freshNames++), guess); break;
    }
    Connection::Answer answer;
    ++_tally.attempts;
    if (!connection.exchange(request, answer)) {
      ++_tally.other;
    } else if (answer.status == 200 && answer.cookie) {
      ++_tally.loggedIn;
    } else if (answer.body.find(_options.throttledText) != std::string::npos) {
      ++_tally.throttled;
    } else if (answer.body.find(_options.failedText) != std::string::npos) {
      ++_tally.failed;
    } else if (answer.status == 200 &&
               answer.body.find("class=\"loginMessage\"") != std::string::npos) {
      ++_tally.refused;  // another message of the login page: too many logins at the moment
    } else {
      ++_tally.other;
    }
  }
}

struct Uploads {
  long sent = 0, stored = 0;
  double slowest = 0;
};

// An upload into the session every uploadInterval, each on a connection of its own, timed
// from sending to the answer's last byte; one without an answer within 60 s counts as sent
// but not stored.
void uploader(const Options& _options, const std::string& _session, const std::string& _picture,
              Uploads& _uploads) {
  // "<session id>:<cookie secret>": the link's id counts only together with its cookie.
  const std::string id = _session.substr(0, _session.find(':'));
  const std::string secret =
      _session.find(':') == std::string::npos ? "" : _session.substr(_session.find(':') + 1);
  const std::string boundary = "----loginbench";
  std::string body = "--" + boundary +
                     "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"bench.jpg\"\r\n"
                     "Content-Type: image/jpeg\r\n\r\n" + _picture + "\r\n--" + boundary + "--\r\n";
  auto next = Clock::now() + uploadInterval / 2;
  while (next < _options.end) {
    std::this_thread::sleep_until(next);
    std::string request = "POST /?session=" + id + "&page=110&action=11&requestId=" +
                          std::to_string(requestId++) +
                          " HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: vistrel_session=" + secret +
                          "\r\n"
                          "Content-Type: multipart/form-data; boundary=" + boundary +
                          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    Connection connection(_options.port, "127.0.0.1");
    connection.setTimeout(60);
    Connection::Answer answer;
    auto start = Clock::now();
    ++_uploads.sent;
    if (connection.exchange(request, answer) && answer.status == 200) ++_uploads.stored;
    double millis = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    _uploads.slowest = std::max(_uploads.slowest, millis);
    next += uploadInterval;
  }
}

// Paced rather than back to back: a reader's browser fetching a file now and then, not a
// second flood. Each time runs from sending the request to the answer's last byte.
void probe(const Options& _options, const std::string& _path, std::vector<double>& _millis,
           long& _errors) {
  Connection connection(_options.port, "127.0.0.1");
  const std::string request = "GET " + _path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  auto next = Clock::now();
  while (next < _options.end) {
    std::this_thread::sleep_until(next);
    auto start = Clock::now();
    Connection::Answer answer;
    if (connection.exchange(request, answer) && answer.status == 200 && !answer.body.empty()) {
      _millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    } else {
      ++_errors;
    }
    next = std::max(next + probeInterval, Clock::now());
  }
}

int load(char** _argv, const char* _uploadSession, const char* _picture) {
  Options options;
  options.port = atoi(_argv[0]);
  int seconds = atoi(_argv[1]);
  options.mode = _argv[2];
  options.sourcePrefix = _argv[3];
  std::string path = _argv[4];
  options.failedText = _argv[5];
  options.throttledText = _argv[6];
  if (options.mode != "quiet" && options.mode != "mixed" && options.mode != "right" &&
      options.mode != "fresh") {
    fprintf(stderr, "login_bench: unknown mode %s\n", options.mode.c_str());
    return 2;
  }
  std::string uploadSession = _uploadSession != nullptr ? _uploadSession : "";
  std::string picture;
  if (_picture != nullptr) {
    FILE* file = fopen(_picture, "rb");
    if (file == nullptr) {
      fprintf(stderr, "login_bench: cannot read %s\n", _picture);
      return 2;
    }
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) picture.append(buffer, n);
    fclose(file);
  }
  auto start = Clock::now();
  options.end = start + std::chrono::seconds(seconds);

  int connections = options.mode == "quiet"   ? 0
                    : options.mode == "fresh" ? freshAddresses * freshPerAddress
                                              : accountConnections;
  std::vector<Tally> tallies(connections);
  std::vector<std::thread> threads;
  for (int i = 0; i < connections; ++i) {
    threads.emplace_back(flood, std::cref(options), i, std::ref(tallies[i]));
  }
  Uploads uploads;
  if (!uploadSession.empty()) {
    threads.emplace_back(uploader, std::cref(options), std::cref(uploadSession), std::cref(picture),
                         std::ref(uploads));
  }
  std::vector<double> millis;
  long probeErrors = 0;
  probe(options, path, millis, probeErrors);
  for (auto& thread : threads) thread.join();

  if (millis.empty() || probeErrors > 0) {
    fprintf(stderr, "login_bench: %ld of the probe's requests failed\n", probeErrors);
    return 1;
  }
  std::sort(millis.begin(), millis.end());
  auto at = [&](double _fraction) {
    size_t index = (size_t)(_fraction * (double)millis.size() + 0.999999);
    return millis[std::min(millis.size(), std::max<size_t>(index, 1)) - 1];
  };
  Tally sum;
  for (const Tally& t : tallies) {
    sum.attempts += t.attempts;
    sum.loggedIn += t.loggedIn;
    sum.failed += t.failed;
    sum.throttled += t.throttled;
    sum.refused += t.refused;
    sum.other += t.other;
  }
  // The flood's rate counts to the last answer, which a blocked loop may give well after
  // the end.
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  printf("RESULT %zu %.2f %.2f %.2f %ld %ld %ld %ld %ld %ld %.1f %ld %ld %.0f\n", millis.size(),
         at(0.5), at(0.99), millis.back(), sum.attempts, sum.loggedIn, sum.failed, sum.throttled,
         sum.refused, sum.other, (double)sum.attempts / elapsed, uploads.sent, uploads.stored,
         uploads.slowest);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "fill") == 0 && atoi(argv[3]) >= 1) {
    return fill(argv[2], atoi(argv[3]));
  }
  if (argc == 9 && strcmp(argv[1], "load") == 0) return load(argv + 2, nullptr, nullptr);
  if (argc == 11 && strcmp(argv[1], "load") == 0) return load(argv + 2, argv[9], argv[10]);
  fprintf(stderr,
          "usage: login_bench fill <root> <accounts>\n"
          "       login_bench load <port> <seconds> quiet|fresh|mixed|right <source prefix> "
          "<probe path> <failed text> <throttled text> [<upload session> <picture>]\n");
  return 2;
}
