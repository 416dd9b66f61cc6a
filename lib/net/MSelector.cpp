#include "lib/net/MSelector.h"

#include <poll.h>

#include <cerrno>
#include <vector>

#include "lib/core/MException.h"
#include "lib/net/MSocket.h"

MSelector::MSelector() {}

MList* MSelector::getSet(int _mode) {
  if (_mode == modeRead) return &readSet;
  if (_mode == modeWrite) return &writeSet;
  return nullptr;
}

void MSelector::add(MSocket* _socket, int _mode) try {
  MList* set = getSet(_mode);
  if (set == nullptr || _socket == nullptr) return;
  set->setObject(_socket->toString().getValue(), _socket, false);
} M_RETHROW("void MSelector::add(MSocket *_socket,int _mode)")

void MSelector::remove(MSocket* _socket, int _mode) try {
  MList* set = getSet(_mode);
  if (set == nullptr || _socket == nullptr) return;
  MString key = _socket->toString();
  if (set->getObject(key.getValue()) != nullptr) set->deleteObject(key.getValue());
} M_RETHROW("void MSelector::remove(MSocket *_socket,int _mode)")

void MSelector::clear() try {
  readSet.clear();
  writeSet.clear();
} M_RETHROW("void MSelector::clear()")

void MSelector::select(int _mode, int _timeoutSec, int _timeoutUsec, MList& _result) try {
  _result.clear();
  MList* set = getSet(_mode);
  if (set == nullptr) return;
  short events = _mode == modeRead ? POLLIN : POLLOUT;
  std::vector<MSocket*> sockets;
  std::vector<struct pollfd> handles;
  for (MItem* item = set->getFirstItem(); item != nullptr; item = set->getNextItem(item)) {
    MSocket* socket = (MSocket*)item->object;
    int fd = socket->getSockfd();
    if (fd < 0) continue;
    bool present = false;
    for (const struct pollfd& h : handles) present = present || h.fd == fd;
    if (present) continue;
    sockets.push_back(socket);
    handles.push_back(pollfd{fd, events, 0});
  }
  Int64 ms = (Int64)_timeoutSec * 1000 + (_timeoutUsec + 999) / 1000;
  if (ms < 0) ms = 0;
  if (ms > 0x7fffffff) ms = 0x7fffffff;
  int ready = poll(handles.data(), (nfds_t)handles.size(), (int)ms);
  if (ready < 0 && errno != EINTR) throw MException("### SELECT ###", "Select error!");
  if (ready <= 0) return;
  int key = 0;
  for (size_t i = 0; i < handles.size(); ++i) {
    // An error or hang-up counts as ready: the next transfer reports it.
    if (handles[i].revents & (events | POLLERR | POLLHUP)) _result.addObject(key++, sockets[i], false);
  }
} M_RETHROW("void MSelector::select(int _mode,int _timeoutSec,int _timeoutUsec,MList& _result)")
