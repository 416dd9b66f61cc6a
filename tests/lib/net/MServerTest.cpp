#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "NetTestSupport.h"
#include "tests/support/TestRoot.h"
#include "lib/core/MException.h"
#include "lib/net/MBodyPlaces.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MServer.h"
#include "lib/platform/MClock.h"

namespace {

bool waitUntil(const std::function<bool()>& _condition, double _seconds) {
  double deadline = monotonicSeconds() + _seconds;
  while (!_condition()) {
    if (monotonicSeconds() > deadline) return false;
    sleepFor(0, 5);
  }
  return true;
}

// Room for the client and the server side of 500 connections in this one process.
void raiseFileLimit() {
  struct rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 2048) {
    limit.rlim_cur = limit.rlim_max < 2048 ? limit.rlim_max : 2048;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

std::string get(const std::string& _url, const std::string& _headers = "") {
  return "GET " + _url + " HTTP/1.1\r\nHost: test\r\n" + _headers + "\r\n";
}

// A processor whose connections the test can declare expired.
class ExpiringProcessor : public MHttpProcessor {
 public:
  explicit ExpiringProcessor(std::atomic<bool>* _expire) : expire(_expire) {}
  MObject* newObject() override {
    ExpiringProcessor* p = new ExpiringProcessor(expire);
    p->setHandler(getHandler());
    return p;
  }
  bool isExpired(UInt64 _now) override { return *expire || MHttpProcessor::isExpired(_now); }

 private:
  std::atomic<bool>* expire;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override { prototype.setHandler(&handler); }
  void startServer(MStreamProcessor* _prototype = nullptr) {
    server.reset(new MServer(0, _prototype ? _prototype : &prototype));
    server->start();
    port = server->getPort();
    ASSERT_GT(port, 0);
  }
  void TearDown() override { server.reset(); }
  HttpClient* connect() {
    clients.emplace_back(new HttpClient());
    EXPECT_TRUE(clients.back()->connectTo(port));
    return clients.back().get();
  }
  bool connectionsBecome(int _count, double _seconds = 5) {
    return waitUntil([&] { return server->getConnectionCount() == _count; }, _seconds);
  }

  TestHandler handler;
  MHttpProcessor prototype;
  std::unique_ptr<MServer> server;
  std::vector<std::unique_ptr<HttpClient>> clients;
  int port = 0;
};

}  // namespace

TEST_F(ServerTest, KeepAliveAnswersSeveralRequestsOnOneConnection) {
  startServer();
  HttpClient* c = connect();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(c->send(get("/size?n=" + std::to_string(10 + i))));
    std::string response = c->readResponse();
    EXPECT_EQ("HTTP/1.1 200 OK", statusLine(response));
    EXPECT_EQ((size_t)(10 + i), responseBody(response).size());
  }
  EXPECT_EQ(1, server->getConnectionCount());
  std::vector<SeenRequest> seen = handler.snapshot();
  ASSERT_EQ(3u, seen.size());
  EXPECT_EQ("127.0.0.1", seen[0].remoteAddress);
  EXPECT_GT(seen[0].remotePort, 0);
}

TEST_F(ServerTest, TwoRequestsInOnePacketAreAnsweredInOrder) {
  startServer();
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/size?n=3") + get("/size?n=7")));
  EXPECT_EQ("abc", responseBody(c->readResponse()));
  EXPECT_EQ("abcdefg", responseBody(c->readResponse()));
}

