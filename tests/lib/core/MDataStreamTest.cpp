#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "lib/core/MDataStream.h"
#include "lib/core/MRoundBuffer.h"
#include "tests/lib/core/CoreTestSupport.h"

namespace {

// A recognisable byte for every position, so that misplaced blocks show.
uchar patternAt(int _pos) { return (uchar)((_pos * 7 + _pos / 251) % 251); }

Bytes pattern(int _count) {
  Bytes bytes(_count);
  for (int i = 0; i < _count; ++i) bytes[i] = patternAt(i);
  return bytes;
}

void writeText(MDataStream& _stream, const char* _text) {
  _stream.writeData((void*)_text, (int)strlen(_text));
}

}  // namespace

TEST(MDataStream, TwoAndAHalfBlocksReadBackInOrder) {
  MDataStream stream;
  Bytes data = pattern(25000);
  for (int at = 0; at < 25000; at += 3333) {
    int n = std::min(3333, 25000 - at);
    ASSERT_EQ(n, stream.writeData(data.data() + at, n));
  }
  EXPECT_EQ(3, stream.getAllocatedBlocks());
  EXPECT_EQ(25000, stream.getWritePos());
  EXPECT_EQ(25000, stream.getEndPos());
  Bytes back;
  uchar piece[4096];
  int n;
  while ((n = stream.readData(piece, sizeof piece)) > 0) back.insert(back.end(), piece, piece + n);
  EXPECT_EQ(data, back);
  EXPECT_EQ(0, stream.readData(piece, sizeof piece));
  EXPECT_EQ(0, stream.readData(piece, 0));
}

TEST(MDataStream, GetNextByteLooksWithoutConsumingAndStopsAtTheEnd) {
  MDataStream stream;
  Chain atEnd = {{"uchar MDataStream::getNextByte()", "Operation failed!"},
                 {"### OUT OF BUFFER ###", "The read pointer is out of the buffer!"}};
  EXPECT_EQ(atEnd, chainFrom([&] { stream.getNextByte(); }));
  writeText(stream, "ab");
  EXPECT_EQ('a', stream.getNextByte());
  EXPECT_EQ('a', stream.getNextByte());
  uchar two[2];
  stream.readData(two, 2);
  EXPECT_EQ(atEnd, chainFrom([&] { stream.getNextByte(); }));
  // A shortened end hides the bytes behind it even though their block exists.
  stream.setReadPos(1);
  stream.setEndPos(1);
  EXPECT_EQ(atEnd, chainFrom([&] { stream.getNextByte(); }));
}

TEST(MDataStream, AGapReadsAsZerosButIsAnInvalidSegmentForGetNextByte) {
  MDataStream stream;
  stream.setWritePos(25000);
  writeText(stream, "z");
  EXPECT_EQ(25001, stream.getEndPos());
  EXPECT_EQ(1, stream.getAllocatedBlocks());
  EXPECT_EQ((Chain{{"uchar MDataStream::getNextByte()", "Operation failed!"},
                   {"### INVALID SEGMENT ###", "Invalid segment!"}}),
            chainFrom([&] { stream.getNextByte(); }));
  Bytes back(25001, 0xEE);
  EXPECT_EQ(25001, stream.readData(back.data(), 25001));
  EXPECT_EQ(Bytes(25000, 0), Bytes(back.begin(), back.end() - 1));
  EXPECT_EQ('z', back.back());
}

TEST(MDataStream, BlocksOfAnEarlierStreamComeBackAsZeros) {
  // Written full and released, the blocks are kept for the next stream of this thread.
  {
    MDataStream earlier;
    Bytes full(3 * MDataStream::kBlockSize, 0xAB);
    earlier.writeData(full.data(), (int)full.size());
  }
  MDataStream stream;
  // Gaps inside a block, and a block left out entirely, read as zeros.
  stream.setWritePos(10);
  writeText(stream, "a");
  stream.setWritePos(MDataStream::kBlockSize * 2 + 5);
  writeText(stream, "b");
  stream.setEndPos(MDataStream::kBlockSize * 2 + 100);
  Bytes back(MDataStream::kBlockSize * 2 + 100, 0xEE);
  EXPECT_EQ((int)back.size(), stream.readData(back.data(), (int)back.size()));
  Bytes expected(back.size(), 0);
  expected[10] = 'a';
  expected[MDataStream::kBlockSize * 2 + 5] = 'b';
  EXPECT_EQ(expected, back);
}

