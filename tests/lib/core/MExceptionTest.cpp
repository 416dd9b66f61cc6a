#include <gtest/gtest.h>

#include <string>

#include "lib/core/MDataStream.h"
#include "lib/core/MException.h"
#include "lib/core/MString.h"
#include "tests/lib/core/CoreTestSupport.h"

namespace {

// A failure passed through an intermediate tag and two signatures, as library code does it.
void innermost() { throw MException(3, 4, "### KEY ###", "The key was not found!"); }

void middle() try {
  M_WRAP("### ADD ###", "The object addition failed!", innermost());
} M_RETHROW("void Probe::middle()")

void outer() try {
  middle();
} M_RETHROW("int Probe::outer(char *_name)")

MException caught(void (*_f)()) {
  try {
    _f();
  } catch (const MException& e) {
    return e;
  }
  return MException();
}

}  // namespace

TEST(MException, MacrosBuildTheChainOutermostFirst) {
  EXPECT_EQ((Chain{{"int Probe::outer(char *_name)", "Operation failed!"},
                   {"void Probe::middle()", "Operation failed!"},
                   {"### ADD ###", "The object addition failed!"},
                   {"### KEY ###", "The key was not found!"}}),
            chainFrom(outer));
  MException e = caught(outer);
  const MException* deepest = e.getInner()->getInner()->getInner();
  EXPECT_EQ(3, deepest->getCode());
  EXPECT_EQ(4, deepest->getSubCode());
  EXPECT_EQ(0, e.getCode());
}

TEST(MException, PrintOfDeleteCharOnEmptyStringShowsThreeIndentedLevels) {
  MException e;
  try {
    MString().deleteChar(0);
  } catch (const MException& caughtOne) {
    e = caughtOne;
  }
  EXPECT_EQ(
      "EXCEPTION [0][0] Operation failed!\n"
      "   -> void MString::deleteChar(int _index)\n"
      "\n"
      "  EXCEPTION [0][0] Operation failed!\n"
      "     -> void MString::deleteChars(int _startIdx,int _chars)\n"
      "\n"
      "    EXCEPTION [0][0] Index out of string!\n"
      "       -> ### OUT OF STRING ###\n"
      "\n",
      printed(e, 0));
}

TEST(MException, PrintShowsCodesAndStartsAtTheGivenIndent) {
  MException e(7, -1, "### FILE ###", "Cannot open!");
  EXPECT_EQ("  EXCEPTION [7][-1] Cannot open!\n     -> ### FILE ###\n\n", printed(e, 1));
}

TEST(MException, ToStringWithAndWithoutInner) {
  MException inner("### INDEX ###", "The item index is out of the range!");
  EXPECT_STREQ("EXCEPTION The item index is out of the range! [### INDEX ###]\n",
               inner.toString().getValue());
  MException outerOne("void MList::get(int _index)", "Operation failed!", &inner);
  EXPECT_STREQ(
      "EXCEPTION Operation failed! [void MList::get(int _index)]\n"
      "- EXCEPTION The item index is out of the range! [### INDEX ###]\n",
      outerOne.toString().getValue());
}

TEST(MException, ToStringOfAnOverlongChainStaysBounded) {
  std::string longMessage(20000, 'x');
  MException inner("### READ ###", longMessage.c_str());
  MException e("void Probe::f()", "Operation failed!", &inner);
  int length = e.toString().getLength();
  EXPECT_GT(length, 9000);
  EXPECT_LT(length, 10000);
}

TEST(MException, CopiesOwnTheirWholeChain) {
  MException* original = new MException(caught(outer));
  MException copy(*original);
  MException assigned;
  assigned = *original;
  delete original;  // the copies must not share any level with it
  Chain expected = {{"int Probe::outer(char *_name)", "Operation failed!"},
                    {"void Probe::middle()", "Operation failed!"},
                    {"### ADD ###", "The object addition failed!"},
                    {"### KEY ###", "The key was not found!"}};
  EXPECT_EQ(expected, chainOf(copy));
  EXPECT_EQ(expected, chainOf(assigned));
  MException& self = assigned;
  assigned = self;
  EXPECT_EQ(expected, chainOf(assigned));
  MObject* duplicate = copy.duplicate();
  EXPECT_EQ(expected, chainOf(*(MException*)duplicate));
  delete duplicate;
}

TEST(MException, ConstructorDeepCopiesTheInnerException) {
  MException* inner = new MException("### KEY ###", "Missing!");
  MException e("void Probe::f()", "Operation failed!", inner);
  delete inner;
  EXPECT_EQ((Chain{{"void Probe::f()", "Operation failed!"}, {"### KEY ###", "Missing!"}}),
            chainOf(e));
}

TEST(MException, IsAnObjectWithoutRecord) {
  MException e("### KEY ###", "Missing!");
  EXPECT_EQ(21, e.getType());
  EXPECT_STREQ("MException", e.getTypeName().getValue());
  EXPECT_EQ(0, e.getStreamSize());
  MDataStream stream;
  e.writeStream(&stream);
  EXPECT_EQ(0, stream.getEndPos());
  MException fresh;
  EXPECT_STREQ("", fresh.getLocation().getValue());
  EXPECT_STREQ("", fresh.getMessage().getValue());
  EXPECT_EQ(nullptr, fresh.getInner());
}