TEST_F(ServerTest, CloseInAnyLetterCaseEndsTheConnectionAfterTheResponse) {
  startServer();
  for (const char* value : {"Close", "close", "CLOSE"}) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send(get("/size?n=100", std::string("Connection: ") + value + "\r\n")));
    EXPECT_EQ(100u, responseBody(c->readResponse()).size()) << value;
    EXPECT_TRUE(c->waitForClose(3)) << value;
  }
  // The header name itself is looked up exactly: a lower-case name keeps the connection.
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/", "connection: Close\r\n")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
  EXPECT_FALSE(c->waitForClose(0.3));
  ASSERT_TRUE(c->send(get("/")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
}

// Requests as an attacker sends them, each on a connection of its own: the answer, and
// whether the connection stays open for a next request.
TEST_F(ServerTest, EveryRequestGetsAnAnswerThatSaysWhatHappened) {
  startServer();
  std::string hidden = "GET /hidden HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string manyHeaders;
  for (int i = 0; i < 5000; ++i) manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  struct Case {
    const char* what;
    std::string request;
    const char* status;
    bool open;
    int handled;
  } cases[] = {
      {"HEAD", "HEAD /size?n=10 HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", true, 1},
      {"OPTIONS", "OPTIONS / HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", false, 0},
      {"PUT hiding a GET in its body",
       "PUT / HTTP/1.1\r\nContent-Length: " + std::to_string(hidden.size()) + "\r\n\r\n" + hidden,
       "HTTP/1.1 405 Method Not Allowed", false, 0},
      {"Content-Length without a blank",
       "POST / HTTP/1.1\r\nContent-Length:" + std::to_string(hidden.size()) + "\r\n\r\n" + hidden,
       "HTTP/1.1 200 OK", true, 1},
      {"negative Content-Length", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n" + hidden,
       "HTTP/1.1 400 Bad Request", false, 0},
      {"Content-Length 0abc", "POST / HTTP/1.1\r\nContent-Length: 0abc\r\n\r\n" + hidden,
       "HTTP/1.1 400 Bad Request", false, 0},
      {"two different Content-Length",
       "POST / HTTP/1.1\r\nContent-Length: 0\r\nContent-Length: 38\r\n\r\n" + hidden,
       "HTTP/1.1 400 Bad Request", false, 0},
      {"blank before the colon", "POST / HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n0\r\n\r\n" + hidden,
       "HTTP/1.1 400 Bad Request", false, 0},
      {"Transfer-Encoding", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + hidden,
       "HTTP/1.1 501 Not Implemented", false, 0},
      {"request line of 100000 bytes", "GET /" + std::string(100000, 'u') + " HTTP/1.1\r\n\r\n",
       "HTTP/1.1 414 URI Too Long", false, 0},
      {"5000 header lines", get("/", manyHeaders), "HTTP/1.1 431 Request Header Fields Too Large", false, 0},
      {"header line of 20000 bytes", get("/", "X-Long: " + std::string(20000, 'h') + "\r\n"),
       "HTTP/1.1 431 Request Header Fields Too Large", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    size_t before = handler.count();
    HttpClient* client = connect();
    ASSERT_TRUE(client->send(c.request));
    bool head = c.request.compare(0, 5, "HEAD ") == 0;
    std::string response = client->readResponse(5, head);
    EXPECT_EQ(c.status, statusLine(response));
    if (head) {
      EXPECT_EQ("10", responseHeader(response, "Content-Length"));
    }
    if (c.open) {
      ASSERT_TRUE(client->send(get("/after")));
      EXPECT_EQ("ok", responseBody(client->readResponse()));
      EXPECT_EQ(before + c.handled + 1, handler.count());
    } else {
      std::string more;
      EXPECT_TRUE(client->waitForClose(3, &more));
      EXPECT_EQ("", more);
      EXPECT_EQ(before, handler.count());
    }
  }
  // The hidden request was a body.
  std::vector<SeenRequest> seen = handler.snapshot();
  ASSERT_EQ(4u, seen.size());
  EXPECT_EQ("HEAD", seen[0].method);
  EXPECT_EQ(hidden, seen[2].content);
}

TEST_F(ServerTest, LargeBodiesLieInUnnamedFilesOnlyWhileTheirRequestLasts) {
  testroot::TempDir bodies;
  prototype.setBodyDirectory(bodies.path.c_str());
  startServer();
  int filesBefore = openFileCount();
  HttpClient* c = connect();
  std::string body(3000000, 'b');
  body.back() = 'E';
  ASSERT_TRUE(c->send("POST /up HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\n\r\n" + body.substr(0, 100000)));
  // The server's file and socket while the body arrives, the client's socket: and no name.
  EXPECT_TRUE(waitUntil([&] { return openFileCount() == filesBefore + 3; }, 5));
  EXPECT_TRUE(directoryEntries(bodies.path).empty());
  ASSERT_TRUE(c->send(body.substr(100000)));
  EXPECT_EQ("ok", responseBody(c->readResponse(30)));
  std::vector<SeenRequest> seen = handler.snapshot();
  ASSERT_EQ(1u, seen.size());
  EXPECT_TRUE(seen[0].inFile);
  EXPECT_TRUE(seen[0].content == body);
  EXPECT_EQ(filesBefore + 2, openFileCount());
}

TEST_F(ServerTest, BodiesAroundTheLimit) {
  startServer();
  HttpClient* c = connect();
  for (int length : {19999999, 20000000}) {
    std::string body((size_t)length, 'b');
    body[body.size() - 1] = 'E';
    ASSERT_TRUE(c->send("POST /upload HTTP/1.1\r\nContent-Length: " + std::to_string(length) +
                        "\r\n\r\n" + body));
    EXPECT_EQ("ok", responseBody(c->readResponse(30))) << length;
  }
  std::vector<SeenRequest> seen = handler.snapshot();
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ(19999999, seen[0].contentLength);
  EXPECT_EQ(19999999u, seen[0].content.size());
  EXPECT_EQ('E', seen[0].content.back());
  EXPECT_EQ(20000000, seen[1].contentLength);
  EXPECT_EQ(0u, seen[1].content.size());
}

TEST_F(ServerTest, ConnectionBeyondThe499thTakesThePlaceOfTheLongestIdle) {
  raiseFileLimit();
  startServer();
  // 498 idle keep-alive connections, the first of them idle longest, and one whose request
  // head is still arriving.
  for (int i = 0; i < 498; ++i) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send(get("/")));
    ASSERT_EQ("ok", responseBody(c->readResponse())) << "client " << i;
    if (i < 2) sleepFor(0, 20);  // the first two idle visibly longer than the rest
  }
  HttpClient* slow = connect();
  ASSERT_TRUE(slow->send("GET /slow HTTP/1.1\r\nHost: x\r\n"));
  ASSERT_TRUE(connectionsBecome(499));

  HttpClient* extra = connect();
  ASSERT_TRUE(extra->send(get("/")));
  EXPECT_EQ("ok", responseBody(extra->readResponse()));
  std::string received;
  EXPECT_TRUE(clients[0]->waitForClose(3, &received)) << "the longest idle gave way";
  EXPECT_EQ("", received);
  EXPECT_EQ(499, server->getConnectionCount());

  // The next one displaces the next idle connection, not the request still arriving.
  HttpClient* another = connect();
  ASSERT_TRUE(another->send(get("/")));
  EXPECT_EQ("ok", responseBody(another->readResponse()));
  EXPECT_TRUE(clients[1]->waitForClose(3, &received));
  ASSERT_TRUE(slow->send("\r\n"));
  EXPECT_EQ("ok", responseBody(slow->readResponse()));
}

