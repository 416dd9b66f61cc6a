#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "lib/core/MRoundBuffer.h"
#include "tests/lib/core/CoreTestSupport.h"

namespace {

const Chain outOfSpace = {{"int MRoundBuffer::writeData(void *_value,int _size)", "Operation failed!"},
                          {"### OUT OF SPACE ###", "Not enough space for writing!"}};

int put(MRoundBuffer& _buffer, const std::string& _text) {
  return _buffer.writeData((void*)_text.data(), (int)_text.size());
}

std::string take(MRoundBuffer& _buffer, int _count) {
  std::string text(_count, '\0');
  int n = _buffer.readData(&text[0], _count);
  text.resize(n > 0 ? n : 0);
  return text;
}

}  // namespace

TEST(MRoundBuffer, WriteLargerThanTheFreeSpaceIsRefusedWhole) {
  MRoundBuffer buffer(8);
  EXPECT_EQ(6, put(buffer, "abcdef"));
  EXPECT_EQ(outOfSpace, chainFrom([&] { put(buffer, "xyz"); }));
  EXPECT_EQ(6, buffer.getInputBytes());  // nothing of the refused write went in
  EXPECT_EQ(2, put(buffer, "gh"));
  EXPECT_EQ(0, buffer.getFreeSize());
  EXPECT_FALSE(buffer.isWriteable(0, 0));
  EXPECT_EQ("abcdefgh", take(buffer, 100));
}

TEST(MRoundBuffer, WriteRunsOverTheEndOfTheStorage) {
  MRoundBuffer buffer(8);
  put(buffer, "abcdef");
  EXPECT_EQ("abcd", take(buffer, 4));
  EXPECT_EQ(6, put(buffer, "ijklmn"));  // positions 6 to 11: wraps after two bytes
  EXPECT_EQ(8, buffer.getInputBytes());
  EXPECT_EQ("efijklmn", take(buffer, 100));
  EXPECT_EQ("", take(buffer, 1));
  EXPECT_EQ(8, buffer.getFreeSize());
}

TEST(MRoundBuffer, ManyWrapsKeepTheOrder) {
  MRoundBuffer buffer(7);
  std::string sent, received;
  int next = 0;
  for (int round = 0; round < 500; ++round) {
    int n = 1 + round % 7;
    if (buffer.getFreeSize() >= n) {
      std::string piece;
      for (int i = 0; i < n; ++i) piece += (char)('a' + next++ % 26);
      put(buffer, piece);
      sent += piece;
    }
    received += take(buffer, 1 + round % 5);
  }
  received += take(buffer, 7);
  EXPECT_EQ(sent, received);
  EXPECT_GT(sent.size(), 100u);
}

TEST(MRoundBuffer, EmptyBufferReadsNothing) {
  MRoundBuffer buffer(4);
  EXPECT_EQ("", take(buffer, 3));
  EXPECT_EQ(0, put(buffer, ""));
  EXPECT_FALSE(buffer.isReadable(0, 0));
  EXPECT_TRUE(buffer.isWriteable(0, 0));
  EXPECT_EQ(-1, buffer.findByte('a', 10));
  EXPECT_EQ((Chain{{"uchar MRoundBuffer::getNextByte()", "Operation failed!"},
                   {"### OUT OF BUFFER ###", "The read pointer is out of the buffer!"}}),
            chainFrom([&] { buffer.getNextByte(); }));
}

TEST(MRoundBuffer, BuffersWithoutStorageRefuseEveryWrite) {
  std::unique_ptr<MRoundBuffer> buffers[] = {
      std::make_unique<MRoundBuffer>(), std::make_unique<MRoundBuffer>(0),
      std::make_unique<MRoundBuffer>(-5), std::make_unique<MRoundBuffer>(nullptr, 10, true)};
  for (auto& buffer : buffers) {
    EXPECT_EQ(0, buffer->getFreeSize());
    EXPECT_EQ(0, buffer->getInputBytes());
    EXPECT_EQ(outOfSpace, chainFrom([&] { put(*buffer, "a"); }));
    EXPECT_EQ("", take(*buffer, 1));
    EXPECT_EQ(-1, buffer->findByte('a', 5));
  }
}

