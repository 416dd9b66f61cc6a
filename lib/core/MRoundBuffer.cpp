#include "lib/core/MRoundBuffer.h"

#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MString.h"

MRoundBuffer::MRoundBuffer()
    : ownsBuffer(true), buffer(nullptr), capacity(0), readPos(0), writePos(0) {}

MRoundBuffer::MRoundBuffer(int _size)
    : ownsBuffer(true),
      buffer(_size > 0 ? new uchar[_size] : nullptr),
      capacity(_size > 0 ? _size : 0),
      readPos(0),
      writePos(0) {}

MRoundBuffer::MRoundBuffer(void* _buffer, int _size, bool _full)
    : ownsBuffer(false),
      buffer((uchar*)_buffer),
      capacity(_buffer != nullptr && _size > 0 ? _size : 0),
      readPos(0),
      writePos(_full ? capacity : 0) {}

MRoundBuffer::~MRoundBuffer() {
  if (ownsBuffer) delete[] buffer;
}

int MRoundBuffer::writeData(void* _value, int _size) try {
  if (_size < 1) return 0;
  MMutexLock lock(mutex);
  Int64 w = writePos.load();
  if (capacity - (w - readPos.load()) < _size)
    throw MException("### OUT OF SPACE ###", "Not enough space for writing!");
  // At most two pieces: up to the end of the storage, then from its start.
  int at = (int)(w % capacity);
  int first = capacity - at < _size ? capacity - at : _size;
  memcpy(buffer + at, _value, first);
  memcpy(buffer, (const uchar*)_value + first, _size - first);
  writePos.store(w + _size);
  return _size;
} M_RETHROW("int MRoundBuffer::writeData(void *_value,int _size)")

int MRoundBuffer::peek(void* _value, int _size) {
  Int64 r = readPos.load();
  Int64 available = writePos.load() - r;
  int n = available < _size ? (int)available : _size;
  if (n < 1) return 0;
  int at = (int)(r % capacity);
  int first = capacity - at < n ? capacity - at : n;
  memcpy(_value, buffer + at, first);
  memcpy((uchar*)_value + first, buffer, n - first);
  return n;
}

void MRoundBuffer::discard(int _count) {
  if (_count > 0) readPos.fetch_add(_count);
}

int MRoundBuffer::readData(void* _value, int _size) try {
  if (_size < 1) return 0;
  MMutexLock lock(mutex);
  int n = peek(_value, _size);
  discard(n);
  return n;
} M_RETHROW("int MRoundBuffer::readData(void *_value,int _size)")

Int64 MRoundBuffer::getInputBytes() { return writePos.load() - readPos.load(); }

Int64 MRoundBuffer::getFreeSize() { return capacity - getInputBytes(); }

bool MRoundBuffer::isReadable(int, int) { return getInputBytes() > 0; }

bool MRoundBuffer::isWriteable(int, int) { return getFreeSize() > 0; }

uchar MRoundBuffer::getNextByte() try {
  Int64 r = readPos.load();
  if (writePos.load() - r < 1)
    throw MException("### OUT OF BUFFER ###", "The read pointer is out of the buffer!");
  return buffer[r % capacity];
} M_RETHROW("uchar MRoundBuffer::getNextByte()")

int MRoundBuffer::findByte(uchar _ch, int _maxDistance) {
  Int64 r = readPos.load();
  Int64 reach = writePos.load() - r;
  if (reach > _maxDistance) reach = _maxDistance;
  for (Int64 d = 0; d < reach; ++d) {
    if (buffer[(r + d) % capacity] == _ch) return (int)d;
  }
  return -1;
}

int MRoundBuffer::writeToStream(MStream* _stream) try {
  if (_stream == nullptr) throw MException("### NULL ###", "The stream parameter is null!");
  Int64 count = getInputBytes();
  Int64 free = _stream->getFreeSize();
  if (count > free) count = free;
  int moved = 0;
  while (moved < count) {
    uchar ch = getNextByte();
    if (_stream->writeData(&ch, 1) != 1) break;
    discard(1);
    ++moved;
  }
  return moved;
} M_RETHROW("int MRoundBuffer::writeToStream(MStream *_stream)")

int MRoundBuffer::readFromSocket(MStream* _sock) try {
  if (_sock == nullptr) throw MException("### NULL ###", "The socket parameter is null!");
  Int64 free = getFreeSize();
  int want = free < kSocketChunk ? (int)free : kSocketChunk;
  if (want < 1) return 0;
  uchar local[kSocketChunk];
  int got = _sock->readData(local, want);
  if (got > want) throw MException("### READ ###", "The socket returned more than asked!");
  if (got > 0) writeData(local, got);
  return got;
} M_RETHROW("int MRoundBuffer::readFromSocket(MSocket *_sock)")

int MRoundBuffer::writeToSocket(MStream* _sock) try {
  if (_sock == nullptr) throw MException("### NULL ###", "The socket parameter is null!");
  uchar local[kSocketChunk];
  const uchar* data = local;
  int n;
  {
    MMutexLock lock(mutex);
    // Bytes that lie in one piece are sent from where they are: until they are consumed
    // below, no writer touches them. Only bytes that wrap around the end are copied.
    Int64 r = readPos.load();
    Int64 available = writePos.load() - r;
    n = available < kSocketChunk ? (int)available : kSocketChunk;
    int at = capacity > 0 ? (int)(r % capacity) : 0;
    if (n > 0 && at + n <= capacity) {
      data = buffer + at;
    } else {
      n = peek(local, kSocketChunk);
    }
  }
  int sent = 0;
  try {
    while (sent < n) {
      int taken = _sock->writeData((void*)(data + sent), n - sent);
      if (taken <= 0) break;
      sent += taken > n - sent ? n - sent : taken;
    }
  } catch (const MException&) {
    // What the socket took before failing is gone from the buffer; the rest stays.
    MMutexLock lock(mutex);
    discard(sent);
    throw;
  }
  MMutexLock lock(mutex);
  discard(sent);
  return sent;
} M_RETHROW("int MRoundBuffer::writeToSocket(MSocket *_sock)")

MObject* MRoundBuffer::newObject() { return new MRoundBuffer(); }

MObject* MRoundBuffer::duplicate() {
  MRoundBuffer* copy = new MRoundBuffer(capacity);
  if (capacity > 0) {
    MMutexLock lock(mutex);
    int n = peek(copy->buffer, capacity);
    copy->writePos.store(n);
  }
  return copy;
}

uchar MRoundBuffer::getType() { return 23; }

MString MRoundBuffer::getTypeName() { return MString("MRoundBuffer"); }

bool MRoundBuffer::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MRoundBuffer") == 0) || MStream::isKindOf(_name);
}

bool MRoundBuffer::isKindOf(uchar _type) { return _type == 23 || MStream::isKindOf(_type); }

MString MRoundBuffer::toString() { return MString("BUFFER STREAM"); }