TEST_F(ServerTest, ConnectionsReadingBodiesLeavePlacesForNewRequests) {
  raiseFileLimit();
  // Every client counts as another here: only the limit in all is at work.
  prototype.setBodyPlaces(std::make_shared<MBodyPlaces>(MBodyPlaces::defaultMax, 1000));
  startServer();
  // Every place holds a request whose body keeps ahead of its pace for a while.
  std::string part(30000, 'x');
  for (int i = 0; i < 499; ++i) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send("POST / HTTP/1.1\r\nContent-Length: 60000\r\n\r\n" + part));
  }
  // Beyond the places for bodies, the rest are refused at their heads and closed.
  ASSERT_TRUE(connectionsBecome(MBodyPlaces::defaultMax));
  int refused = 0;
  for (size_t i = 0; i < clients.size(); ++i) {
    std::string answer = clients[i]->readSome(1000, 0.001);
    if (answer.empty()) continue;
    EXPECT_EQ("HTTP/1.1 503 Service Unavailable", statusLine(answer));
    EXPECT_EQ("10", responseHeader(answer, "Retry-After"));
    ++refused;
  }
  EXPECT_EQ(499 - MBodyPlaces::defaultMax, refused);
  // New requests are read and answered.
  for (int i = 0; i < 5; ++i) {
    HttpClient* extra = connect();
    ASSERT_TRUE(extra->send(get("/")));
    EXPECT_EQ("ok", responseBody(extra->readResponse()));
  }
  // The bodies complete.
  ASSERT_TRUE(clients[0]->send(part));
  EXPECT_EQ("ok", responseBody(clients[0]->readResponse()));
}

