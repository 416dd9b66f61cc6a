#ifndef VISTREL_TESTS_NETTESTSUPPORT_H
#define VISTREL_TESTS_NETTESTSUPPORT_H

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "lib/net/MHttpHandler.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MInterface.h"

class MHttpRequest;
class MHttpResponse;

// What the test handler saw of one request.
struct SeenRequest {
  std::string method, url, version, path;
  std::map<std::string, std::string> params;
  std::vector<std::pair<std::string, std::string>> headers;
  int contentLength = 0;
  std::string content;
  // The body lay in a file.
  bool inFile = false;
  // Why the body was dropped (MHttpRequest::bodyError).
  int bodyError = 0;
  std::string remoteAddress;
  int remotePort = 0;
};

// Stands in for the servlet: records every request and answers through a replaceable
// function. The default answer is the text "ok"; "/size?n=N" answers N bytes of a pattern.
class TestHandler : public MHttpHandler {
 public:
  void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) override;
  // Through the replaceable function admit; the base version's answer without one.
  BodyDecision admitBody(MHttpRequest& _request) override;

  // Copies of what was seen, safe while a server thread adds to it.
  std::vector<SeenRequest> snapshot();
  size_t count();

  std::function<void(MHttpRequest&, MHttpResponse&)> respond;
  std::function<BodyDecision(MHttpRequest&)> admit;
  std::vector<SeenRequest> seen;

 private:
  std::mutex seenMutex;
};

// The byte at position _i of the pattern body that "/size" answers.
inline char patternByte(size_t _i) { return (char)('a' + _i % 26); }

// A processor over two ring buffers without a socket: the tests write request bytes into
// the input and read what the processor wrote to the output.
class ProcessorHarness {
 public:
  // With _prototype, the processor is its newObject (sharing its places, spool and clock).
  explicit ProcessorHarness(MHttpHandler* _handler, MHttpProcessor* _prototype = nullptr);
  ~ProcessorHarness();

  // Writes the bytes into the input buffer (as much as fits); returns the number written.
  size_t feed(const std::string& _bytes) { return feed(_bytes.data(), _bytes.size()); }
  size_t feed(const char* _bytes, size_t _size);
  // Calls process until it reports no progress (at most _limit calls); failures are
  // swallowed as the server loop does. Returns the number of calls that made progress.
  int run(int _limit = 100000);
  // Everything in the output buffer, consumed.
  std::string drain();
  // Feeds everything, running the processor and draining the output as it goes.
  std::string exchange(const std::string& _bytes);

  MInterface interface;
  MHttpProcessor* processor;
};

// A blocking loopback client with a receive time-out, for the server tests.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  bool connectTo(int _port, const char* _address = "127.0.0.1");
  bool send(const std::string& _bytes);
  // Reads one response (status line, headers, Content-Length body; no body for an answer
  // to HEAD); empty on time-out or close.
  std::string readResponse(double _timeoutSeconds = 5, bool _toHead = false);
  // Reads until the server closes (true) or the time-out passes (false); what arrived is
  // appended to _received.
  bool waitForClose(double _timeoutSeconds, std::string* _received = nullptr);
  // Whatever arrives within the time, up to _max bytes.
  std::string readSome(size_t _max, double _timeoutSeconds);
  // Applies to the next connectTo: a small window makes a slow reader.
  void setReceiveBuffer(int _bytes) { receiveBuffer = _bytes; }
  void shutdownWrite();
  void close();
  int fd() const { return handle; }

 private:
  bool fill(double _deadline);
  int handle;
  int receiveBuffer = 0;
  std::string pending;
};

// The body of a response text (after the blank line).
std::string responseBody(const std::string& _response);
// The status line of a response text, without its line end.
std::string statusLine(const std::string& _response);
// A header's value in a response text, or "" when absent.
std::string responseHeader(const std::string& _response, const std::string& _name);
double monotonicSeconds();
// The number of files the test process has open.
int openFileCount();
// The names in a directory, sorted, without "." and "..".
std::vector<std::string> directoryEntries(const std::string& _directory);

#endif
