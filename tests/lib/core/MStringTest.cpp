#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "lib/core/MDataStream.h"
#include "lib/core/MInt32.h"
#include "lib/core/MString.h"
#include "tests/lib/core/CoreTestSupport.h"

namespace {

const Level outOfString("### OUT OF STRING ###", "Index out of string!");

}  // namespace

TEST(MString, EmptyStringsHaveATextAndNoLength) {
  MString empty;
  ASSERT_NE(nullptr, empty.getValue());
  EXPECT_STREQ("", empty.getValue());
  EXPECT_EQ(0, empty.getLength());
  MString fromNull((const char*)nullptr);
  EXPECT_STREQ("", fromNull.getValue());
  MString s("abc");
  s.setValue((const char*)nullptr);
  EXPECT_STREQ("", s.getValue());
  s = "x";
  s = (const char*)nullptr;
  EXPECT_STREQ("", s.getValue());
}

TEST(MString, Constructors) {
  struct Case {
    MString value;
    const char* expected;
  } cases[] = {
      {MString("abcdef", 3), "abc"},      {MString("ab", 10), "ab"},
      {MString((const char*)nullptr, 3), ""}, {MString("ab", 0), ""},
      {MString("ab", "cd"), "abcd"},      {MString("ab", (const char*)nullptr), ""},
      {MString((const char*)nullptr, "cd"), ""}, {MString("", ""), ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.expected, c.value.getValue());
}

TEST(MString, DecimalTextOf64BitValues) {
  struct Case {
    Int64 value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-42, "-42"},
      {12345678901LL, "12345678901"},
      {INT64_MAX, "9223372036854775807"},
      {INT64_MIN, "-9223372036854775808"},
  };
  for (const Case& c : cases) {
    MString s;
    s.setValue(c.value);
    EXPECT_STREQ(c.text, s.getValue());
    if (c.value != INT64_MIN) {
      EXPECT_EQ(c.value, MString::textToInt64(c.text)) << c.text;
    }
  }
  MString s;
  s.setValue(-7);
  EXPECT_STREQ("-7", s.getValue());
  EXPECT_EQ(0, MString::textToInt64(""));
  EXPECT_EQ(0, MString::textToInt64(nullptr));
}

TEST(MString, DeleteCharsCutsOrMovesTheRest) {
  struct Case {
    int start, count;
    const char* expected;
  } cases[] = {
      {1, 100, "a"}, {0, 1, "bcdef"}, {2, 2, "abef"}, {5, 1, "abcde"},
      {1, 5, "a"},   {0, 0, "abcdef"}, {0, 6, ""},
  };
  for (const Case& c : cases) {
    MString s("abcdef");
    s.deleteChars(c.start, c.count);
    EXPECT_STREQ(c.expected, s.getValue()) << c.start << "," << c.count;
  }
}

TEST(MString, DeleteCharsOutsideTheTextFailsAndChangesNothing) {
  struct Case {
    int start, count;
  } cases[] = {{6, 1}, {-1, 1}, {0, -1}, {100, 0}};
  for (const Case& c : cases) {
    MString s("abcdef");
    EXPECT_EQ((Chain{{"void MString::deleteChars(int _startIdx,int _chars)", "Operation failed!"},
                     outOfString}),
              chainFrom([&] { s.deleteChars(c.start, c.count); }))
        << c.start << "," << c.count;
    EXPECT_STREQ("abcdef", s.getValue());
  }
}

TEST(MString, DeleteCharOnEmptyStringIsWrappedTwice) {
  MString s;
  EXPECT_EQ((Chain{{"void MString::deleteChar(int _index)", "Operation failed!"},
                   {"void MString::deleteChars(int _startIdx,int _chars)", "Operation failed!"},
                   outOfString}),
            chainFrom([&] { s.deleteChar(0); }));
  EXPECT_STREQ("", s.getValue());
}

TEST(MString, InsertCharAndInsertString) {
  struct Case {
    int index;
    const char* insert;  // one character for insertChar when of length 1
    const char* expected;
  } cases[] = {
      {0, "x", "xabc"}, {3, "d", "abcd"}, {1, "-", "a-bc"},
      {0, "", "abc"},   {3, "de", "abcde"}, {1, "XY", "aXYbc"},
  };
  for (const Case& c : cases) {
    MString s("abc");
    if (strlen(c.insert) == 1)
      s.insertChar(c.index, c.insert[0]);
    else
      s.insertString(c.index, c.insert);
    EXPECT_STREQ(c.expected, s.getValue()) << c.index << " " << c.insert;
  }
  MString empty;
  empty.insertChar(0, 'z');
  EXPECT_STREQ("z", empty.getValue());
}

TEST(MString, InsertFailuresLeaveTheTextUnchanged) {
  MString s("abc");
  Chain charChain = {{"void MString::insertChar(int _index,char _ch)", "Operation failed!"},
                     outOfString};
  Chain stringChain = {{"void MString::insertString(int _index,char *_str)", "Operation failed!"},
                       outOfString};
  EXPECT_EQ(charChain, chainFrom([&] { s.insertChar(4, 'x'); }));
  EXPECT_EQ(charChain, chainFrom([&] { s.insertChar(-1, 'x'); }));
  EXPECT_EQ(stringChain, chainFrom([&] { s.insertString(4, "x"); }));
  EXPECT_EQ(stringChain, chainFrom([&] { s.insertString(-1, "x"); }));
  EXPECT_EQ((Chain{{"void MString::insertString(int _index,char *_str)", "Operation failed!"},
                   {"### NULL ###", "The string parameter (_str) is null!"}}),
            chainFrom([&] { s.insertString(0, nullptr); }));
  EXPECT_STREQ("abc", s.getValue());
}

