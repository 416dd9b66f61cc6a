#include <gtest/gtest.h>

#include <string>

#include "lib/core/MException.h"
#include "tests/views/ViewTestSupport.h"
#include "views/GUrlPattern.h"

namespace {

class GUrlPatternTest : public viewtest::ViewTest {};

}  // namespace

TEST_F(GUrlPatternTest, FillsEveryPlaceholder) {
  GUrlPattern::Values values;
  values.page = 2;
  values.folder = 3;
  values.image = 4;
  values.ordinal = 5;
  values.gridPage = 6;
  values.action = 7;
  values.user = 8;
  values.owner = 9;
  session.id = "12&34";  // never so in practice; encoded all the same
  // Each request number is a fresh one.
  EXPECT_EQ("/?session=12%2634&r=1=2&3&p=2&f=3&i=4&o=5&g=6&a=7&u=8&w=9",
            std::string(GUrlPattern::expand(session,
                                            "/?session={session}&r={request}={request}&{request}"
                                            "&p={page}&f={folder}&i={image}&o={ordinal}"
                                            "&g={gridPage}&a={action}&u={user}&w={owner}",
                                            values).getValue()));
}

TEST_F(GUrlPatternTest, FillsAParameterListInOrder) {
  GUrlPattern::Values values;
  values.folder = 12;
  values.page = 402;
  MList list;
  list.setObject("page", "1");
  GUrlPattern::fill(session, "requestId={request}&Folder.id={folder}&page={page}&empty=", values,
                    list);
  const char* expected[][2] = {{"page", "402"}, {"requestId", "1"}, {"Folder.id", "12"}, {"empty", ""}};
  ASSERT_EQ(4, list.getLength());
  int i = 0;
  for (MItem* item = list.getFirstItem(); item != nullptr; item = list.getNextItem(item), ++i) {
    EXPECT_EQ(expected[i][0], std::string(item->key->toString().getValue()));
    EXPECT_EQ(expected[i][1], std::string(item->object->toString().getValue()));
  }
}

TEST_F(GUrlPatternTest, AFaultyPatternFails) {
  GUrlPattern::Values values;
  for (const char* pattern : {"/?x={nothing}", "/?x={folder"}) {
    EXPECT_THROW(GUrlPattern::expand(session, pattern, values), MException) << pattern;
  }
}
