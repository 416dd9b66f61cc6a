#include "lib/net/MServer.h"

#include <sys/resource.h>

#include <exception>
#include <memory>

#include "lib/core/MException.h"
#include "lib/core/MInt64.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MInterface.h"
#include "lib/net/MStreamProcessor.h"
#include "lib/net/MTcpSocket.h"
#include "lib/platform/MClock.h"

namespace {
// What a closing connection's client still sends is not read by anyone.
void dropInput(MRoundBuffer* _input) {
  char dropped[MRoundBuffer::kSocketChunk];
  while (_input->readData(dropped, (int)sizeof dropped) > 0) {
  }
}
}  // namespace

MServer::MServer()
    : listenSocket(nullptr),
      listenInterface(nullptr),
      prototype(nullptr),
      stopRequested(false),
      now(0),
      acceptPausedUntil(0),
      lastTimeoutCheck(0) {}

MServer::MServer(int _port, MStreamProcessor* _streamProcessor, const char* _bindAddress) try
    : MServer() {
  configure(_port, _streamProcessor, _bindAddress);
} M_RETHROW("MServer::MServer(int _port,MStreamProcessor *_streamProcessor,char *_bindAddress)")

MServer::~MServer() {
  stop();
  while (!finished) sleepFor(0, 100);
  {
    MMutexLock lock(connectionsMutex);
    connections.clear();
  }
  delete listenSocket;
}

void MServer::configure(int _port, MStreamProcessor* _streamProcessor, const char* _bindAddress) try {
  MMutexLock lock(connectionsMutex);
  prototype = _streamProcessor;
  running = false;
  finished = true;
  connections.clear();
  delete listenSocket;
  listenSocket = nullptr;
  listenInterface = nullptr;

  struct rlimit limit;
  const rlim_t wanted = 2 * maxConnections + 100;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted) {
    limit.rlim_cur = limit.rlim_max < wanted ? limit.rlim_max : wanted;
    setrlimit(RLIMIT_NOFILE, &limit);
  }

  MTcpSocket* socket = new MTcpSocket();
  try {
    socket->bindSocket(_port, _bindAddress);
    socket->listenSocket(backlog);
    socket->setNonBlocking(true);
  } catch (const MException&) {
    delete socket;
    throw;
  }
  listenSocket = socket;
  // The list owns the interface; the interface does not own the listening socket.
  listenInterface = new MInterface(listenSocket);
  connections.addObject(new MInt64((Int64)listenSocket->identity()), listenInterface, true);
} M_RETHROW("void MServer::configure(int _port,MStreamProcessor *_streamProcessor,char *_bindAddress)")

void MServer::start() try {
  stopRequested = false;
  MRunable::start();
} M_RETHROW("void MServer::start()")

void MServer::stop() {
  // A stop that comes before the thread has begun its loop must still end it.
  stopRequested = true;
  running = false;
  wakeup.wake();
}

void MServer::run() {
  running = true;
  bool busy = false;
  while (running && !stopRequested) {
    try {
      busy = runPass(busy ? 0 : idleWaitMillis);
    } catch (const MException&) {
      busy = false;
    } catch (const std::exception&) {
      // For example an allocation that failed under memory pressure: the server goes on.
      busy = false;
    }
  }
  running = false;
}

int MServer::getPort() { return listenSocket != nullptr ? listenSocket->getLocalPort() : 0; }

int MServer::getConnectionCount() {
  MMutexLock lock(connectionsMutex);
  int count = connections.getLength();
  return count > 0 ? count - 1 : 0;
}

bool MServer::runPass(int _waitMillis) {
  bool work = process_socketInput(_waitMillis);
  MMutexLock lock(connectionsMutex);
  if (process_streamInput()) work = true;
  if (process_socketOutput()) work = true;
  if (process_timeouts()) work = true;
  removeMarked();
  countStages();
  return work;
}

void MServer::countStages() {
  if (now - lastStageCount < 1000 && lastStageCount != 0) return;
  lastStageCount = now;
  std::map<std::string, int> counted;
  for (MItem* item = connections.getFirstItem(); item != nullptr; item = connections.getNextItem(item)) {
    MInterface* connection = (MInterface*)item->object;
    if (connection == listenInterface || connection->getProcessor() == nullptr) continue;
    ++counted[connection->getProcessor()->getStage()];
  }
  MMutexLock lock(stagesMutex);
  stages.swap(counted);
}

std::map<std::string, int> MServer::getConnectionStages() {
  MMutexLock lock(stagesMutex);
  return stages;
}

