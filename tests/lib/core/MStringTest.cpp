#include <gtest/gtest.h>

#include "lib/core/MString.h"

TEST(MString, Empty) {
  MString s;
  EXPECT_STREQ("", s.getValue());
}
