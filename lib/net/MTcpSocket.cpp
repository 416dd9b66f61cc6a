#include "lib/net/MTcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "lib/core/MException.h"

namespace {
// A transfer that found nothing to do now, as opposed to a failure of the connection.
bool wouldBlock(int _error) { return _error == EAGAIN || _error == EWOULDBLOCK || _error == EINTR; }
}  // namespace

MTcpSocket::MTcpSocket() try
    : sockfd(-1),
      localAddress("127.0.0.1"),
      localPort(0),
      remoteAddress("127.0.0.1"),
      remotePort(0),
      closed(false),
      nonBlocking(false) {
  sockfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sockfd < 0) throw MException("### SOCKET ###", "Cannot open TCP socket!");
} M_RETHROW("MTcpSocket::MTcpSocket()")

MTcpSocket::MTcpSocket(int _sockfd, MAddress& _remoteAddress, int _remotePort)
    : sockfd(_sockfd),
      localAddress(),
      localPort(0),
      remoteAddress(_remoteAddress),
      remotePort(_remotePort),
      closed(false),
      nonBlocking(false) {
  if (sockfd >= 0) nonBlocking = (fcntl(sockfd, F_GETFL) & O_NONBLOCK) != 0;
}

MTcpSocket::~MTcpSocket() {
  MMutexLock lock(mutex);
  if (sockfd >= 0) {
    shutdown(sockfd, SHUT_RD);
    close(sockfd);
    sockfd = -1;
  }
}

void MTcpSocket::checkHandle() {
  if (sockfd < 0) throw MException("### SOCKET ###", "Invalid socket handle!");
}

bool MTcpSocket::isClosed() { return closed; }

