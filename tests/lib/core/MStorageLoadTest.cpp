// The configuration file reader and the two list parsers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "lib/core/MArray.h"
#include "lib/core/MList.h"
#include "tests/lib/core/ContainerTestSupport.h"

namespace {

// A temporary file with the given content, removed again at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::string& _content) {
    char pattern[] = "/tmp/vistrel-load-XXXXXX";
    int fd = mkstemp(pattern);
    path = pattern;
    FILE* file = fdopen(fd, "w");
    fwrite(_content.data(), 1, _content.size(), file);
    fclose(file);
  }
  ~TempFile() { unlink(path.c_str()); }
  std::string path;
};

}  // namespace

TEST(MStorageLoad, ReadsBracketPairsAndSkipsTheRest) {
  TempFile file(
      "# a comment [c][d]\n"
      "[a][1]\n"
      "a line without brackets\n"
      "[b][]\n"
      "before [k[x][v[w] after\r\n"
      "[only one]\n"
      "[][empty key]\n"
      "[last][no newline]");
  MArray array;
  array.addObject("stale");
  array.load(file.path.c_str());
  EXPECT_EQ((std::vector<std::string>{"", "a", "b", "k[x", "last"}), keysOf(array));
  EXPECT_EQ((std::vector<std::string>{"empty key", "1", "", "v[w", "no newline"}), valuesOf(array));
}

TEST(MStorageLoad, MissingFileFailsAndLeavesTheContainerEmpty) {
  MList list;
  list.addObject("stale");
  std::vector<std::string> chain = failureOf([&] { list.load("/nonexistent/vistrel.cfg"); });
  EXPECT_EQ((std::vector<std::string>{"void MStorage::load(char *_filename) | Operation failed!",
                                      "### FILE ### | Cannot open the file (/nonexistent/vistrel.cfg)!"}),
            chain);
  EXPECT_EQ(0, list.getLength());
  EXPECT_FALSE(failureOf([&] { list.load(nullptr); }).empty());
}

TEST(MStorageLoad, RepeatedKeyFailsTheLoadAfterTheEarlierPairs) {
  TempFile file("[a][1]\n[b][2]\n[a][3]\n[c][4]\n");
  MArray array;
  EXPECT_EQ((std::vector<std::string>{
                "void MStorage::load(char *_filename) | Operation failed!",
                "void MStorage::addObject(char *_key,char *_value) | Operation failed!",
                "void MStorage::addObject(MObject* _key,MObject *_object,bool _release) | Operation failed!",
                "### ADD ### | The object addition failed!",
                "### KEY ### | The key (a) is not unique (i.e. it is used)!"}),
            failureOf([&] { array.load(file.path.c_str()); }));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), keysOf(array));

  // With exceptions off the repeated key is skipped and the rest is read.
  array.setExceptions(false);
  array.load(file.path.c_str());
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), keysOf(array));
  EXPECT_STREQ("1", array.getObject("a")->toString().getValue());
}

// Lines are read in pieces of at most 9999 characters: a longer line is cut into pieces that
// are parsed on their own, without reading past the buffer.
TEST(MStorageLoad, LongLinesAreReadInPieces) {
  std::string longValue(20000, 'x');
  TempFile file("[long][" + longValue + "]\n[" + std::string(9998, 'y') + "[k][v]\n[after][ok]\n");
  MList list;
  list.load(file.path.c_str());
  // The first line's pieces each lack a bracket pair; the second line's first piece is its
  // opening bracket and 9998 characters, and its second piece "[k][v]" is a pair of its own.
  EXPECT_EQ((std::vector<std::string>{"k", "after"}), keysOf(list));
  EXPECT_EQ((std::vector<std::string>{"v", "ok"}), valuesOf(list));
}

TEST(MStorageSetValue, SeparatedLists) {
  struct Case {
    const char* list;
    char separator;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"a,b,c", ',', {"a", "b", "c"}},
      {"a,,b", ',', {"a", "", "b"}},
      {"", ',', {""}},
      {"a,", ',', {"a", ""}},
      {",", ',', {"", ""}},
      {"no separator", ',', {"no separator"}},
      {"x y", ' ', {"x", "y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    MList list;
    list.addObject("stale");
    list.setValue(c.list, c.separator);
    EXPECT_EQ(c.expected, valuesOf(list));
    std::vector<std::string> keys;
    for (size_t i = 0; i < c.expected.size(); ++i) keys.push_back(std::to_string(i));
    EXPECT_EQ(keys, keysOf(list));
    EXPECT_EQ(4, list.getFirstItem()->key->getType());
  }
}

TEST(MStorageSetValue, BracketedLists) {
  struct Case {
    const char* list;
    char start;
    char end;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"[x][y]", '[', ']', {"x", "y"}},
      {"junk [x] more [] end", '[', ']', {"x", ""}},
      {"a]b[c]", '[', ']', {"c"}},       // an end without a start is ignored
      {"[a[b]", '[', ']', {"b"}},        // a new start discards the text so far
      {"[open", '[', ']', {}},            // an element never closed is dropped
      {"\"a\",\"b\"", '"', '"', {"a", "b"}},  // one character as start and end
      {"", '[', ']', {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    MArray array;
    array.setValue(c.list, c.start, c.end);
    EXPECT_EQ(c.expected, valuesOf(array));
  }
}

TEST(MStorageSetValue, IntegerKeysAndLongElements) {
  MArray array;
  array.setValue("a,b,c", ',');
  EXPECT_STREQ("b", array.getObject(1)->toString().getValue());
  EXPECT_EQ(nullptr, array.getObject("1"));

  // Elements are kept whole, far beyond 999 characters.
  std::string element(5000, 'e');
  std::string list = element + "," + element;
  array.setValue(list.c_str(), ',');
  ASSERT_EQ(2, array.getLength());
  EXPECT_EQ(element, std::string(array.getObject(1)->toString().getValue()));
  std::string bracketed = "[" + element + "]";
  array.setValue(bracketed.c_str(), '[', ']');
  EXPECT_EQ(element, std::string(array.getObject(0)->toString().getValue()));
}
