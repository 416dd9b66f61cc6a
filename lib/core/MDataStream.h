#ifndef VISTREL_MDATASTREAM_H
#define VISTREL_MDATASTREAM_H

#include <vector>

#include "lib/core/MSeekStream.h"
#include "lib/platform/MMutex.h"

// Growable in-memory stream for request and response bodies. Bytes live in blocks of
// kBlockSize bytes; block i holds positions i * kBlockSize to i * kBlockSize + kBlockSize - 1
// and is allocated (zero-filled) when a byte is first written into it, so the stream grows
// without ever moving data. At most kMaxSize bytes fit; a write that would pass that limit is
// refused as a whole.
//
// The size is one past the highest byte ever written (or set by setEndPos). Bytes below the
// size in a block that was never written (a gap left by moving the write position ahead) read
// as zeros through readData; getNextByte reports them as an invalid segment.
//
// findByte, getInputBytes, getFreeSize and the other queries of a byte pipe are left to the
// base versions, which fail: this stream is read with readData, or positioned.
// Used by one thread at a time; the mutex is there for callers that share a stream.
class MDataStream : public MSeekStream {
 public:
  static constexpr int kBlockSize = 10000;
  static constexpr int kBlockCount = 10000;
  static constexpr Int64 kMaxSize = (Int64)kBlockSize * kBlockCount;

  MDataStream();
  MDataStream(const MDataStream&) = delete;
  MDataStream& operator=(const MDataStream&) = delete;
  ~MDataStream() override;

  // All or nothing: writes every byte at the write position or, past kMaxSize, none.
  int writeData(void* _value, int _size) override;
  // Up to _size bytes from the read position; 0 at the end of the data.
  int readData(void* _value, int _size) override;
  // The byte at the read position, not consumed; fails at or after the end of the data.
  uchar getNextByte() override;

  Int64 getReadPos() override;
  Int64 getWritePos() override;
  Int64 getEndPos() const { return size; }
  // The read position may be anywhere from 0 to the end of the data; the write and end
  // positions anywhere from 0 to kMaxSize. Each returns the position now set.
  Int64 setReadPos(Int64 _pos) override;
  Int64 setWritePos(Int64 _pos) override;
  Int64 setEndPos(Int64 _pos);
  Int64 getMaxSize() override;
  int getAllocatedBlocks() const;

  // Releases all blocks; every position back to 0.
  void clear();
  // Copies the whole content (0 to the end) into _stream, never more per call than its free
  // size and at most kBlockSize; while the target has no room it waits a millisecond and asks
  // again, so the target must be drained by someone else. The read position is untouched.
  // Returns the number of bytes copied.
  Int64 writeTo(MOutputStream* _stream);
  // Appends up to _size bytes read from _stream in pieces of at most kBlockSize. Stops early
  // when the source has nothing more to give; returns the number of bytes added.
  int readFrom(MInputStream* _stream, int _size);
  // Takes over the other stream's blocks and positions; the other is left empty.
  void moveDataFrom(MDataStream& _other);

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  // Record: the type byte 25, the content length as Int64, then the content bytes.
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;

 private:
  // The block holding _pos, or null when it was never written.
  uchar* blockAt(Int64 _pos) const;
  uchar* allocateBlock(Int64 _pos);
  void releaseBlocks();

  MMutex mutex;
  Int64 readPos;
  Int64 writePos;
  Int64 size;
  // Grown on demand up to kBlockCount entries; only the block pointers ever move.
  std::vector<uchar*> segments;
};

#endif
