#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "lib/core/MBoolean.h"
#include "lib/core/MCoordinate2D.h"
#include "lib/core/MDataStream.h"
#include "lib/core/MInt16.h"
#include "lib/core/MInt32.h"
#include "lib/core/MInt64.h"
#include "lib/core/MInt8.h"
#include "lib/core/MNull.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/core/MString.h"
#include "lib/core/MTypeRegistry.h"
#include "lib/core/MUInt16.h"
#include "lib/core/MUInt32.h"
#include "lib/core/MUInt64.h"
#include "lib/core/MUInt8.h"
#include "tests/lib/core/CoreTestSupport.h"

namespace {

bool allDigits(const std::string& _text) {
  if (_text.empty()) return false;
  for (char c : _text)
    if (!isdigit((unsigned char)c)) return false;
  return true;
}

}  // namespace

TEST(MObject, TextFormsCarryTheIdentity) {
  MObject object;
  std::string text = object.toString().getValue();
  ASSERT_EQ(0u, text.rfind("0::", 0)) << text;
  std::string digits = text.substr(3);
  EXPECT_TRUE(allDigits(digits)) << text;
  EXPECT_EQ(std::to_string(object.identity()), digits);
  EXPECT_EQ("0:" + digits, std::string(object.toIdString().getValue()));
  EXPECT_EQ((int)object.identity(), object.toInt());
  EXPECT_EQ((Int64)object.identity(), object.toInt64());
}

TEST(MObject, DefaultToIntReadsOnlyAllDigitTexts) {
  struct Case {
    const char* text;
    bool identity;  // expect the object's identity instead of a number
    Int64 value;
  } cases[] = {
      {"42", false, 42}, {"", false, 0}, {"12345678901", false, 12345678901LL},
      {"-1", true, 0},   {" 7", true, 0}, {"7a", true, 0},
  };
  for (const Case& c : cases) {
    MString s(c.text);
    Int64 expected = c.identity ? (Int64)s.identity() : c.value;
    EXPECT_EQ(expected, s.toInt64()) << c.text;
    EXPECT_EQ((int)expected, s.toInt()) << c.text;
  }
}

TEST(MObject, CompareOrdersNumbersAndTextsWithPositiveMeaningBefore) {
  MInt32 three(3), seven(7), otherThree(3);
  MInt64 wideThree(3);
  MString abc("abc"), abd("abd"), otherAbc("abc");
  EXPECT_EQ(1, three.compare(&seven));
  EXPECT_EQ(-1, seven.compare(&three));
  EXPECT_EQ(0, three.compare(&otherThree));
  EXPECT_EQ(-2, three.compare(&abc));
  EXPECT_EQ(-2, three.compare(&wideThree));  // same number, different class
  EXPECT_EQ(-2, three.compare(nullptr));
  EXPECT_GT(abc.compare(&abd), 0);
  EXPECT_LT(abd.compare(&abc), 0);
  EXPECT_EQ(0, abc.compare(&otherAbc));
  MString empty;
  EXPECT_GT(empty.compare(&abc), 0);  // the empty text sorts first
}

TEST(MObject, IsEqualNeedsSameClassNumberAndText) {
  MInt32 five(5), otherFive(5), six(6);
  MInt64 wideFive(5);
  MString a("a"), otherA("a"), b("b");
  MObject plain, otherPlain;
  EXPECT_TRUE(five.isEqual(&otherFive));
  EXPECT_FALSE(five.isEqual(&six));
  EXPECT_FALSE(five.isEqual(&wideFive));
  EXPECT_FALSE(five.isEqual(nullptr));
  // Strings carry their identity as number, so equal texts are still different objects.
  EXPECT_FALSE(a.isEqual(&otherA));
  EXPECT_TRUE(a.isEqual(&a));
  EXPECT_FALSE(a.isEqual(&b));
  EXPECT_FALSE(plain.isEqual(&otherPlain));
  EXPECT_TRUE(plain.isEqual(&plain));
}

TEST(MObject, IsKindOfAnswersForOwnClassAndAncestors) {
  MString s;
  MDataStream d;
  MRoundBuffer r;
  EXPECT_TRUE(s.isKindOf("MString"));
  EXPECT_TRUE(s.isKindOf(""));  // MObject's own name
  EXPECT_FALSE(s.isKindOf("MInt32"));
  EXPECT_FALSE(s.isKindOf((const char*)nullptr));
  EXPECT_TRUE(s.isKindOf((uchar)11));
  EXPECT_TRUE(s.isKindOf((uchar)0));
  EXPECT_FALSE(s.isKindOf((uchar)4));
  EXPECT_TRUE(d.isKindOf("MDataStream"));
  EXPECT_TRUE(d.isKindOf((uchar)25));
  EXPECT_FALSE(d.isKindOf("MRoundBuffer"));
  EXPECT_TRUE(r.isKindOf("MRoundBuffer"));
  EXPECT_TRUE(r.isKindOf((uchar)23));
  EXPECT_FALSE(r.isKindOf((uchar)25));
}