void MTcpSocket::bindSocket(int _port, const char* _address) try {
  MMutexLock lock(mutex);
  checkHandle();
  localPort = _port;
  // A restarted server must get its port back at once, not after TIME_WAIT has run out.
  int yes = 1;
  setsockopt(sockfd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  struct sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  if (_address != nullptr && *_address != 0 && inet_pton(AF_INET, _address, &local.sin_addr) != 1) {
    throw MException("### BIND ###",
                     MString::format("The address (%s) is no IPv4 address!", _address).getValue());
  }
  local.sin_port = htons((ushort)_port);
  if (_port < 0 || _port > 65535 || bind(sockfd, (struct sockaddr*)&local, sizeof local) != 0)
    throw MException("### BIND ###", "Cannot bind local address!");
  struct sockaddr_in bound = {};
  socklen_t length = sizeof bound;
  if (getsockname(sockfd, (struct sockaddr*)&bound, &length) == 0) localPort = ntohs(bound.sin_port);
} M_RETHROW("void MTcpSocket::bindSocket(int _port,char *_address)")

void MTcpSocket::listenSocket(int _backlog) try {
  MMutexLock lock(mutex);
  checkHandle();
  if (listen(sockfd, _backlog) != 0) throw MException("### LISTEN ###", "Socket listen error!");
} M_RETHROW("void MTcpSocket::listenSocket(int _backlog)")

void MTcpSocket::openConnection(const char* _remoteAddress, int _remotePort) try {
  MMutexLock lock(mutex);
  checkHandle();
  MAddress address(_remoteAddress);
  struct sockaddr_in remote = {};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = address.getAddress();
  remote.sin_port = htons((ushort)_remotePort);
  bool connected = _remotePort >= 0 && _remotePort <= 65535 &&
                   connect(sockfd, (struct sockaddr*)&remote, sizeof remote) == 0;
  if (!connected && nonBlocking && errno == EINPROGRESS && waitFor(POLLOUT, 10, 0)) {
    int error = 0;
    socklen_t length = sizeof error;
    connected = getsockopt(sockfd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  if (!connected) throw MException("### CONNECT ###", "Cannot connect to the remote address!");
  remoteAddress = address;
  remotePort = _remotePort;
} M_RETHROW("void MTcpSocket::openConnection(char *_remoteAddress,int _remotePort)")

MSocket* MTcpSocket::acceptConnection() try {
  MMutexLock lock(mutex);
  checkHandle();
  struct sockaddr_in peer = {};
  socklen_t length = sizeof peer;
  int flags = SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0);
  int handle = accept4(sockfd, (struct sockaddr*)&peer, &length, flags);
  if (handle < 0) throw MException("### ACCEPT ###", "Accept error!");
  // Responses go out as soon as they are complete instead of waiting for an acknowledgement.
  int yes = 1;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  MAddress address((uint)peer.sin_addr.s_addr);
  return new MTcpSocket(handle, address, ntohs(peer.sin_port));
} M_RETHROW("MSocket* MTcpSocket::acceptConnection()")

void MTcpSocket::closeConnection() try {
  MMutexLock lock(mutex);
  checkHandle();
  int result = shutdown(sockfd, SHUT_RD);
  closed = true;
  if (result != 0) throw MException("### SHUTDOWN ###", "Shutdown error!");
} M_RETHROW("void MTcpSocket::closeConnection()")

int MTcpSocket::getSockfd() { return sockfd; }

int MTcpSocket::getLocalPort() { return localPort; }

MAddress MTcpSocket::getLocalAddress() { return localAddress; }

int MTcpSocket::getRemotePort() { return remotePort; }

MAddress MTcpSocket::getRemoteAddress() { return remoteAddress; }

void MTcpSocket::event_beforeClose() {}

void MTcpSocket::shutdownOutput() try {
  MMutexLock lock(mutex);
  checkHandle();
  if (shutdown(sockfd, SHUT_WR) != 0) throw MException("### SHUTDOWN ###", "Shutdown error!");
} M_RETHROW("void MTcpSocket::shutdownOutput()")

void MTcpSocket::setNonBlocking(bool _nonBlocking) try {
  MMutexLock lock(mutex);
  checkHandle();
  int flags = fcntl(sockfd, F_GETFL);
  if (flags < 0) throw MException("### SOCKET ###", "Cannot set the blocking mode!");
  flags = _nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  if (fcntl(sockfd, F_SETFL, flags) != 0)
    throw MException("### SOCKET ###", "Cannot set the blocking mode!");
  nonBlocking = _nonBlocking;
} M_RETHROW("void MTcpSocket::setNonBlocking(bool _nonBlocking)")

int MTcpSocket::readData(void* _data, int _size) try {
  if (_size <= 0) return 0;
  MMutexLock lock(mutex);
  checkHandle();
  ssize_t n = recv(sockfd, _data, (size_t)_size, 0);
  if (n > 0) return (int)n;
  if (n < 0 && wouldBlock(errno)) return 0;
  // 0 is the peer's orderly close: to the server loop that is the end of the connection.
  throw MException("### READ ###", "Cannot read the socket!");
} M_RETHROW("int MTcpSocket::readData(void *_data,int _size)")

int MTcpSocket::writeData(void* _data, int _size) try {
  if (_size <= 0) return 0;
  MMutexLock lock(mutex);
  checkHandle();
  ssize_t n = send(sockfd, _data, (size_t)_size, MSG_NOSIGNAL);
  if (n >= 0) return (int)n;
  if (wouldBlock(errno)) return 0;
  throw MException("### WRITE ###", "Cannot write to the socket");
} M_RETHROW("int MTcpSocket::writeData(void *_data,int _size)")

bool MTcpSocket::waitFor(short _events, int _timeoutSec, int _timeoutUsec) {
  struct pollfd entry = {sockfd, _events, 0};
  Int64 ms = (Int64)_timeoutSec * 1000 + (_timeoutUsec + 999) / 1000;
  if (ms < 0) ms = 0;
  if (ms > 0x7fffffff) ms = 0x7fffffff;
  int n = poll(&entry, 1, (int)ms);
  if (n < 0) {
    if (errno == EINTR) return false;
    throw MException("### SELECT ###", "Select error!");
  }
  // An error or hang-up counts as ready: the next transfer reports it.
  return n > 0 && (entry.revents & (_events | POLLERR | POLLHUP)) != 0;
}

bool MTcpSocket::isReadable(int _timeoutSec, int _timeoutUsec) try {
  MMutexLock lock(mutex);
  checkHandle();
  return waitFor(POLLIN, _timeoutSec, _timeoutUsec);
} M_RETHROW("bool MTcpSocket::isReadable(int _timeoutSec,int _timeoutUsec)")

bool MTcpSocket::isWriteable(int _timeoutSec, int _timeoutUsec) try {
  MMutexLock lock(mutex);
  checkHandle();
  return waitFor(POLLOUT, _timeoutSec, _timeoutUsec);
} M_RETHROW("bool MTcpSocket::isWriteable(int _timeoutSec,int _timeoutUsec)")

MString MTcpSocket::toString() {
  return MString::format("MTcpSocket (%llu) %s:%d <=> %s:%d", (unsigned long long)identity(),
                         localAddress.toString().getValue(), localPort,
                         remoteAddress.toString().getValue(), remotePort);
}