bool MServer::process_socketInput(int _waitMillis) try {
  {
    MMutexLock lock(connectionsMutex);
    entries.clear();
    pollSet.clear();
    for (MItem* item = connections.getFirstItem(); item != nullptr; item = connections.getNextItem(item)) {
      MInterface* connection = (MInterface*)item->object;
      MSocket* socket = connection->getSocket();
      int fd = socket != nullptr ? socket->getSockfd() : -1;
      if (fd < 0) continue;
      short events = 0;
      if (connection == listenInterface) {
        if (now >= acceptPausedUntil) events = POLLIN;
      } else if (connection->getInput() != nullptr && connection->getOutput() != nullptr) {
        // A full input buffer is not read until the processor has made room, and only
        // pending output asks for room to send: otherwise poll would wake at once for ever.
        if (connection->getInput()->getFreeSize() > 0) events |= POLLIN;
        if (connection->getOutput()->getInputBytes() > 0) events |= POLLOUT;
      }
      entries.push_back(Entry{item, connection, false});
      pollSet.push_back(pollfd{fd, events, 0});
    }
  }
  bool watchWakeup = wakeup.getHandle() >= 0;
  if (watchWakeup) pollSet.push_back(pollfd{wakeup.getHandle(), POLLIN, 0});
  // A paused listening socket must be looked at again when its pause ends.
  int wait = _waitMillis;
  if (acceptPausedUntil > now && (UInt64)wait > acceptPausedUntil - now) wait = (int)(acceptPausedUntil - now);
  int ready = poll(pollSet.data(), (nfds_t)pollSet.size(), wait);
  now = MStreamProcessor::clockMillis();
  if (ready <= 0) return false;

  MMutexLock lock(connectionsMutex);
  bool work = false;
  if (watchWakeup && (pollSet.back().revents & POLLIN) != 0) {
    wakeup.drain();
    work = true;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    short revents = pollSet[i].revents;
    if (revents == 0 || entries[i].removed) continue;
    if (entries[i].connection == listenInterface) {
      if ((revents & POLLIN) && process_socketAccept(listenSocket)) work = true;
    } else if (process_socketRead((int)i)) {
      work = true;
    }
  }
  return work;
} M_RETHROW("bool MServer::process_socketInput(int _waitMillis)")

bool MServer::process_socketAccept(MSocket* _socket) {
  bool work = false;
  // Connections that gave way in this pass; they leave the list at the end of the pass.
  int evicted = 0;
  for (const Entry& entry : entries) {
    if (entry.removed) ++evicted;
  }
  for (int n = 0; n < maxAcceptsPerPass; ++n) {
    if (n > 0 && !_socket->isReadable(0, 0)) break;
    MSocket* socket;
    try {
      socket = _socket->acceptConnection();
    } catch (const MException&) {
      acceptPausedUntil = now + acceptPauseMillis;
      break;
    }
    work = true;
    if (connections.getLength() - evicted >= maxConnections && makeRoom()) ++evicted;
    if (connections.getLength() - evicted >= maxConnections) {
      // Full: the client learns it at once from the closed connection.
      try {
        socket->closeConnection();
      } catch (const MException&) {
      }
      delete socket;
      continue;
    }
    MInterface* connection = new MInterface();
    connection->setSocket(socket);
    socket->setOwner(connection);
    try {
      MRoundBuffer* input = new MRoundBuffer(MInterface::bufferSize);
      input->setOwner(connection);
      connection->setInput(input);
      MRoundBuffer* output = new MRoundBuffer(MInterface::bufferSize);
      output->setOwner(connection);
      connection->setOutput(output);
      MStreamProcessor* processor =
          prototype != nullptr ? (MStreamProcessor*)prototype->newObject() : new MStreamProcessor();
      processor->setOwner(connection);
      processor->setWakeup(&wakeup);
      connection->setProcessor(processor);
      processor->setInterface(connection);
      connection->setLastReceive(now);
      connection->setLastSend(now);
      std::unique_ptr<MInt64> key(new MInt64((Int64)socket->identity()));
      connections.addObject(key.get(), connection, true);
      key.release();
    } catch (...) {
      // Without its buffers or its place in the list the connection cannot be served.
      delete connection;
    }
  }
  return work;
}

bool MServer::makeRoom() {
  Entry* oldest = nullptr;
  UInt64 oldestSince = 0;
  for (Entry& entry : entries) {
    if (entry.removed || entry.connection == listenInterface) continue;
    MStreamProcessor* processor = entry.connection->getProcessor();
    UInt64 since = 0;
    // A closing connection has nothing more to say: it goes first.
    if (entry.connection->getClosingSince() == 0 &&
        (processor == nullptr || !processor->canGiveWay(since)))
      continue;
    if (oldest == nullptr || since < oldestSince) {
      oldest = &entry;
      oldestSince = since;
    }
  }
  if (oldest == nullptr) return false;
  oldest->removed = true;
  return true;
}