TEST(MObject, PrintIndentsTwoBlanksPerLevel) {
  MString s("text");
  EXPECT_EQ("text\n", printed(s, 0));
  EXPECT_EQ("    text\n", printed(s, 2));
}

TEST(MObject, NewObjectAndDuplicateKeepTheClass) {
  MObject* samples[] = {
      new MObject(),        new MBoolean(true),   new MInt8(-3),          new MInt16(-300),
      new MInt32(70000),    new MInt64(1LL << 40), new MUInt8(200),       new MUInt16(60000),
      new MUInt32(4000000000u), new MUInt64(~0ULL), new MNull(),         new MString("abc"),
      new MCoordinate2D(1, 2), new MDataStream(), new MRoundBuffer(16),   new MException("a", "b"),
  };
  for (MObject* sample : samples) {
    MObject* fresh = sample->newObject();
    MObject* copy = sample->duplicate();
    MString name = sample->getTypeName();
    EXPECT_EQ(sample->getType(), fresh->getType()) << name.getValue();
    EXPECT_EQ(sample->getType(), copy->getType()) << name.getValue();
    EXPECT_TRUE(copy->getTypeName() == name) << name.getValue();
    // Value classes copy their value; the text of the plain object is its own identity.
    if (sample->getType() != 0) {
      EXPECT_TRUE(copy->toString() == sample->toString()) << name.getValue();
    }
    delete fresh;
    delete copy;
    delete sample;
  }
}

// Registry -------------------------------------------------------------------------------

namespace {

// Two classes that claim the same free code, to see which registration wins.
class FirstProbe : public MObject {
 public:
  MObject* newObject() override { return new FirstProbe(); }
  uchar getType() override { return 201; }
  MString getTypeName() override { return MString("FirstProbe"); }
};

class SecondProbe : public MObject {
 public:
  MObject* newObject() override { return new SecondProbe(); }
  uchar getType() override { return 201; }
  MString getTypeName() override { return MString("SecondProbe"); }
};

}  // namespace

TEST(MTypeRegistry, HoldsThePrototypeOfEveryCoreClass) {
  struct Case {
    uchar code;
    const char* name;
  } cases[] = {
      {0, ""},         {1, "MBoolean"}, {2, "MInt8"},   {3, "MInt16"},        {4, "MInt32"},
      {5, "MInt64"},   {6, "MUInt8"},   {7, "MUInt16"}, {8, "MUInt32"},       {9, "MUInt64"},
      {10, "MNull"},   {11, "MString"}, {21, "MException"}, {23, "MRoundBuffer"},
      {25, "MDataStream"},
  };
  MTypeRegistry& registry = MTypeRegistry::instance();
  for (const Case& c : cases) {
    MObject* prototype = registry.getPrototype(c.code);
    ASSERT_NE(nullptr, prototype) << (int)c.code;
    EXPECT_STREQ(c.name, prototype->getTypeName().getValue());
    MObject* fresh = registry.newObject(c.code);
    ASSERT_NE(nullptr, fresh);
    EXPECT_EQ(c.code, fresh->getType());
    EXPECT_NE(prototype, fresh);
    delete fresh;
  }
}

TEST(MTypeRegistry, UnknownCodeGivesNull) {
  EXPECT_EQ(nullptr, MTypeRegistry::instance().newObject(200));
  EXPECT_EQ(nullptr, MTypeRegistry::instance().getPrototype(200));
}

TEST(MTypeRegistry, FirstRegistrationOfACodeWins) {
  MTypeRegistry& registry = MTypeRegistry::instance();
  registry.registerPrototype(nullptr);  // ignored
  MObject registration(new FirstProbe());  // the registering constructor
  registry.registerPrototype(new SecondProbe());  // dropped (and freed)
  MObject* winner = registry.getPrototype(201);
  ASSERT_NE(nullptr, winner);
  // Registering the stored prototype again must not free it.
  registry.registerPrototype(winner);
  EXPECT_EQ(winner, registry.getPrototype(201));
  MObject* fresh = registry.newObject(201);
  ASSERT_NE(nullptr, fresh);
  EXPECT_STREQ("FirstProbe", fresh->getTypeName().getValue());
  delete fresh;
}

TEST(MTypeRegistry, PrintRegistryListsCodesInOrder) {
  testing::internal::CaptureStdout();
  MTypeRegistry::instance().printRegistry();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(0u, out.find("REG 0 \nREG 1 MBoolean\nREG 2 MInt8\n")) << out;
  size_t string = out.find("REG 11 MString\n");
  size_t buffer = out.find("REG 23 MRoundBuffer\n");
  size_t data = out.find("REG 25 MDataStream\n");
  EXPECT_NE(std::string::npos, string);
  EXPECT_NE(std::string::npos, buffer);
  EXPECT_NE(std::string::npos, data);
  EXPECT_LT(string, buffer);
  EXPECT_LT(buffer, data);
  EXPECT_EQ(std::string::npos, out.find("REG 200 "));
}