TEST(MRoundBuffer, ExternalStorageIsUsedButNotOwned) {
  char storage[4] = {'w', 'x', 'y', 'z'};
  {
    MRoundBuffer full(storage, 4, true);
    EXPECT_EQ(4, full.getInputBytes());
    EXPECT_EQ("wxyz", take(full, 10));
    EXPECT_EQ(2, put(full, "ab"));
  }
  EXPECT_EQ('a', storage[0]);  // still ours, and written through
  MRoundBuffer empty(storage, 4, false);
  EXPECT_EQ(0, empty.getInputBytes());
  EXPECT_EQ(4, empty.getFreeSize());
}

TEST(MRoundBuffer, FindByteLooksOnlyAtBufferedBytesWithinReach) {
  MRoundBuffer buffer(8);
  put(buffer, "xxxxx");
  take(buffer, 5);
  put(buffer, "ab\ncd");  // stored across the end of the storage
  struct Case {
    char ch;
    int reach;
    int expected;
  } cases[] = {
      {'\n', 10, 2}, {'\n', 3, 2}, {'\n', 2, -1}, {'a', 1, 0},  {'d', 100, 4},
      {'z', 100, -1}, {'a', 0, -1}, {'a', -3, -1}, {'x', 8, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, buffer.findByte((uchar)c.ch, c.reach)) << c.ch << " " << c.reach;
  EXPECT_EQ('a', buffer.getNextByte());
  EXPECT_EQ(5, buffer.getInputBytes());  // looking consumes nothing
}

TEST(MRoundBuffer, ReadLineDropsLineEnds) {
  MRoundBuffer buffer(64);
  put(buffer, "GET / HTTP/1.0\r\nHost: a\r\n\r\nx\ry\n");
  struct Expected {
    const char* text;
    int length;
  } lines[] = {{"GET / HTTP/1.0", 14}, {"Host: a", 7}, {"", 0}, {"xy", 2}};
  for (const Expected& line : lines) {
    char value[64];
    EXPECT_EQ(line.length, buffer.readLine(value, sizeof value));
    EXPECT_STREQ(line.text, value);
  }
  EXPECT_EQ(0, buffer.getInputBytes());
}

TEST(MRoundBuffer, ReadLineWithoutLineFeedInReachConsumesNothing) {
  struct Case {
    const char* input;
    int maxLen;
  } cases[] = {{"GET / HTTP/1.0", 100}, {"abcdefgh\n", 5}, {"abcd\n", 4}};
  for (const Case& c : cases) {
    MRoundBuffer buffer(64);
    put(buffer, c.input);
    std::unique_ptr<char[]> value(new char[c.maxLen]);
    EXPECT_EQ((Chain{{"int MInputStream::readLine(char *_value,int _maxLen)", "Operation failed!"},
                     {"### END OF LINE ###", "End of line not found!"}}),
              chainFrom([&] { buffer.readLine(value.get(), c.maxLen); }))
        << c.input;
    EXPECT_EQ((Int64)strlen(c.input), buffer.getInputBytes());
  }
}

TEST(MRoundBuffer, ReadLineFillsAtMostMaxLenBytes) {
  MRoundBuffer buffer(64);
  put(buffer, "123456789\n");
  std::unique_ptr<char[]> value(new char[10]);  // exactly maxLen, so ASan sees any overrun
  EXPECT_EQ(9, buffer.readLine(value.get(), 10));
  EXPECT_STREQ("123456789", value.get());
}

TEST(MRoundBuffer, WriteToStreamMovesWhatTheTargetHasRoomFor) {
  MRoundBuffer source(16), target(4);
  put(source, "abcdef");
  EXPECT_EQ(4, source.writeToStream(&target));
  EXPECT_EQ("abcd", take(target, 10));
  EXPECT_EQ("ef", take(source, 10));
  EXPECT_EQ(0, source.writeToStream(&target));
}

TEST(MRoundBuffer, ReadFromSocketAsksForAtMostTheChunkAndTheFreeSpace) {
  MRoundBuffer big(40000);
  ScriptedStream socket;
  socket.incoming = "hello";
  EXPECT_EQ(5, big.readFromSocket(&socket));
  EXPECT_EQ(std::vector<int>{20000}, socket.readRequests);
  EXPECT_EQ("hello", take(big, 10));

  MRoundBuffer small(100);
  put(small, std::string(30, '.'));
  socket.readRequests.clear();
  socket.incoming = std::string(200, 'x');
  EXPECT_EQ(70, small.readFromSocket(&socket));
  EXPECT_EQ(std::vector<int>{70}, socket.readRequests);
  EXPECT_EQ(0, small.getFreeSize());
  socket.readRequests.clear();
  EXPECT_EQ(0, small.readFromSocket(&socket));  // full: the socket is not asked
  EXPECT_TRUE(socket.readRequests.empty());

  socket.incoming.clear();
  MRoundBuffer idle(10);
  EXPECT_EQ(0, idle.readFromSocket(&socket));  // nothing arrived
  EXPECT_EQ(0, idle.getInputBytes());
}

TEST(MRoundBuffer, ReadFromSocketPassesTheSocketFailureOn) {
  MRoundBuffer buffer(10);
  ScriptedStream socket;
  socket.readFails = true;
  EXPECT_EQ((Chain{{"int MRoundBuffer::readFromSocket(MSocket *_sock)", "Operation failed!"},
                   {"### READ ###", "Cannot read the socket!"}}),
            chainFrom([&] { buffer.readFromSocket(&socket); }));
  EXPECT_EQ(0, buffer.getInputBytes());
}

TEST(MRoundBuffer, WriteToSocketSendsAtMostOneChunk) {
  MRoundBuffer buffer(40000);
  std::string data;
  for (int i = 0; i < 25000; ++i) data += (char)('a' + i % 26);
  put(buffer, data);
  ScriptedStream socket;
  socket.maxPerWrite = 6000;  // the socket takes it in several pieces
  EXPECT_EQ(20000, buffer.writeToSocket(&socket));
  EXPECT_EQ(5000, buffer.getInputBytes());
  EXPECT_EQ(5000, buffer.writeToSocket(&socket));
  EXPECT_EQ(data, socket.taken);
  EXPECT_EQ(0, buffer.writeToSocket(&socket));
}

TEST(MRoundBuffer, WriteToSocketKeepsWhatTheSocketDidNotTake) {
  MRoundBuffer buffer(16);
  put(buffer, "0123456789ABCDEF");
  ScriptedStream socket;
  socket.maxPerWrite = 7;
  socket.totalLimit = 10;  // then its send buffer is full
  EXPECT_EQ(10, buffer.writeToSocket(&socket));
  EXPECT_EQ("0123456789", socket.taken);
  EXPECT_EQ(6, buffer.getInputBytes());
  EXPECT_EQ(0, buffer.writeToSocket(&socket));
  socket.totalLimit = 100;  // drained
  EXPECT_EQ(6, buffer.writeToSocket(&socket));
  EXPECT_EQ("0123456789ABCDEF", socket.taken);
}

TEST(MRoundBuffer, WriteToSocketSendsBytesAcrossTheEndInOrder) {
  MRoundBuffer buffer(16);
  put(buffer, "0123456789");
  take(buffer, 10);
  ScriptedStream socket;
  put(buffer, "abcdefghijkl");  // six bytes before the end of the storage, six after
  EXPECT_EQ(12, buffer.writeToSocket(&socket));
  put(buffer, "xyz");  // in one piece again
  socket.maxPerWrite = 2;
  EXPECT_EQ(3, buffer.writeToSocket(&socket));
  EXPECT_EQ("abcdefghijklxyz", socket.taken);
  EXPECT_EQ(0, buffer.getInputBytes());
}

TEST(MRoundBuffer, WriteToSocketFailureKeepsTheUnsentBytes) {
  MRoundBuffer buffer(16);
  put(buffer, "abcdefgh");
  ScriptedStream socket;
  socket.failAt = 3;
  EXPECT_EQ((Chain{{"int MRoundBuffer::writeToSocket(MSocket *_sock)", "Operation failed!"},
                   {"### WRITE ###", "Cannot write to the socket"}}),
            chainFrom([&] { buffer.writeToSocket(&socket); }));
  EXPECT_EQ("abc", socket.taken);
  EXPECT_EQ("defgh", take(buffer, 10));
}

TEST(MRoundBuffer, ObjectSide) {
  MRoundBuffer buffer(8);
  put(buffer, "abc");
  EXPECT_EQ(23, buffer.getType());
  EXPECT_STREQ("MRoundBuffer", buffer.getTypeName().getValue());
  EXPECT_STREQ("BUFFER STREAM", buffer.toString().getValue());
  EXPECT_FALSE(buffer.isNumeric());
  MRoundBuffer* copy = (MRoundBuffer*)buffer.duplicate();
  EXPECT_EQ(8, copy->getCapacity());
  EXPECT_EQ("abc", take(*copy, 10));
  EXPECT_EQ(3, buffer.getInputBytes());
  delete copy;
}