TEST_F(ServerTest, OneClientHoldsAtMostItsShareOfThePlacesForBodies) {
  startServer();
  std::string part(30000, 'x');
  for (int i = 0; i < MBodyPlaces::defaultPerClient; ++i) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send("POST / HTTP/1.1\r\nContent-Length: 60000\r\n\r\n" + part));
  }
  ASSERT_TRUE(connectionsBecome(MBodyPlaces::defaultPerClient));
  sleepFor(0, 100);
  HttpClient* more = connect();
  ASSERT_TRUE(more->send("POST / HTTP/1.1\r\nContent-Length: 60000\r\n\r\n" + part));
  std::string answer = more->readResponse();
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable", statusLine(answer));
  EXPECT_EQ("10", responseHeader(answer, "Retry-After"));
  EXPECT_TRUE(more->waitForClose(3));
  // A request without a body needs no such place.
  HttpClient* plain = connect();
  ASSERT_TRUE(plain->send(get("/")));
  EXPECT_EQ("ok", responseBody(plain->readResponse()));
  // Once one body is complete, the next finds its place.
  ASSERT_TRUE(clients[0]->send(part));
  EXPECT_EQ("ok", responseBody(clients[0]->readResponse()));
  HttpClient* next = connect();
  ASSERT_TRUE(next->send("POST / HTTP/1.1\r\nContent-Length: 60000\r\n\r\n" + part + part));
  EXPECT_EQ("ok", responseBody(next->readResponse()));
}

TEST_F(ServerTest, ConnectionBeyondThe499thIsClosedWhenNoneCanGiveWay) {
  raiseFileLimit();
  // Every place holds a request whose answer is still being made.
  std::mutex heldMutex;
  std::vector<std::shared_ptr<MLaterResponse>> held;
  handler.respond = [&](MHttpRequest& _request, MHttpResponse& _response) {
    if (_request.path == "/hold") {
      std::lock_guard<std::mutex> lock(heldMutex);
      held.push_back(_response.defer());
    } else {
      _response.content.writeData((void*)"ok", 2);
    }
  };
  startServer();
  for (int i = 0; i < 499; ++i) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send(get("/hold")));
  }
  ASSERT_TRUE(connectionsBecome(499));
  ASSERT_TRUE(waitUntil([&] { return handler.count() == 499; }, 5));
  HttpClient* extra = connect();
  std::string received;
  EXPECT_TRUE(extra->waitForClose(3, &received));
  EXPECT_EQ("", received);

  // When one leaves, a new one is served.
  clients[0]->close();
  ASSERT_TRUE(connectionsBecome(498));
  HttpClient* next = connect();
  ASSERT_TRUE(next->send(get("/")));
  EXPECT_EQ("ok", responseBody(next->readResponse()));
  EXPECT_EQ(499, server->getConnectionCount());
}

TEST_F(ServerTest, ClientsThatCloseEarlyAreRemoved) {
  startServer();
  HttpClient* partial = connect();
  ASSERT_TRUE(partial->send("GET /size?n=10 HT"));
  HttpClient* asked = connect();
  ASSERT_TRUE(asked->send(get("/size?n=3000000")));
  HttpClient* halfClosed = connect();
  ASSERT_TRUE(halfClosed->send(get("/")));
  halfClosed->shutdownWrite();
  // The large answer is under way when its client goes.
  ASSERT_TRUE(waitUntil([&] { return handler.count() >= 1; }, 5));
  partial->close();
  asked->close();
  halfClosed->close();
  EXPECT_TRUE(connectionsBecome(0));
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
}

TEST_F(ServerTest, PeerGoneDuringALargeResponseDoesNotEndTheServer) {
  startServer();
  for (int i = 0; i < 3; ++i) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send(get("/size?n=5000000")));
    EXPECT_FALSE(c->readSome(1000, 5).empty());
    c->close();
  }
  EXPECT_TRUE(connectionsBecome(0));
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/size?n=5")));
  EXPECT_EQ("abcde", responseBody(c->readResponse()));
}

