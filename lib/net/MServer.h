#ifndef VISTREL_MSERVER_H
#define VISTREL_MSERVER_H

#include <poll.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "lib/core/MList.h"
#include "lib/net/MWakeup.h"
#include "lib/platform/MMutex.h"
#include "lib/platform/MRunable.h"

class MInterface;
class MItem;
class MSocket;
class MStreamProcessor;

// The TCP server: one listening socket and up to 499 client connections, all served by one
// thread. Each connection has two ring buffers and its own protocol processor, made from the
// prototype with newObject; the server moves bytes between sockets and buffers and drives
// the processors, which never touch a socket.
//
// One pass of the loop: wait in poll for the sockets that can move data (without waiting
// when the previous pass got anything done), accept, read, let every processor work, send
// to every connection that has output and can take it, close the connections that asked to
// be closed, and drop those whose client has gone quiet for too long. When every place is
// taken, a new connection takes the place of the one that has waited longest for its client
// (an idle keep-alive connection, one whose request head is still trickling in, or one whose
// body has fallen behind its pace), as established servers reuse idle connections: so
// neither idle browsers nor a flood of slow clients can lock everyone else out. Connections
// reading bodies, which need not give way, may hold only some of the places (the HTTP
// processor's MBodyPlaces), so that the rest stay for new requests. Only when no connection
// can give way is the new one closed. Sockets are non-blocking, so a slow or stalled client never holds up the others.
// An idle server sleeps in poll; stop() ends the loop within one idle wait.
//
// A connection whose processor asks for the end is closed gently: once its answer is sent,
// the sending side is shut and what the client still sends is read and dropped until it
// closes too or closingMillis have passed. Closing at once while unread bytes wait would
// reset the connection, and the client could lose the answer that says why it ends.
class MServer : public MRunable {
 public:
  static const int backlog = 1000;
  // Entries of the connection list, the listening socket's included.
  static const int maxConnections = 500;
  // Longest wait in poll when nothing is going on; also bounds how late stop() is seen.
  static const int idleWaitMillis = 100;
  // A client that takes no byte of its pending output for this long (ms) is dropped, as
  // established servers do (send time-out 60 s).
  static const int sendTimeout = 60000;
  // Most processor steps per connection and pass, so that one busy connection cannot keep
  // the others waiting.
  static const int maxStepsPerPass = 64;
  // Most connections accepted in one pass.
  static const int maxAcceptsPerPass = 32;
  // After a failed accept (for example out of file handles) the listening socket rests for
  // this long (ms) instead of waking the loop again at once.
  static const int acceptPauseMillis = 100;
  // Longest time a closing connection waits for its client to close.
  static const int closingMillis = 2000;

  MServer();
  MServer(int _port, MStreamProcessor* _streamProcessor, const char* _bindAddress = nullptr);
  ~MServer() override;
  MServer(const MServer&) = delete;
  MServer& operator=(const MServer&) = delete;

  // Binds _port (0: a free port) on the local IPv4 address _bindAddress, or on every local
  // address when it is null or empty, and listens. The prototype stays the caller's and
  // must outlive the server. Raises the process's limit of open files towards what a full
  // server may need (a socket and a body file for each connection).
  void configure(int _port, MStreamProcessor* _streamProcessor, const char* _bindAddress = nullptr);

  void start() override;
  void stop() override;
  void run() override;

  // The port actually bound.
  int getPort();
  // Client connections at the moment.
  int getConnectionCount();
  // Client connections by what they are doing (their processor's stage), as the loop last
  // counted them, at most a second ago; any thread, the loop's own included.
  std::map<std::string, int> getConnectionStages();

 protected:
  // One pass of the loop; true when it got anything done.
  bool runPass(int _waitMillis);
  bool process_socketInput(int _waitMillis);
  bool process_socketAccept(MSocket* _socket);
  bool process_socketRead(int _entry);
  bool process_streamInput();
  bool process_socketOutput();
  bool process_timeouts();

 private:
  // A connection as seen by the current pass.
  struct Entry {
    MItem* item;
    MInterface* connection;
    bool removed;
  };
  void removeMarked();
  // Shuts the sending side of a connection whose answer is out; see the class comment.
  void startClosing(Entry& _entry);
  // Marks the connection that has waited longest for its client as removed; false when
  // none can give way.
  bool makeRoom();

  MSocket* listenSocket;
  MInterface* listenInterface;
  // Rings when work of another thread has completed an answer (or stop is asked), so that
  // the loop does not sleep through it. Outlives the connections.
  MWakeup wakeup;
  MList connections;
  // Held by each phase of a pass while it walks the connections; not across the wait.
  MMutex connectionsMutex;
  MStreamProcessor* prototype;
  std::atomic<bool> stopRequested;

  std::vector<Entry> entries;
  std::vector<struct pollfd> pollSet;
  UInt64 now;
  UInt64 acceptPausedUntil;
  UInt64 lastTimeoutCheck;
  UInt64 lastStageCount = 0;
  std::map<std::string, int> stages;
  MMutex stagesMutex;
  // Counts the stages again when the last count is older than a second.
  void countStages();
};

#endif