TEST(MDataStream, PositionsOutsideTheirRangeAreRefused) {
  struct Case {
    const char* signature;
    const char* message;
    Int64 (MDataStream::*set)(Int64);
    Int64 pos;
  } cases[] = {
      {"Int64 MDataStream::setReadPos(Int64 _pos)", "The read position is out of data!",
       &MDataStream::setReadPos, -1},
      {"Int64 MDataStream::setReadPos(Int64 _pos)", "The read position is out of data!",
       &MDataStream::setReadPos, 5},
      {"Int64 MDataStream::setWritePos(Int64 _pos)", "The write position is out of buffer!",
       &MDataStream::setWritePos, -1},
      {"Int64 MDataStream::setWritePos(Int64 _pos)", "The write position is out of buffer!",
       &MDataStream::setWritePos, MDataStream::kMaxSize + 1},
      {"Int64 MDataStream::setEndPos(Int64 _pos)", "The end position is out of buffer!",
       &MDataStream::setEndPos, -1},
      {"Int64 MDataStream::setEndPos(Int64 _pos)", "The end position is out of buffer!",
       &MDataStream::setEndPos, MDataStream::kMaxSize + 1},
  };
  for (const Case& c : cases) {
    MDataStream stream;
    writeText(stream, "abcd");
    stream.setReadPos(1);
    EXPECT_EQ((Chain{{c.signature, "Operation failed!"}, {"### ILLEGAL POSITION ###", c.message}}),
              chainFrom([&] { (stream.*c.set)(c.pos); }))
        << c.signature << " " << c.pos;
    EXPECT_STREQ("MDataStream(writePos = 4,readPos = 1, size = 4)", stream.toString().getValue());
  }
  MDataStream stream;
  writeText(stream, "abcd");
  EXPECT_EQ(4, stream.setReadPos(4));
  EXPECT_EQ(MDataStream::kMaxSize, stream.setWritePos(MDataStream::kMaxSize));
  EXPECT_EQ(0, stream.setEndPos(0));
}

TEST(MDataStream, WritingPastTheMaximumIsRefusedAsAWhole) {
  MDataStream stream;
  EXPECT_EQ(100000000, stream.getMaxSize());
  stream.setWritePos(MDataStream::kMaxSize - 2);
  EXPECT_EQ((Chain{{"int MDataStream::writeData(void *_value,int _size)", "Operation failed!"},
                   {"### OUT OF SPACE ###", "Not enough space for writing!"}}),
            chainFrom([&] { writeText(stream, "abc"); }));
  EXPECT_EQ(MDataStream::kMaxSize - 2, stream.getWritePos());
  EXPECT_EQ(0, stream.getEndPos());
  EXPECT_EQ(0, stream.getAllocatedBlocks());
  writeText(stream, "ab");
  EXPECT_EQ(MDataStream::kMaxSize, stream.getEndPos());
  EXPECT_EQ(1, stream.getAllocatedBlocks());  // only the last block
}

TEST(MDataStream, OverwritingAndShorteningKeepTheRestInPlace) {
  MDataStream stream;
  writeText(stream, "abcdef");
  stream.setWritePos(1);
  writeText(stream, "XY");
  EXPECT_EQ("aXYdef", textOf(stream));
  EXPECT_EQ(6, stream.getEndPos());
  stream.setEndPos(3);
  EXPECT_EQ("aXY", textOf(stream));
}

TEST(MDataStream, ClearReleasesEverything) {
  MDataStream stream;
  Bytes data = pattern(15000);
  stream.writeData(data.data(), 15000);
  stream.setReadPos(10);
  stream.clear();
  EXPECT_EQ(0, stream.getAllocatedBlocks());
  EXPECT_STREQ("MDataStream(writePos = 0,readPos = 0, size = 0)", stream.toString().getValue());
  writeText(stream, "new");
  EXPECT_EQ("new", textOf(stream));
}

TEST(MDataStream, MoveDataFromTakesOverAndEmptiesTheOther) {
  MDataStream from, to;
  Bytes data = pattern(12000);
  from.writeData(data.data(), 12000);
  from.setReadPos(5);
  writeText(to, "old");
  to.moveDataFrom(from);
  EXPECT_STREQ("MDataStream(writePos = 12000,readPos = 5, size = 12000)", to.toString().getValue());
  EXPECT_EQ(data, bytesOf(to));
  EXPECT_EQ(0, from.getAllocatedBlocks());
  EXPECT_STREQ("MDataStream(writePos = 0,readPos = 0, size = 0)", from.toString().getValue());
  to.moveDataFrom(to);
  EXPECT_EQ(data, bytesOf(to));
}

