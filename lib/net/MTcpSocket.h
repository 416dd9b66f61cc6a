#ifndef VISTREL_MTCPSOCKET_H
#define VISTREL_MTCPSOCKET_H

#include "lib/net/MSocket.h"
#include "lib/platform/MMutex.h"

// One TCP socket (IPv4) as a stream. Every operation on the handle holds the socket's mutex,
// so the destructor never closes a handle that another operation is using.
//
// Writing never raises SIGPIPE: a peer that has gone makes writeData fail instead of ending
// the process. In non-blocking mode readData and writeData return 0 when the kernel has
// nothing to give or no room to take, and an orderly close by the peer is a read failure.
class MTcpSocket : public MSocket {
 public:
  MTcpSocket();
  MTcpSocket(int _sockfd, MAddress& _remoteAddress, int _remotePort);
  ~MTcpSocket() override;
  MTcpSocket(const MTcpSocket&) = delete;
  MTcpSocket& operator=(const MTcpSocket&) = delete;

  bool isClosed() override;
  void bindSocket(int _port, const char* _address = nullptr) override;
  void listenSocket(int _backlog) override;
  void openConnection(const char* _remoteAddress, int _remotePort) override;
  MSocket* acceptConnection() override;
  void closeConnection() override;
  int getSockfd() override;
  int getLocalPort() override;
  MAddress getLocalAddress() override;
  int getRemotePort() override;
  MAddress getRemoteAddress() override;
  void event_beforeClose() override;
  void shutdownOutput() override;
  void setNonBlocking(bool _nonBlocking) override;

  int readData(void* _data, int _size) override;
  int writeData(void* _data, int _size) override;
  bool isReadable(int _timeoutSec, int _timeoutUsec) override;
  bool isWriteable(int _timeoutSec, int _timeoutUsec) override;

  MString toString() override;

 private:
  void checkHandle();
  bool waitFor(short _events, int _timeoutSec, int _timeoutUsec);

  MMutex mutex;
  int sockfd;
  MAddress localAddress;
  int localPort;
  MAddress remoteAddress;
  int remotePort;
  bool closed;
  bool nonBlocking;
};

#endif
