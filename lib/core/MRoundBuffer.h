#ifndef VISTREL_MROUNDBUFFER_H
#define VISTREL_MROUNDBUFFER_H

#include <atomic>

#include "lib/core/MStream.h"
#include "lib/platform/MMutex.h"

// Fixed-size ring buffer between a socket and its processor. Byte number p of the stream
// lives at buffer[p % capacity]; readPos and writePos count every byte ever read and written,
// so writePos - readPos bytes are buffered. They are 64-bit, so a long-lived connection never
// wraps them.
//
// Shared by one reading and one writing thread: each position is changed by one side only,
// the copies run under the mutex, and the positions are atomic so that the queries
// (getInputBytes, getFreeSize, findByte, getNextByte) may run without the lock.
//
// writeData is all or nothing: a write larger than the free space is refused as a whole, so
// callers check getFreeSize first. Reading an empty buffer returns 0.
class MRoundBuffer : public MStream {
 public:
  // The most a socket transfer moves per call.
  static constexpr int kSocketChunk = 20000;

  MRoundBuffer();
  // Owns a buffer of _size bytes (none when _size is below 1).
  explicit MRoundBuffer(int _size);
  // Uses _buffer without owning it; with _full set its _size bytes count as already written.
  MRoundBuffer(void* _buffer, int _size, bool _full);
  MRoundBuffer(const MRoundBuffer&) = delete;
  MRoundBuffer& operator=(const MRoundBuffer&) = delete;
  ~MRoundBuffer() override;

  int writeData(void* _value, int _size) override;
  int readData(void* _value, int _size) override;
  Int64 getInputBytes() override;
  Int64 getFreeSize() override;
  int getCapacity() const { return capacity; }
  // Time-outs are ignored: a memory buffer never waits.
  bool isReadable(int _timeoutSec, int _timeoutUsec) override;
  bool isWriteable(int _timeoutSec, int _timeoutUsec) override;
  // The byte at the read position, not consumed; fails when nothing is buffered.
  uchar getNextByte() override;
  // Distance from the read position to the first _ch among the next _maxDistance buffered
  // bytes, or -1.
  int findByte(uchar _ch, int _maxDistance) override;

  // Moves min(buffered bytes, _stream's free size) bytes into _stream one byte per
  // writeData; a byte leaves this buffer only once _stream has taken it. Returns the number
  // moved.
  int writeToStream(MStream* _stream);

  // The socket side. _sock is any stream over a socket (the socket classes derive from
  // MStream); its readData and writeData must behave like this:
  //   readData(p, n)  returns the number of bytes received (1..n), or 0 or less when none
  //                   are available now; raises MException when the peer closed or failed.
  //   writeData(p, n) returns the number of bytes the socket took (0..n), 0 meaning it can
  //                   take nothing now (a non-blocking socket whose send buffer is full);
  //                   raises MException on failure.
  //
  // readFromSocket makes one readData of at most min(kSocketChunk, free space) bytes and
  // appends what arrived. Returns that number (0 or less when none arrived, and 0 without
  // touching the socket when the buffer is full).
  int readFromSocket(MStream* _sock);
  // Offers at most kSocketChunk buffered bytes to the socket, calling writeData until all are
  // taken or it takes nothing, and consumes exactly the bytes taken: after a partial send the
  // rest stays buffered, in order, for the next call. When writeData raises, the bytes taken
  // before are consumed and the failure is passed on. Returns the number of bytes sent.
  int writeToSocket(MStream* _sock);

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;

 private:
  // Copies up to _size buffered bytes without consuming them; returns the number copied.
  int peek(void* _value, int _size);
  // Consumes _count buffered bytes.
  void discard(int _count);

  MMutex mutex;
  bool ownsBuffer;
  uchar* buffer;
  int capacity;
  std::atomic<Int64> readPos;
  std::atomic<Int64> writePos;
};

#endif
