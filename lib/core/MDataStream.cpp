#include "lib/core/MDataStream.h"

#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MString.h"
#include "lib/platform/MClock.h"

namespace {
// What a gap in the data reads as.
const uchar zeroBlock[MDataStream::kBlockSize] = {0};

// A stream released after its thread's pool has gone (at the thread's or the program's end)
// frees its blocks the ordinary way: the flag outlives the pool.
thread_local bool sparesGone = false;

// A few released blocks kept per thread for the next stream: every answer is written into
// one, and a block this size is too large for the allocator's fast path.
class SparePool {
 public:
  static constexpr size_t kKept = 4;
  ~SparePool() {
    sparesGone = true;
    for (uchar* block : blocks) delete[] block;
  }
  // A zero-filled block.
  uchar* take() {
    if (sparesGone || blocks.empty()) return new uchar[MDataStream::kBlockSize]();
    uchar* block = blocks.back();
    blocks.pop_back();
    memset(block, 0, MDataStream::kBlockSize);
    return block;
  }
  void give(uchar* _block) {
    if (!sparesGone && blocks.size() < kKept) {
      blocks.push_back(_block);
    } else {
      delete[] _block;
    }
  }

 private:
  std::vector<uchar*> blocks;
};

thread_local SparePool spares;
}  // namespace

MDataStream::MDataStream() : readPos(0), writePos(0), size(0) {}

MDataStream::~MDataStream() { releaseBlocks(); }

uchar* MDataStream::blockAt(Int64 _pos) const {
  Int64 index = _pos / kBlockSize;
  if (_pos < 0 || index >= (Int64)segments.size()) return nullptr;
  return segments[(size_t)index];
}

uchar* MDataStream::allocateBlock(Int64 _pos) {
  size_t index = (size_t)(_pos / kBlockSize);
  if (index >= segments.size()) segments.resize(index + 1, nullptr);
  if (segments[index] == nullptr) segments[index] = spares.take();
  return segments[index];
}

void MDataStream::releaseBlocks() {
  for (uchar* block : segments)
    if (block != nullptr) spares.give(block);
  segments.clear();
}

int MDataStream::getAllocatedBlocks() const {
  int count = 0;
  for (uchar* block : segments)
    if (block != nullptr) ++count;
  return count;
}

int MDataStream::writeData(void* _value, int _size) try {
  if (_size < 1) return 0;
  if (writePos + _size > kMaxSize)
    throw MException("### OUT OF SPACE ###", "Not enough space for writing!");
  const uchar* from = (const uchar*)_value;
  int done = 0;
  while (done < _size) {
    int offset = (int)(writePos % kBlockSize);
    int piece = kBlockSize - offset;
    if (piece > _size - done) piece = _size - done;
    uchar* block = allocateBlock(writePos);
    memmove(block + offset, from + done, piece);
    writePos += piece;
    done += piece;
  }
  if (writePos > size) size = writePos;
  return _size;
} M_RETHROW("int MDataStream::writeData(void *_value,int _size)")

int MDataStream::readData(void* _value, int _size) {
  if (_size < 1 || readPos >= size) return 0;
  uchar* to = (uchar*)_value;
  int done = 0;
  while (done < _size && readPos < size) {
    int offset = (int)(readPos % kBlockSize);
    Int64 piece = kBlockSize - offset;
    if (piece > _size - done) piece = _size - done;
    if (piece > size - readPos) piece = size - readPos;
    const uchar* block = blockAt(readPos);
    memcpy(to + done, block ? block + offset : zeroBlock, (size_t)piece);
    readPos += piece;
    done += (int)piece;
  }
  return done;
}

uchar MDataStream::getNextByte() try {
  if (readPos >= size)
    throw MException("### OUT OF BUFFER ###", "The read pointer is out of the buffer!");
  const uchar* block = blockAt(readPos);
  if (block == nullptr) throw MException("### INVALID SEGMENT ###", "Invalid segment!");
  return block[readPos % kBlockSize];
} M_RETHROW("uchar MDataStream::getNextByte()")

Int64 MDataStream::getReadPos() { return readPos; }

Int64 MDataStream::getWritePos() { return writePos; }

Int64 MDataStream::setReadPos(Int64 _pos) try {
  if (_pos < 0 || _pos > size)
    throw MException("### ILLEGAL POSITION ###", "The read position is out of data!");
  readPos = _pos;
  return readPos;
} M_RETHROW("Int64 MDataStream::setReadPos(Int64 _pos)")

Int64 MDataStream::setWritePos(Int64 _pos) try {
  if (_pos < 0 || _pos > kMaxSize)
    throw MException("### ILLEGAL POSITION ###", "The write position is out of buffer!");
  writePos = _pos;
  return writePos;
} M_RETHROW("Int64 MDataStream::setWritePos(Int64 _pos)")

