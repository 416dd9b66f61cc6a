#ifndef VISTREL_MSOCKET_H
#define VISTREL_MSOCKET_H

#include "lib/core/MStream.h"
#include "lib/net/MAddress.h"

// The abstract socket: a stream with the operations of a listening and of a connected
// socket. The base versions do nothing and return 0, an empty address or -1 (getSockfd).
class MSocket : public MStream {
 public:
  bool isClosed() override;
  // Binds _port (0: a free one) on the local IPv4 address _address, or on every local
  // address when _address is null or empty.
  virtual void bindSocket(int _port, const char* _address = nullptr);
  virtual void listenSocket(int _backlog);
  virtual void openConnection(const char* _remoteAddress, int _remotePort);
  // A new socket owned by the caller.
  virtual MSocket* acceptConnection();
  virtual void closeConnection();
  virtual int getSockfd();
  virtual int getLocalPort();
  virtual MAddress getLocalAddress();
  virtual int getRemotePort();
  virtual MAddress getRemoteAddress();
  // Called by the server loop just before it closes the connection.
  virtual void event_beforeClose();
  // Ends the sending direction (the peer reads the end of the stream) while receiving goes
  // on.
  virtual void shutdownOutput();
  // Non-blocking sockets return at once from every transfer; accepted sockets take the mode
  // of the socket that accepted them.
  virtual void setNonBlocking(bool _nonBlocking);
};

#endif
