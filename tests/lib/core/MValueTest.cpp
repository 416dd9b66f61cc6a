#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/MBoolean.h"
#include "lib/core/MCoordinate2D.h"
#include "lib/core/MDataStream.h"
#include "lib/core/MInt16.h"
#include "lib/core/MInt32.h"
#include "lib/core/MInt64.h"
#include "lib/core/MInt8.h"
#include "lib/core/MNull.h"
#include "lib/core/MString.h"
#include "lib/core/MTypeRegistry.h"
#include "lib/core/MUInt16.h"
#include "lib/core/MUInt32.h"
#include "lib/core/MUInt64.h"
#include "lib/core/MUInt8.h"
#include "tests/lib/core/CoreTestSupport.h"

namespace {

MDataStream* dataStreamOf(const char* _text) {
  MDataStream* stream = new MDataStream();
  stream->writeData((void*)_text, (int)strlen(_text));
  return stream;
}

// Every record type with a value that exercises byte order and sign, and its exact bytes.
struct RecordCase {
  std::shared_ptr<MObject> object;
  const char* text;
  Bytes record;
};

std::vector<RecordCase> recordCases() {
  return {
      {std::make_shared<MNull>(), "NULL", {0x0A}},
      {std::make_shared<MBoolean>(true), "true", {0x01, 0x01}},
      {std::make_shared<MBoolean>(false), "false", {0x01, 0x00}},
      {std::make_shared<MInt8>(-128), "-128", {0x02, 0x80}},
      {std::make_shared<MInt16>(-32768), "-32768", {0x03, 0x00, 0x80}},
      {std::make_shared<MInt16>(0x1234), "4660", {0x03, 0x34, 0x12}},
      {std::make_shared<MInt32>(7), "7", {0x04, 0x00, 0x00, 0x00, 0x07}},
      {std::make_shared<MInt32>(INT_MIN), "-2147483648", {0x04, 0x80, 0x00, 0x00, 0x00}},
      {std::make_shared<MInt64>(0x0102030405060708LL), "72623859790382856",
       {0x05, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
      {std::make_shared<MInt64>(INT64_MIN), "-9223372036854775808",
       {0x05, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      {std::make_shared<MUInt8>(255), "255", {0x06, 0xFF}},
      {std::make_shared<MUInt16>(0xABCD), "43981", {0x07, 0xCD, 0xAB}},
      {std::make_shared<MUInt32>(0xDEADBEEF), "3735928559", {0x08, 0xDE, 0xAD, 0xBE, 0xEF}},
      {std::make_shared<MUInt64>(~0ULL), "18446744073709551615",
       {0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {std::make_shared<MString>("abc"), "abc", {0x0B, 0x03, 0x00, 'a', 'b', 'c'}},
      {std::make_shared<MCoordinate2D>(1, -1), "MCoordinate(1,-1)",
       {0x1C, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}},
      {std::shared_ptr<MObject>(dataStreamOf("xy")), "MDataStream(writePos = 2,readPos = 0, size = 2)",
       {0x19, 0x02, 0, 0, 0, 0, 0, 0, 0, 'x', 'y'}},
  };
}

}  // namespace

TEST(MValue, TextFormAndRecordOfEveryClass) {
  for (const RecordCase& c : recordCases()) {
    MObject& object = *c.object;
    MString name = object.getTypeName();
    EXPECT_STREQ(c.text, object.toString().getValue()) << name.getValue();
    MDataStream stream;
    object.writeStream(&stream);
    EXPECT_EQ(c.record, bytesOf(stream)) << name.getValue();
    EXPECT_EQ((int)c.record.size(), object.getStreamSize()) << name.getValue();
  }
}

TEST(MValue, EveryRecordReadsBackFromOneStream) {
  std::vector<RecordCase> cases = recordCases();
  MDataStream stream;
  for (const RecordCase& c : cases) stream << c.object.get();
  for (const RecordCase& c : cases) {
    // The registry turns the type byte into an object where the class is registered.
    uchar code = stream.getNextByte();
    ASSERT_EQ(c.object->getType(), code);
    MObject* back = MTypeRegistry::instance().newObject(code);
    if (back == nullptr) back = c.object->newObject();
    stream >> back;
    EXPECT_STREQ(c.text, back->toString().getValue()) << c.text;
    if (code == 25) {
      EXPECT_EQ("xy", textOf(*(MDataStream*)back));
    }
    delete back;
  }
  uchar rest;
  EXPECT_EQ(0, stream.readData(&rest, 1));
}

TEST(MValue, ReadingARecordOfAnotherTypeFailsAndKeepsTheValue) {
  struct Case {
    std::shared_ptr<MObject> target;
    const char* signature;
  } cases[] = {
      {std::make_shared<MNull>(), "void MNull::readStream(MInputStream *_stream)"},
      {std::make_shared<MBoolean>(true), "void MBoolean::readStream(MInputStream *_stream)"},
      {std::make_shared<MInt8>(1), "void MInt8::readStream(MInputStream *_stream)"},
      {std::make_shared<MInt16>(1), "void MInt16::readStream(MInputStream *_stream)"},
      {std::make_shared<MInt64>(1), "void MInt64::readStream(MInputStream *_stream)"},
      {std::make_shared<MUInt8>(1), "void MUInt8::readStream(MInputStream *_stream)"},
      {std::make_shared<MUInt16>(1), "void MUInt16::readStream(MInputStream *_stream)"},
      {std::make_shared<MUInt32>(1), "void MUInt32::readStream(MInputStream *_stream)"},
      {std::make_shared<MUInt64>(1), "void MUInt64::readStream(MInputStream *_stream)"},
      {std::make_shared<MCoordinate2D>(1, 2), "void MCoordinate2D::readStream(MInputStream *_stream)"},
      {std::make_shared<MDataStream>(), "void MDataStream::readStream(MInputStream *_stream)"},
  };
  for (const Case& c : cases) {
    MDataStream stream;
    MString("abc").writeStream(&stream);
    MString before = c.target->toString();
    EXPECT_EQ((Chain{{c.signature, "Operation failed!"}, {"### TYPE ###", "Wrong type"}}),
              chainFrom([&] { c.target->readStream(&stream); }));
    EXPECT_TRUE(before == c.target->toString()) << c.signature;
    EXPECT_EQ(0, stream.getReadPos()) << c.signature;
  }
  // The 32-bit class with the reverse situation: a string record.
  MDataStream stream;
  MInt64(5).writeStream(&stream);
  MInt32 keep(9);
  EXPECT_EQ((Chain{{"void MInt32::readStream(MInputStream *_stream)", "Operation failed!"},
                   {"### TYPE ###", "Wrong type"}}),
            chainFrom([&] { keep.readStream(&stream); }));
  EXPECT_EQ(9, keep.getValue());
}

TEST(MValue, ARecordCutShortFailsInsteadOfWaiting) {
  MDataStream stream;
  uchar cut[] = {0x04, 0x00, 0x00, 0x07};
  stream.writeData(cut, sizeof cut);
  MInt32 value(9);
  Chain chain = chainFrom([&] { value.readStream(&stream); });
  ASSERT_GE(chain.size(), 2u);
  EXPECT_EQ(Level("void MInt32::readStream(MInputStream *_stream)", "Operation failed!"),
            chain.front());
  EXPECT_EQ(9, value.getValue());
}

TEST(MValue, IntegerConversionsFromTextAndObjects) {
  EXPECT_EQ(42, MInt32("42").getValue());
  EXPECT_EQ(-5, MInt32(MString(" -5x")).getValue());  // atoi rules
  EXPECT_EQ(0, MInt32("x").getValue());
  EXPECT_EQ(12345678901LL, MInt64("12345678901").getValue());
  EXPECT_EQ(-12345678901LL, MInt64(MString("-12345678901")).getValue());
  EXPECT_EQ(-1, MUInt32(4294967295u).toInt());
  EXPECT_EQ(4294967295LL, MUInt32(4294967295u).toInt64());
  EXPECT_EQ(-1, MInt32(-1).toInt64());

  MInt32 value(3);
  MString twelve("12");
  value.setValue((MObject*)&twelve);
  EXPECT_EQ(12, value.getValue());
  value.setValue((MObject*)nullptr);
  EXPECT_EQ(12, value.getValue());
  value.setValue("77");
  EXPECT_TRUE(value == 77);

  MBoolean flag;
  MInt32 two(2);
  flag.setValue((MObject*)&two);
  EXPECT_TRUE(flag.getValue());
  EXPECT_EQ(1, flag.toInt());
}

TEST(MValue, CoordinateTakesOnlyCoordinates) {
  MCoordinate2D point(3, -4);
  MCoordinate2D other(5, 6);
  MInt32 number(9);
  point.setValue((MObject*)&number);
  EXPECT_STREQ("MCoordinate(3,-4)", point.toString().getValue());
  point.setValue((MObject*)&other);
  EXPECT_EQ(5, point.getX());
  EXPECT_EQ(6, point.getY());
}
