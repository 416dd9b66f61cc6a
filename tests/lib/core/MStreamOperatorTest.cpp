#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "lib/core/MDataStream.h"
#include "lib/core/MInt32.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/core/MStream.h"
#include "tests/lib/core/CoreTestSupport.h"

// The typed operators of the two stream interfaces: one writeData per value, and reading
// gives back exactly what was written.

TEST(MStreamOperators, EncodingOfEachType) {
  struct Case {
    const char* name;
    void (*write)(MOutputStream&);
    Bytes bytes;
  } cases[] = {
      {"bool", [](MOutputStream& s) { s << true; }, {0x01}},
      {"char", [](MOutputStream& s) { s << 'A'; }, {0x41}},
      {"uchar", [](MOutputStream& s) { s << (uchar)0xFE; }, {0xFE}},
      {"short", [](MOutputStream& s) { s << (short)0x0102; }, {0x02, 0x01}},
      {"ushort", [](MOutputStream& s) { s << (ushort)0xFFFE; }, {0xFE, 0xFF}},
      {"int", [](MOutputStream& s) { s << (int)0x01020304; }, {0x01, 0x02, 0x03, 0x04}},
      {"uint", [](MOutputStream& s) { s << (uint)0xF1F2F3F4; }, {0xF1, 0xF2, 0xF3, 0xF4}},
      {"Int64", [](MOutputStream& s) { s << (Int64)-2; },
       {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"text", [](MOutputStream& s) { s << "ab"; }, {'a', 'b', 0x00}},
      {"null text", [](MOutputStream& s) { s << (const char*)nullptr; }, {0x00}},
      {"object", [](MOutputStream& s) { MInt32 v(7); s << v; }, {0x04, 0, 0, 0, 0x07}},
  };
  for (const Case& c : cases) {
    MDataStream stream;
    c.write(stream);
    EXPECT_EQ(c.bytes, bytesOf(stream)) << c.name;
  }
}

TEST(MStreamOperators, ValuesReadBackAsWritten) {
  MDataStream stream;
  stream << true << 'z' << (uchar)200 << (short)-2 << (ushort)65000 << INT_MIN << 4000000000u
         << (Int64)INT64_MIN;
  bool b = false;
  char c = 0;
  uchar uc = 0;
  short s = 0;
  ushort us = 0;
  int i = 0;
  uint ui = 0;
  Int64 l = 0;
  stream >> b >> c >> uc >> s >> us >> i >> ui >> l;
  EXPECT_TRUE(b);
  EXPECT_EQ('z', c);
  EXPECT_EQ(200, uc);
  EXPECT_EQ(-2, s);
  EXPECT_EQ(65000, us);
  EXPECT_EQ(INT_MIN, i);
  EXPECT_EQ(4000000000u, ui);
  EXPECT_EQ(INT64_MIN, l);
}

TEST(MStreamOperators, HostOrderReads32BitValuesAsStored) {
  MDataStream stream;
  uchar raw[] = {0x01, 0x02, 0x03, 0x04};
  stream.writeData(raw, 4);
  stream.setHostOrder(true);
  uint value = 0;
  stream >> value;
  EXPECT_EQ(0x04030201u, value);
}

TEST(MStreamOperators, TextsReadUpToTheirTerminator) {
  MRoundBuffer buffer(32);
  buffer << "abc" << "" << "d";
  char text[8];
  buffer >> text;
  EXPECT_STREQ("abc", text);
  buffer >> text;
  EXPECT_STREQ("", text);
  buffer >> text;
  EXPECT_STREQ("d", text);
  EXPECT_EQ(0, buffer.getInputBytes());
}

TEST(MStreamOperators, TextWithoutTerminatorFailsAndConsumesNothing) {
  MRoundBuffer buffer(32);
  buffer.writeData((void*)"abc", 3);
  char text[8];
  EXPECT_EQ((Chain{{"MInputStream& MInputStream::operator>>(char *_value)", "Operation failed!"},
                   {"### END OF STRING ###", "End of string not found!"}}),
            chainFrom([&] { buffer >> text; }));
  EXPECT_EQ(3, buffer.getInputBytes());
}

TEST(MStreamOperators, ReadAllFailsWhenTheStreamRunsDry) {
  MRoundBuffer buffer(32);
  buffer.writeData((void*)"abc", 3);
  char data[8];
  Chain chain = chainFrom([&] { buffer.readAll(data, 5); });
  ASSERT_GE(chain.size(), 2u);
  EXPECT_EQ(Level("int MInputStream::readAll(void *_data,int _size)", "Operation failed!"), chain[0]);
  EXPECT_EQ(Level("### READ ###", "Operation failed!"), chain[1]);
  int value = 0;
  chain = chainFrom([&] { buffer >> value; });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(Level("MInputStream& MInputStream::operator>>(int &_value)", "Operation failed!"),
            chain[0]);
}

TEST(MStreamOperators, WriteAllPassesARefusalOn) {
  MRoundBuffer buffer(2);
  Chain chain = chainFrom([&] { buffer.writeAll((void*)"abc", 3); });
  EXPECT_EQ((Chain{{"int MOutputStream::writeAll(void *_data,int _size)", "Operation failed!"},
                   {"### WRITE ###", "Operation failed!"},
                   {"int MRoundBuffer::writeData(void *_value,int _size)", "Operation failed!"},
                   {"### OUT OF SPACE ###", "Not enough space for writing!"}}),
            chain);
  EXPECT_EQ(2, buffer.writeAll((void*)"ab", 2));  // what fits goes in
}

TEST(MStreamOperators, NullObjectsAreRefused) {
  MDataStream stream;
  EXPECT_EQ((Chain{{"MOutputStream& MOutputStream::operator<<(MObject *_value)", "Operation failed!"},
                   {"### NULL ###", "The object parameter is null!"}}),
            chainFrom([&] { stream << (MObject*)nullptr; }));
  EXPECT_EQ((Chain{{"MInputStream& MInputStream::operator>>(MObject *_value)", "Operation failed!"},
                   {"### NULL ###", "The object parameter is null!"}}),
            chainFrom([&] { stream >> (MObject*)nullptr; }));
}

TEST(MStreamOperators, AbstractOperationsFailUnderTheirSignature) {
  MStream stream;
  uchar byte;
  EXPECT_EQ((Chain{{"int MStream::readData(void *_value,int _size)", "Operation failed!"}}),
            chainFrom([&] { stream.readData(&byte, 1); }));
  EXPECT_EQ((Chain{{"int MStream::writeData(void *_value,int _size)", "Operation failed!"}}),
            chainFrom([&] { stream.writeData(&byte, 1); }));
  EXPECT_EQ((Chain{{"uchar MStream::getNextByte()", "Operation failed!"}}),
            chainFrom([&] { stream.getNextByte(); }));
  EXPECT_EQ((Chain{{"bool MStream::isClosed()", "Operation failed!"}}),
            chainFrom([&] { stream.isClosed(); }));
  EXPECT_EQ((Chain{{"Int64 MOutputStream::getFreeSize()", "Operation failed!"}}),
            chainFrom([&] { stream.getFreeSize(); }));
}