TEST(MString, SingleCharactersIgnoreIndexesOutsideTheText) {
  MString s("abc");
  EXPECT_EQ(0, s.getChar(-1));
  EXPECT_EQ(0, s.getChar(3));
  EXPECT_EQ('c', s.getChar(2));
  s.setChar(-1, 'x');
  s.setChar(3, 'x');
  EXPECT_STREQ("abc", s.getValue());
  s.setChar(1, 'X');
  EXPECT_STREQ("aXc", s.getValue());
  MString empty;
  empty.setChar(0, 'x');  // the shared empty text must stay untouched
  EXPECT_STREQ("", MString().getValue());
}

TEST(MString, FindAndReplaceCharacters) {
  MString s("abcab");
  EXPECT_EQ(0, s.findChar('a'));
  EXPECT_EQ(3, s.findLastChar('a'));
  EXPECT_EQ(-1, s.findChar('z'));
  EXPECT_EQ(-1, s.findLastChar('z'));
  EXPECT_EQ(-1, s.findChar(0));
  s.replaceChar('a', 'x');
  EXPECT_STREQ("xbcxb", s.getValue());
}

TEST(MString, ComparisonIsByteWiseAndCaseSensitive) {
  MString abc("abc");
  EXPECT_TRUE(abc == "abc");
  EXPECT_TRUE(abc == MString("abc"));
  EXPECT_FALSE(abc == "ABC");
  EXPECT_TRUE(abc != "ABC");
  EXPECT_FALSE(abc == (const char*)nullptr);
  EXPECT_TRUE(abc != (const char*)nullptr);
  EXPECT_FALSE(MString() == (const char*)nullptr);
}

TEST(MString, AppendingTextsAndNumbers) {
  MString s("a");
  s += "bc";
  s += (const char*)nullptr;
  s += 'd';
  s += (short)-3;
  s += -40000;
  s += (uchar)200;
  s += (ushort)65535;
  s += 4000000000u;
  EXPECT_STREQ("abcd-3-40000200655354000000000", s.getValue());
  MString twice("ab");
  twice += twice;
  EXPECT_STREQ("abab", twice.getValue());
}

TEST(MString, AssigningAPartOfItsOwnTextIsSafe) {
  MString s("abcdef");
  s = s.getValue() + 2;
  EXPECT_STREQ("cdef", s.getValue());
  s = s;
  EXPECT_STREQ("cdef", s.getValue());
}

TEST(MString, AssignmentFromObjects) {
  MString s("keep");
  MInt32 seven(7);
  s = (MObject*)&seven;
  EXPECT_STREQ("7", s.getValue());
  s = (MObject*)nullptr;
  EXPECT_STREQ("", s.getValue());
  MString other("other");
  s.setValue((MObject*)&other);
  EXPECT_STREQ("other", s.getValue());
  EXPECT_EQ((Chain{{"void MString::setValue(MObject* _object)", "Operation failed!"},
                   {"### OBJECT TYPE ###", "Object types do not match"}}),
            chainFrom([&] { s.setValue((MObject*)&seven); }));
  EXPECT_STREQ("other", s.getValue());
}

TEST(MString, FormatHandlesLongResults) {
  std::string longText(1000, 'y');
  MString s = MString::format("<%s>", longText.c_str());
  EXPECT_EQ(1002, s.getLength());
  EXPECT_EQ('>', s.getChar(1001));
}

TEST(MString, StreamRecordIsTypeLengthAndCharacters) {
  MDataStream stream;
  MString abc("abc");
  EXPECT_EQ(6, abc.getStreamSize());
  abc.writeStream(&stream);
  EXPECT_EQ((Bytes{0x0B, 0x03, 0x00, 'a', 'b', 'c'}), bytesOf(stream));
  MString empty;
  empty.writeStream(&stream);
  EXPECT_EQ(3, empty.getStreamSize());

  MString back("old"), backEmpty("old");
  back.readStream(&stream);
  backEmpty.readStream(&stream);
  EXPECT_STREQ("abc", back.getValue());
  EXPECT_STREQ("", backEmpty.getValue());
  uchar rest;
  EXPECT_EQ(0, stream.readData(&rest, 1));  // everything consumed
}

TEST(MString, ReadingAnotherRecordFailsWithWrongType) {
  MDataStream stream;
  MInt32 seven(7);
  seven.writeStream(&stream);
  MString s("keep");
  EXPECT_EQ((Chain{{"void MString::readStream(MInputStream *_stream)", "Operation failed!"},
                   {"### TYPE ###", "Wrong type"}}),
            chainFrom([&] { s.readStream(&stream); }));
  EXPECT_STREQ("keep", s.getValue());
  EXPECT_EQ(0, stream.getReadPos());  // the type byte was only looked at
}

TEST(MString, ACutRecordFailsAndKeepsTheText) {
  MDataStream stream;
  uchar cut[] = {0x0B, 0x05, 0x00, 'a', 'b'};
  stream.writeData(cut, sizeof cut);
  MString s("keep");
  Chain chain = chainFrom([&] { s.readStream(&stream); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(Level("void MString::readStream(MInputStream *_stream)", "Operation failed!"),
            chain.front());
  EXPECT_STREQ("keep", s.getValue());
}

TEST(MString, OverlongTextIsCutToTheLengthField) {
  std::string longText(70000, 'q');
  longText[65534] = 'E';
  MString s(longText.c_str());
  MDataStream stream;
  s.writeStream(&stream);
  EXPECT_EQ(s.getStreamSize(), stream.getEndPos());
  EXPECT_EQ(65535 + 3, s.getStreamSize());
  MString back;
  back.readStream(&stream);
  EXPECT_EQ(65535, back.getLength());
  EXPECT_EQ('E', back.getChar(65534));
}
