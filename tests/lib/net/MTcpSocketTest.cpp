#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "NetTestSupport.h"
#include "lib/core/MException.h"
#include "lib/net/MTcpSocket.h"

namespace {

std::string innermost(const MException& _e) {
  const MException* e = &_e;
  while (e->getInner() != nullptr) e = e->getInner();
  return e->getMessage().getValue();
}

// A listening socket on a free port and a connected pair through it.
struct Pair {
  MTcpSocket listener;
  MTcpSocket client;
  std::unique_ptr<MSocket> server;
  Pair() {
    listener.bindSocket(0);
    listener.listenSocket(10);
    client.openConnection("127.0.0.1", listener.getLocalPort());
    server.reset(listener.acceptConnection());
  }
};

}  // namespace

TEST(MTcpSocket, BindsAFreePortAndRefusesATakenOne) {
  MTcpSocket first;
  first.bindSocket(0);
  int port = first.getLocalPort();
  EXPECT_GT(port, 0);
  first.listenSocket(10);
  MTcpSocket second;
  try {
    second.bindSocket(port);
    FAIL();
  } catch (const MException& e) {
    EXPECT_STREQ("void MTcpSocket::bindSocket(int _port,char *_address)", e.getLocation().getValue());
    EXPECT_EQ("Cannot bind local address!", innermost(e));
  }
}

TEST(MTcpSocket, PortCanBeBoundAgainAtOnceAfterAServerEnds) {
  int port;
  {
    Pair p;
    port = p.listener.getLocalPort();
    // The server side closes first, which leaves its end waiting in TIME_WAIT.
    p.server.reset();
  }
  MTcpSocket again;
  EXPECT_NO_THROW(again.bindSocket(port));
  EXPECT_NO_THROW(again.listenSocket(10));
}

TEST(MTcpSocket, TransfersAndReadiness) {
  Pair p;
  EXPECT_EQ(0, p.client.readData(nullptr, 0));
  EXPECT_EQ(0, p.client.writeData(nullptr, 0));
  EXPECT_TRUE(p.client.isWriteable(0, 0));
  EXPECT_FALSE(p.server->isReadable(0, 0));
  EXPECT_EQ(5, p.client.writeData((void*)"hello", 5));
  EXPECT_TRUE(p.server->isReadable(2, 0));
  char buffer[16];
  EXPECT_EQ(5, p.server->readData(buffer, sizeof buffer));
  EXPECT_EQ("hello", std::string(buffer, 5));
  EXPECT_EQ(p.client.getRemotePort(), p.listener.getLocalPort());
  EXPECT_TRUE(p.server->getRemoteAddress() == "127.0.0.1");

  std::string text = p.server->toString().getValue();
  std::string expected = " 0.0.0.0:0 <=> 127.0.0.1:" + std::to_string(p.server->getRemotePort());
  EXPECT_EQ(0u, text.find("MTcpSocket ("));
  EXPECT_EQ(text.size() - expected.size(), text.find(expected));
  EXPECT_NE(text, MTcpSocket().toString().getValue());
}

TEST(MTcpSocket, NonBlockingReadReturnsNothingInsteadOfWaiting) {
  Pair p;
  p.server->setNonBlocking(true);
  char buffer[16];
  double start = monotonicSeconds();
  EXPECT_EQ(0, p.server->readData(buffer, sizeof buffer));
  EXPECT_LT(monotonicSeconds() - start, 1.0);
}

TEST(MTcpSocket, CloseConnectionKeepsTheHandle) {
  Pair p;
  EXPECT_FALSE(p.client.isClosed());
  p.client.closeConnection();
  EXPECT_TRUE(p.client.isClosed());
  EXPECT_GE(p.client.getSockfd(), 0);
}

TEST(MTcpSocket, PeerCloseIsAReadFailure) {
  MTcpSocket listener;
  listener.bindSocket(0);
  listener.listenSocket(10);
  std::unique_ptr<MTcpSocket> client(new MTcpSocket());
  client->openConnection("127.0.0.1", listener.getLocalPort());
  std::unique_ptr<MSocket> accepted(listener.acceptConnection());
  client.reset();
  char buffer[16];
  try {
    accepted->readData(buffer, sizeof buffer);
    FAIL();
  } catch (const MException& e) {
    EXPECT_STREQ("int MTcpSocket::readData(void *_data,int _size)", e.getLocation().getValue());
    EXPECT_EQ("Cannot read the socket!", innermost(e));
  }
}

TEST(MTcpSocket, WritingToAGonePeerFailsWithoutEndingTheProcess) {
  MTcpSocket listener;
  listener.bindSocket(0);
  listener.listenSocket(10);
  std::unique_ptr<MTcpSocket> client(new MTcpSocket());
  client->openConnection("127.0.0.1", listener.getLocalPort());
  std::unique_ptr<MSocket> server(listener.acceptConnection());
  server->setNonBlocking(true);
  std::string chunk(65536, 'x');
  server->writeData(&chunk[0], (int)chunk.size());
  // Going away with unread data resets the connection; further writes must fail, not raise
  // SIGPIPE.
  client.reset();
  bool failed = false;
  for (int i = 0; i < 1000 && !failed; ++i) {
    try {
      server->writeData(&chunk[0], (int)chunk.size());
    } catch (const MException& e) {
      EXPECT_EQ("Cannot write to the socket", innermost(e));
      failed = true;
    }
  }
  EXPECT_TRUE(failed);
}

TEST(MTcpSocket, ConnectToAClosedPortFails) {
  int port;
  {
    MTcpSocket probe;
    probe.bindSocket(0);
    port = probe.getLocalPort();
  }
  MTcpSocket client;
  try {
    client.openConnection("127.0.0.1", port);
    FAIL();
  } catch (const MException& e) {
    EXPECT_EQ("Cannot connect to the remote address!", innermost(e));
  }
}
