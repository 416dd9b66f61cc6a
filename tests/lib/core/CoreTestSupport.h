#ifndef VISTREL_TESTS_CORETESTSUPPORT_H
#define VISTREL_TESTS_CORETESTSUPPORT_H

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lib/core/MDataStream.h"
#include "lib/core/MException.h"
#include "lib/core/MStream.h"

// Own namespace: the test programs link several support headers into one binary.
namespace coretest {

// One level of an exception chain: location, message.
typedef std::pair<std::string, std::string> Level;
typedef std::vector<Level> Chain;
typedef std::vector<uchar> Bytes;

inline Chain chainOf(const MException& _e) {
  Chain chain;
  for (const MException* e = &_e; e != nullptr; e = e->getInner())
    chain.push_back(Level(e->getLocation().getValue(), e->getMessage().getValue()));
  return chain;
}

// The chain raised by _f, or an empty chain when it raised nothing.
template <typename F>
Chain chainFrom(F&& _f) {
  try {
    _f();
  } catch (const MException& e) {
    return chainOf(e);
  }
  return Chain();
}

// The whole content of a data stream, leaving its read position where it was.
inline Bytes bytesOf(MDataStream& _stream) {
  Int64 keep = _stream.getReadPos();
  _stream.setReadPos(0);
  Bytes bytes((size_t)_stream.getEndPos());
  int n = _stream.readData(bytes.data(), (int)bytes.size());
  bytes.resize(n > 0 ? n : 0);
  _stream.setReadPos(keep);
  return bytes;
}

inline std::string textOf(MDataStream& _stream) {
  Bytes b = bytesOf(_stream);
  return std::string(b.begin(), b.end());
}

// What print writes at the given indent.
inline std::string printed(MObject& _object, int _indent) {
  char* text = nullptr;
  size_t length = 0;
  FILE* file = open_memstream(&text, &length);
  _object.print(file, _indent);
  fclose(file);
  std::string result(text, length);
  free(text);
  return result;
}

// Stands in for a socket: hands out scripted input and takes output at a chosen pace.
class ScriptedStream : public MStream {
 public:
  std::string incoming;      // what readData hands out, from the front
  bool readFails = false;    // readData raises as a socket does when the peer closed
  std::string taken;         // everything writeData accepted
  int maxPerWrite = INT_MAX; // most bytes one writeData takes
  int totalLimit = INT_MAX;  // after this many bytes writeData takes nothing (full)
  int failAt = -1;           // writeData raises once this many bytes were taken
  std::vector<int> readRequests;

  int readData(void* _value, int _size) override {
    readRequests.push_back(_size);
    if (readFails) throw MException("### READ ###", "Cannot read the socket!");
    int n = std::min<int>(_size, (int)incoming.size());
    memcpy(_value, incoming.data(), n);
    incoming.erase(0, n);
    return n;
  }

  int writeData(void* _value, int _size) override {
    if (failAt >= 0 && (int)taken.size() >= failAt)
      throw MException("### WRITE ###", "Cannot write to the socket");
    int n = std::min(_size, maxPerWrite);
    n = std::min(n, totalLimit - (int)taken.size());
    if (failAt >= 0) n = std::min(n, failAt - (int)taken.size());
    if (n < 0) n = 0;
    taken.append((const char*)_value, n);
    return n;
  }
};

}  // namespace coretest
using namespace coretest;

#endif