TEST(MDataStream, DuplicateIsIndependent) {
  MDataStream stream;
  writeText(stream, "abc");
  MDataStream* copy = (MDataStream*)stream.duplicate();
  stream.setWritePos(0);
  writeText(stream, "X");
  EXPECT_EQ("abc", textOf(*copy));
  EXPECT_EQ("Xbc", textOf(stream));
  delete copy;
}

TEST(MDataStream, WriteToCopiesEverythingAndWaitsForADrainingTarget) {
  MDataStream stream;
  Bytes data = pattern(25000);
  stream.writeData(data.data(), 25000);
  stream.setReadPos(7);
  MRoundBuffer target(1000);  // far smaller than the content: writeTo must wait for room
  Bytes received;
  std::thread drain([&] {
    uchar piece[300];
    while ((int)received.size() < 25000) {
      int n = target.readData(piece, sizeof piece);
      received.insert(received.end(), piece, piece + n);
      if (n == 0) std::this_thread::yield();
    }
  });
  EXPECT_EQ(25000, stream.writeTo(&target));
  drain.join();
  EXPECT_EQ(data, received);
  EXPECT_EQ(7, stream.getReadPos());
}

TEST(MDataStream, ReadFromAppendsAndStopsWhenTheSourceRunsDry) {
  MRoundBuffer source(100);
  Bytes data = pattern(30);
  source.writeData(data.data(), 30);
  MDataStream stream;
  EXPECT_EQ(20, stream.readFrom(&source, 20));
  EXPECT_EQ(10, stream.readFrom(&source, 100));
  EXPECT_EQ(data, bytesOf(stream));
  EXPECT_EQ(0, stream.readFrom(&source, 5));
}

TEST(MDataStream, ReadFromPastTheMaximumTakesNothingFromTheSource) {
  MRoundBuffer source(10);
  source.writeData((void*)"abcde", 5);
  MDataStream stream;
  stream.setWritePos(MDataStream::kMaxSize - 2);
  EXPECT_EQ((Chain{{"int MDataStream::readFrom(MInputStream *_stream,int _size)", "Operation failed!"},
                   {"### OUT OF SPACE ###", "Not enough space for writing!"}}),
            chainFrom([&] { stream.readFrom(&source, 5); }));
  EXPECT_EQ(5, source.getInputBytes());
}

TEST(MDataStream, RecordCarriesA64BitLength) {
  MDataStream stream;
  Bytes data = pattern(23456);
  stream.writeData(data.data(), 23456);
  MDataStream record;
  stream.writeStream(&record);
  EXPECT_EQ(stream.getStreamSize(), record.getEndPos());
  Bytes head = bytesOf(record);
  EXPECT_EQ((Bytes{0x19, 0xA0, 0x5B, 0, 0, 0, 0, 0, 0}), Bytes(head.begin(), head.begin() + 9));
  MDataStream back;
  back.readStream(&record);
  EXPECT_EQ(data, bytesOf(back));
  EXPECT_EQ(0, back.getReadPos());
}

TEST(MDataStream, BadRecordsLeaveTheStreamAsItWas) {
  struct Case {
    Bytes record;
    const char* message;
  } cases[] = {
      {{0x19, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "The data length is out of range!"},
      {{0x19, 0x01, 0xE1, 0xF5, 0x05, 0, 0, 0, 0}, "The data length is out of range!"},
      {{0x19, 0x05, 0, 0, 0, 0, 0, 0, 0, 'a', 'b'}, nullptr},  // cut short
  };
  for (const Case& c : cases) {
    MDataStream source;
    source.writeData((void*)c.record.data(), (int)c.record.size());
    MDataStream stream;
    writeText(stream, "keep");
    Chain chain = chainFrom([&] { stream.readStream(&source); });
    ASSERT_GE(chain.size(), 2u);
    EXPECT_EQ(Level("void MDataStream::readStream(MInputStream *_stream)", "Operation failed!"),
              chain[0]);
    if (c.message) {
      EXPECT_EQ(Level("### READ ###", c.message), chain[1]);
    }
    EXPECT_EQ("keep", textOf(stream));
  }
}

TEST(MDataStream, LeavesLineQueriesToTheBase) {
  MDataStream stream;
  writeText(stream, "line\n");
  char line[16];
  EXPECT_EQ((Chain{{"int MInputStream::readLine(char *_value,int _maxLen)", "Operation failed!"},
                   {"int MStream::findByte(uchar _ch,int _maxDistance)", "Operation failed!"}}),
            chainFrom([&] { stream.readLine(line, sizeof line); }));
  EXPECT_EQ(0, stream.getReadPos());
}