TEST_F(ServerTest, SlowReaderDoesNotHoldUpAFastOne) {
  startServer();
  HttpClient slow;
  slow.setReceiveBuffer(4096);
  ASSERT_TRUE(slow.connectTo(port));
  ASSERT_TRUE(slow.send(get("/size?n=8000000")));
  // The slow client reads nothing for now: the socket buffers fill and its output waits.
  sleepFor(0, 500);

  HttpClient* fast = connect();
  double start = monotonicSeconds();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(fast->send(get("/size?n=1000000")));
    ASSERT_EQ(1000000u, responseBody(fast->readResponse(10)).size());
  }
  EXPECT_LT(monotonicSeconds() - start, 5.0);

  // Once it reads, the slow one gets all of its answer, in order.
  std::string body = responseBody(slow.readResponse(30));
  ASSERT_EQ(8000000u, body.size());
  for (size_t i = 0; i < body.size(); i += 4999) ASSERT_EQ(patternByte(i), body[i]);
}

TEST_F(ServerTest, ExpiredConnectionsAreDropped) {
  std::atomic<bool> expire(false);
  ExpiringProcessor expiring(&expire);
  expiring.setHandler(&handler);
  startServer(&expiring);
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
  expire = true;
  EXPECT_TRUE(c->waitForClose(3));
  EXPECT_TRUE(connectionsBecome(0));
}

TEST_F(ServerTest, StopEndsTheLoopWithinASecond) {
  startServer();
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
  sleepFor(0, 300);  // let the loop fall idle
  double start = monotonicSeconds();
  server->stop();
  EXPECT_TRUE(waitUntil([&] { return server->isFinished(); }, 1.0));
  EXPECT_LT(monotonicSeconds() - start, 1.0);
}

TEST_F(ServerTest, StopRightAfterStartIsNotLost) {
  server.reset(new MServer(0, &prototype));
  server->start();
  server->stop();
  EXPECT_TRUE(waitUntil([&] { return server->isFinished(); }, 2.0));
}

TEST_F(ServerTest, RestartOnTheSamePortAtOnce) {
  startServer();
  HttpClient* c = connect();
  ASSERT_TRUE(c->send(get("/", "Connection: close\r\n")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
  EXPECT_TRUE(c->waitForClose(3));
  int used = port;
  server.reset();
  server.reset(new MServer(used, &prototype));
  server->start();
  EXPECT_EQ(used, server->getPort());
  HttpClient* again = connect();
  ASSERT_TRUE(again->send(get("/")));
  EXPECT_EQ("ok", responseBody(again->readResponse()));
}

TEST_F(ServerTest, BindingATakenPortFails) {
  startServer();
  MServer other;
  try {
    other.configure(port, &prototype);
    FAIL();
  } catch (const MException& e) {
    EXPECT_STREQ("void MServer::configure(int _port,MStreamProcessor *_streamProcessor,char *_bindAddress)",
                 e.getLocation().getValue());
  }
}

TEST_F(ServerTest, ABindAddressLimitsWhereTheServerListens) {
  // Every 127.x.x.x address is the loopback interface: bound to one, the server cannot be
  // reached at another.
  server.reset(new MServer(0, &prototype, "127.0.0.2"));
  server->start();
  port = server->getPort();
  HttpClient c;
  EXPECT_FALSE(c.connectTo(port, "127.0.0.1"));
  ASSERT_TRUE(c.connectTo(port, "127.0.0.2"));
  ASSERT_TRUE(c.send(get("/")));
  EXPECT_EQ("ok", responseBody(c.readResponse()));

  // Without one it listens on every interface.
  server.reset(new MServer(0, &prototype, ""));
  server->start();
  port = server->getPort();
  for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
    ASSERT_TRUE(c.connectTo(port, address)) << address;
    ASSERT_TRUE(c.send(get("/")));
    EXPECT_EQ("ok", responseBody(c.readResponse())) << address;
  }
  for (const char* bad : {"localhost", "1.2.3", "::1"}) {
    MServer other;
    EXPECT_THROW(other.configure(0, &prototype, bad), MException) << bad;
  }
}