bool MServer::process_socketRead(int _entry) {
  Entry& entry = entries[_entry];
  MInterface* connection = entry.connection;
  MRoundBuffer* input = connection->getInput();
  if (input == nullptr) return false;
  short revents = pollSet[_entry].revents;
  try {
    if ((revents & (POLLIN | POLLHUP | POLLERR)) && input->getFreeSize() > 0) {
      // Fails when the client has closed the connection or it broke.
      if (input->readFromSocket(connection->getSocket()) > 0) connection->setLastReceive(now);
      if (connection->getClosingSince() != 0) {
        dropInput(input);
      }
      return true;
    }
    if (revents & (POLLHUP | POLLERR)) throw MException("### READ ###", "Cannot read the socket!");
    return false;
  } catch (const MException&) {
    entry.removed = true;
    return true;
  }
}

bool MServer::process_streamInput() {
  bool work = false;
  for (Entry& entry : entries) {
    MStreamProcessor* processor = entry.connection->getProcessor();
    if (entry.removed || processor == nullptr || entry.connection->getInput() == nullptr ||
        entry.connection->getOutput() == nullptr)
      continue;
    for (int step = 0; step < maxStepsPerPass; ++step) {
      bool progress = false;
      try {
        progress = processor->process();
      } catch (const MException&) {
        // The processor keeps its state and tries again in a later pass.
      }
      if (!progress) break;
      work = true;
    }
  }
  return work;
}

bool MServer::process_socketOutput() {
  bool work = false;
  for (size_t i = 0; i < entries.size(); ++i) {
    Entry& entry = entries[i];
    MInterface* connection = entry.connection;
    MRoundBuffer* output = connection->getOutput();
    MSocket* socket = connection->getSocket();
    if (entry.removed || output == nullptr || connection->getInput() == nullptr) continue;
    if (output->getInputBytes() > 0) {
      // Send when the socket said it has room, or when the output is new since the wait;
      // a client that is not reading is left alone until poll reports room.
      bool asked = (pollSet[i].events & POLLOUT) != 0;
      if (!asked || (pollSet[i].revents & POLLOUT)) {
        try {
          if (output->writeToSocket(socket) > 0) {
            work = true;
            connection->setLastSend(now);
            connection->setOutputBlockedSince(0);
          }
        } catch (const MException&) {
          // The peer has gone: nothing more can reach it.
          entry.removed = true;
          work = true;
          continue;
        }
      }
    }
    if (output->getInputBytes() > 0) {
      if (connection->getOutputBlockedSince() == 0) connection->setOutputBlockedSince(now);
      continue;
    }
    connection->setOutputBlockedSince(0);
    MStreamProcessor* processor = connection->getProcessor();
    if (processor != nullptr && processor->isCloseRequested() && connection->getClosingSince() == 0) {
      startClosing(entry);
      work = true;
    }
  }
  return work;
}

void MServer::startClosing(Entry& _entry) {
  MInterface* connection = _entry.connection;
  try {
    connection->getSocket()->event_beforeClose();
    connection->getSocket()->shutdownOutput();
  } catch (const MException&) {
    _entry.removed = true;
    return;
  }
  connection->setClosingSince(now > 0 ? now : 1);
  dropInput(connection->getInput());
}

bool MServer::process_timeouts() {
  if (now - lastTimeoutCheck < 1000) return false;
  lastTimeoutCheck = now;
  bool work = false;
  for (Entry& entry : entries) {
    MInterface* connection = entry.connection;
    if (entry.removed || connection == listenInterface) continue;
    UInt64 blocked = connection->getOutputBlockedSince();
    bool expired = blocked != 0 && now > blocked && now - blocked > (UInt64)sendTimeout;
    UInt64 closing = connection->getClosingSince();
    if (closing != 0 && now > closing && now - closing > (UInt64)closingMillis) expired = true;
    MStreamProcessor* processor = connection->getProcessor();
    if (!expired && processor != nullptr) expired = processor->isExpired(now);
    if (expired) {
      entry.removed = true;
      work = true;
    }
  }
  return work;
}

void MServer::removeMarked() {
  for (Entry& entry : entries) {
    if (!entry.removed) continue;
    entry.removed = false;
    try {
      // Deleting the item deletes the connection with its socket, buffers and processor.
      connections.deleteItem(entry.item);
    } catch (const MException&) {
    }
    entry.item = nullptr;
  }
  entries.clear();
}
