#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "NetTestSupport.h"
#include "lib/core/MException.h"
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

TEST_F(ServerTest, HeadIsNotAnswered) {
  startServer();
  HttpClient* c = connect();
  ASSERT_TRUE(c->send("HEAD / HTTP/1.1\r\nHost: test\r\n\r\n"));
  EXPECT_EQ("", c->readResponse(0.3));
  ASSERT_TRUE(c->send(get("/after")));
  EXPECT_EQ("ok", responseBody(c->readResponse()));
  EXPECT_EQ(1u, handler.count());
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
  struct rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 2048) {
    limit.rlim_cur = limit.rlim_max < 2048 ? limit.rlim_max : 2048;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
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

TEST_F(ServerTest, ConnectionBeyondThe499thIsClosedWhenNoneCanGiveWay) {
  struct rlimit limit;
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < 2048) {
    limit.rlim_cur = limit.rlim_max < 2048 ? limit.rlim_max : 2048;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  startServer();
  // Every place holds a request whose body is under way.
  for (int i = 0; i < 499; ++i) {
    HttpClient* c = connect();
    ASSERT_TRUE(c->send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n0123456789"));
  }
  ASSERT_TRUE(connectionsBecome(499));
  sleepFor(0, 300);  // time to read every request head
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

TEST_F(ServerTest, LineWithoutLineFeedWithinTheLimitClosesTheConnection) {
  startServer();
  HttpClient* c = connect();
  ASSERT_TRUE(c->send("GET /" + std::string(12000, 'x')));
  std::string received;
  EXPECT_TRUE(c->waitForClose(3, &received));
  EXPECT_EQ("", received);
  EXPECT_EQ(0u, handler.count());
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
    EXPECT_STREQ("void MServer::configure(int _port,MStreamProcessor *_streamProcessor)",
                 e.getLocation().getValue());
  }
}
