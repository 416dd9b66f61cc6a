#include "NetTestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"

void TestHandler::event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) {
  SeenRequest s;
  s.method = _request.method.getValue();
  s.url = _request.url.getValue();
  s.version = _request.version.getValue();
  s.path = _request.path.getValue();
  for (MItem* i = _request.params.getFirstItem(); i; i = _request.params.getNextItem(i))
    s.params[i->key->toString().getValue()] = i->object->toString().getValue();
  for (MItem* i = _request.headers.getFirstItem(); i; i = _request.headers.getNextItem(i))
    s.headers.emplace_back(i->key->toString().getValue(), i->object->toString().getValue());
  s.contentLength = _request.contentLength;
  s.content.resize((size_t)_request.getContentSize());
  size_t done = 0;
  while (done < s.content.size()) {
    int n = _request.readContent((Int64)done, &s.content[done], (int)(s.content.size() - done));
    if (n <= 0) break;
    done += (size_t)n;
  }
  s.content.resize(done);
  s.inFile = _request.getContentFile() >= 0;
  s.bodyError = _request.bodyError;
  s.remoteAddress = _request.remoteAddress.toString().getValue();
  s.remotePort = _request.remotePort;
  {
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.push_back(s);
  }

  if (respond) {
    respond(_request, _response);
  } else if (s.path == "/size") {
    std::string body(atoi(s.params["n"].c_str()), ' ');
    for (size_t i = 0; i < body.size(); ++i) body[i] = patternByte(i);
    if (!body.empty()) _response.content.writeData(&body[0], (int)body.size());
  } else {
    _response.content.writeData((void*)"ok", 2);
  }
}

MHttpHandler::BodyDecision TestHandler::admitBody(MHttpRequest& _request) {
  return admit ? admit(_request) : MHttpHandler::admitBody(_request);
}

std::vector<SeenRequest> TestHandler::snapshot() {
  std::lock_guard<std::mutex> lock(seenMutex);
  return seen;
}

size_t TestHandler::count() {
  std::lock_guard<std::mutex> lock(seenMutex);
  return seen.size();
}

ProcessorHarness::ProcessorHarness(MHttpHandler* _handler, MHttpProcessor* _prototype) {
  MRoundBuffer* input = new MRoundBuffer(MInterface::bufferSize);
  input->setOwner(&interface);
  interface.setInput(input);
  MRoundBuffer* output = new MRoundBuffer(MInterface::bufferSize);
  output->setOwner(&interface);
  interface.setOutput(output);
  processor = _prototype != nullptr ? (MHttpProcessor*)_prototype->newObject() : new MHttpProcessor();
  processor->setInterface(&interface);
  processor->setHandler(_handler);
  processor->setOwner(&interface);
  interface.setProcessor(processor);
}

ProcessorHarness::~ProcessorHarness() {}

size_t ProcessorHarness::feed(const char* _bytes, size_t _size) {
  MRoundBuffer* input = interface.getInput();
  size_t n = _size;
  if ((Int64)n > input->getFreeSize()) n = (size_t)input->getFreeSize();
  if (n > 0) input->writeData((void*)_bytes, (int)n);
  return n;
}

int ProcessorHarness::run(int _limit) {
  int progress = 0;
  for (int i = 0; i < _limit; ++i) {
    bool p = false;
    try {
      p = processor->process();
    } catch (const MException&) {
    }
    if (!p) break;
    ++progress;
  }
  return progress;
}

std::string ProcessorHarness::drain() {
  std::string out;
  MRoundBuffer* output = interface.getOutput();
  char buffer[4096];
  int n;
  while ((n = output->readData(buffer, sizeof buffer)) > 0) out.append(buffer, n);
  return out;
}

std::string ProcessorHarness::exchange(const std::string& _bytes) {
  std::string out;
  size_t done = 0;
  for (int rounds = 0; rounds < 100000; ++rounds) {
    done += feed(_bytes.data() + done, _bytes.size() - done);
    int progress = run();
    std::string more = drain();
    out += more;
    if (done == _bytes.size() && progress == 0 && more.empty()) break;
  }
  return out;
}

double monotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

HttpClient::HttpClient() : handle(-1) {}

HttpClient::~HttpClient() { close(); }

bool HttpClient::connectTo(int _port, const char* _address) {
  close();
  handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) return false;
  struct sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons((ushort)_port);
  inet_pton(AF_INET, _address, &a.sin_addr);
  int yes = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  if (receiveBuffer > 0)
    setsockopt(handle, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  return connect(handle, (struct sockaddr*)&a, sizeof a) == 0;
}

bool HttpClient::send(const std::string& _bytes) {
  size_t done = 0;
  while (done < _bytes.size()) {
    ssize_t n = ::send(handle, _bytes.data() + done, _bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

bool HttpClient::fill(double _deadline) {
  double left = _deadline - monotonicSeconds();
  if (left <= 0) return false;
  struct pollfd p = {handle, POLLIN, 0};
  if (poll(&p, 1, (int)(left * 1000) + 1) <= 0) return false;
  char buffer[65536];
  ssize_t n = recv(handle, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  pending.append(buffer, (size_t)n);
  return true;
}

std::string HttpClient::readResponse(double _timeoutSeconds, bool _toHead) {
  double deadline = monotonicSeconds() + _timeoutSeconds;
  size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    if (!fill(deadline)) return "";
  }
  std::string head = pending.substr(0, end + 4);
  size_t length = _toHead ? 0 : (size_t)atol(responseHeader(head, "Content-Length").c_str());
  while (pending.size() < head.size() + length) {
    if (!fill(deadline)) return "";
  }
  std::string response = pending.substr(0, head.size() + length);
  pending.erase(0, response.size());
  return response;
}

bool HttpClient::waitForClose(double _timeoutSeconds, std::string* _received) {
  double deadline = monotonicSeconds() + _timeoutSeconds;
  for (;;) {
    double left = deadline - monotonicSeconds();
    if (left <= 0) return false;
    struct pollfd p = {handle, POLLIN, 0};
    if (poll(&p, 1, (int)(left * 1000) + 1) <= 0) return false;
    char buffer[65536];
    ssize_t n = recv(handle, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (_received) *_received += pending;
      pending.clear();
      return true;
    }
    pending.append(buffer, (size_t)n);
  }
}

std::string HttpClient::readSome(size_t _max, double _timeoutSeconds) {
  double deadline = monotonicSeconds() + _timeoutSeconds;
  while (pending.size() < _max && fill(deadline)) {
  }
  std::string out = pending.substr(0, _max);
  pending.erase(0, out.size());
  return out;
}

void HttpClient::shutdownWrite() { shutdown(handle, SHUT_WR); }

void HttpClient::close() {
  if (handle >= 0) ::close(handle);
  handle = -1;
  pending.clear();
}

std::string responseBody(const std::string& _response) {
  size_t end = _response.find("\r\n\r\n");
  return end == std::string::npos ? "" : _response.substr(end + 4);
}

std::string statusLine(const std::string& _response) {
  size_t end = _response.find("\r\n");
  return end == std::string::npos ? _response : _response.substr(0, end);
}

std::string responseHeader(const std::string& _response, const std::string& _name) {
  std::string key = "\r\n" + _name + ": ";
  size_t start = _response.find(key);
  size_t head = _response.find("\r\n\r\n");
  if (start == std::string::npos || start >= head) return "";
  start += key.size();
  return _response.substr(start, _response.find("\r\n", start) - start);
}

std::vector<std::string> directoryEntries(const std::string& _directory) {
  std::vector<std::string> names;
  DIR* directory = opendir(_directory.c_str());
  if (directory == nullptr) return names;
  while (struct dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

int openFileCount() { return (int)directoryEntries("/proc/self/fd").size(); }