Int64 MDataStream::setEndPos(Int64 _pos) try {
  if (_pos < 0 || _pos > kMaxSize)
    throw MException("### ILLEGAL POSITION ###", "The end position is out of buffer!");
  size = _pos;
  return size;
} M_RETHROW("Int64 MDataStream::setEndPos(Int64 _pos)")

Int64 MDataStream::getMaxSize() { return kMaxSize; }

void MDataStream::clear() {
  releaseBlocks();
  readPos = writePos = size = 0;
}

Int64 MDataStream::writeTo(MOutputStream* _stream) try {
  if (_stream == nullptr) throw MException("### NULL ###", "The stream parameter is null!");
  Int64 pos = 0;
  while (pos < size) {
    Int64 free = _stream->getFreeSize();
    int offset = (int)(pos % kBlockSize);
    // One piece never crosses a block boundary, so it is copied straight from the block.
    Int64 piece = kBlockSize - offset;
    if (piece > size - pos) piece = size - pos;
    if (piece > free) piece = free;
    int written = 0;
    if (piece > 0) {
      const uchar* block = blockAt(pos);
      written = _stream->writeData((void*)(block ? block + offset : zeroBlock), (int)piece);
    }
    if (written > 0) {
      pos += written;
    } else {
      sleepFor(0, 1);
    }
  }
  return pos;
} M_RETHROW("Int64 MDataStream::writeTo(MOutputStream *_stream)")

int MDataStream::readFrom(MInputStream* _stream, int _size) try {
  if (_stream == nullptr) throw MException("### NULL ###", "The stream parameter is null!");
  if (_size < 1) return 0;
  // Refused before anything is taken from the source, so no byte is lost on the way.
  if (writePos + _size > kMaxSize)
    throw MException("### OUT OF SPACE ###", "Not enough space for writing!");
  uchar piece[kBlockSize];
  int added = 0;
  while (added < _size) {
    int want = _size - added < kBlockSize ? _size - added : kBlockSize;
    int got = _stream->readData(piece, want);
    if (got <= 0) break;
    writeData(piece, got);
    added += got;
  }
  return added;
} M_RETHROW("int MDataStream::readFrom(MInputStream *_stream,int _size)")

void MDataStream::moveDataFrom(MDataStream& _other) {
  if (&_other == this) return;
  clear();
  segments.swap(_other.segments);
  readPos = _other.readPos;
  writePos = _other.writePos;
  size = _other.size;
  _other.readPos = _other.writePos = _other.size = 0;
}

MObject* MDataStream::newObject() { return new MDataStream(); }

MObject* MDataStream::duplicate() {
  MDataStream* copy = new MDataStream();
  copy->segments.resize(segments.size(), nullptr);
  for (size_t i = 0; i < segments.size(); ++i) {
    if (segments[i] == nullptr) continue;
    copy->segments[i] = new uchar[kBlockSize];
    memcpy(copy->segments[i], segments[i], kBlockSize);
  }
  copy->readPos = readPos;
  copy->writePos = writePos;
  copy->size = size;
  return copy;
}

uchar MDataStream::getType() { return 25; }

MString MDataStream::getTypeName() { return MString("MDataStream"); }

bool MDataStream::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MDataStream") == 0) || MSeekStream::isKindOf(_name);
}

bool MDataStream::isKindOf(uchar _type) { return _type == 25 || MSeekStream::isKindOf(_type); }

MString MDataStream::toString() {
  return MString::format("MDataStream(writePos = %d,readPos = %d, size = %d)", (int)writePos,
                         (int)readPos, (int)size);
}

int MDataStream::getStreamSize() { return 9 + (int)size; }

void MDataStream::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)25 << size;
  for (Int64 pos = 0; pos < size;) {
    int offset = (int)(pos % kBlockSize);
    Int64 piece = kBlockSize - offset;
    if (piece > size - pos) piece = size - pos;
    const uchar* block = blockAt(pos);
    _stream->writeAll((void*)(block ? block + offset : zeroBlock), (int)piece);
    pos += piece;
  }
} M_RETHROW("void MDataStream::writeStream(MOutputStream *_stream)")

void MDataStream::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 25) throw MException("### TYPE ###", "Wrong type");
  uchar type;
  Int64 length;
  *_stream >> type >> length;
  if (length < 0 || length > kMaxSize)
    throw MException("### READ ###", "The data length is out of range!");
  // Read aside first, so that a record cut short leaves this stream as it was.
  MDataStream incoming;
  uchar piece[kBlockSize];
  for (Int64 left = length; left > 0;) {
    int want = left < kBlockSize ? (int)left : kBlockSize;
    _stream->readAll(piece, want);
    incoming.writeData(piece, want);
    left -= want;
  }
  moveDataFrom(incoming);
} M_RETHROW("void MDataStream::readStream(MInputStream *_stream)")
