#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "lib/core/MDataStream.h"
#include "lib/core/MInt32.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/core/MString.h"
#include "lib/core/MTextStream.h"
#include "tests/lib/core/CoreTestSupport.h"

TEST(MTextStream, NumbersAndTextsChain) {
  MDataStream target;
  MTextStream out(&target);
  out << -5 << "px" << ';';
  EXPECT_EQ("-5px;", textOf(target));
}

TEST(MTextStream, EachTypeAsText) {
  struct Case {
    const char* name;
    void (*write)(MTextStream&);
    std::string text;
  } cases[] = {
      {"char", [](MTextStream& s) { s << 'x'; }, "x"},
      {"char 0", [](MTextStream& s) { s << '\0'; }, ""},
      {"uchar", [](MTextStream& s) { s << (uchar)'y'; }, "y"},
      {"uchar 0", [](MTextStream& s) { s << (uchar)0; }, ""},
      {"short", [](MTextStream& s) { s << (short)-32768; }, "-32768"},
      {"ushort", [](MTextStream& s) { s << (ushort)65535; }, "65535"},
      {"int", [](MTextStream& s) { s << INT_MIN; }, "-2147483648"},
      {"uint", [](MTextStream& s) { s << 4294967295u; }, "-1"},
      {"uint small", [](MTextStream& s) { s << 42u; }, "42"},
      {"Int64", [](MTextStream& s) { s << (Int64)12345678901LL; }, "12345678901"},
      {"Int64 min", [](MTextStream& s) { s << (Int64)INT64_MIN; }, "-9223372036854775808"},
      {"text", [](MTextStream& s) { s << "abc"; }, "abc"},
      {"null text", [](MTextStream& s) { s << (const char*)nullptr; }, ""},
      {"object", [](MTextStream& s) { MInt32 v(7); s << v; }, "7"},
      {"object pointer", [](MTextStream& s) { MString v("s"); s << &v; }, "s"},
      {"bool stays binary", [](MTextStream& s) { s << true << false; }, std::string("\1\0", 2)},
      {"through the base", [](MTextStream& s) { MOutputStream& base = s; base << 12; }, "12"},
  };
  for (const Case& c : cases) {
    MDataStream target;
    MTextStream out(&target);
    c.write(out);
    EXPECT_EQ(c.text, textOf(target)) << c.name;
  }
}

TEST(MTextStream, AnInsertionLandsWholeOrNotAtAll) {
  MRoundBuffer target(5);
  MTextStream out(&target);
  out << "ab";
  EXPECT_EQ(3, out.getFreeSize());
  EXPECT_EQ(2, out.getInputBytes());
  EXPECT_EQ((Chain{{"MTextStream& MTextStream::operator<<(char *_value)", "Operation failed!"},
                   {"int MTextStream::writeData(void *_value,int _size)", "Operation failed!"},
                   {"int MRoundBuffer::writeData(void *_value,int _size)", "Operation failed!"},
                   {"### OUT OF SPACE ###", "Not enough space for writing!"}}),
            chainFrom([&] { out << "cdef"; }));
  EXPECT_EQ(2, target.getInputBytes());
  out << 123;
  EXPECT_EQ(0, target.getFreeSize());
}

TEST(MTextStream, ATargetTakingPartOfTheTextIsAFailure) {
  ScriptedStream target;
  target.maxPerWrite = 2;
  MTextStream out(&target);
  Chain chain = chainFrom([&] { out << "abcd"; });
  ASSERT_EQ(2u, chain.size());
  EXPECT_EQ(Level("### WRITE ###", "The text was not written completely!"), chain[1]);
}

TEST(MTextStream, NullObjectAndNullTargetAreRefused) {
  MDataStream target;
  MTextStream out(&target);
  EXPECT_EQ((Chain{{"MTextStream& MTextStream::operator<<(MObject *_value)", "Operation failed!"},
                   {"### NULL ###", "The object parameter is null!"}}),
            chainFrom([&] { out << (MObject*)nullptr; }));
  MTextStream nowhere(nullptr);
  Chain chain = chainFrom([&] { nowhere << "x"; });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(Level("### NULL ###", "The target stream is null!"), chain.back());
  EXPECT_EQ(0, target.getEndPos());
}

TEST(MTextStream, KeepsTheObjectDefaults) {
  MDataStream target;
  MTextStream out(&target);
  EXPECT_EQ(0, out.getType());
  EXPECT_STREQ("", out.getTypeName().getValue());
  EXPECT_EQ(&target, out.getTarget());
}
