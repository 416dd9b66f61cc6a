#include <gtest/gtest.h>

#include <string>

#include "webapp/GLoginThrottle.h"

namespace {

const Int64 second = 1000;
const Int64 minute = 60 * second;

}  // namespace

TEST(GLoginThrottle, FiveFailuresInARowForAnAccountStartABackOffThatDoubles) {
  GLoginThrottle throttle;
  Int64 now = 5 * minute;
  for (int i = 0; i < 4; ++i) {
    throttle.failed("anna", "10.0.0.1", now);
    EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.9", now)) << i;
    now += 10 * second;
  }
  // The fifth: a second, from any address; other names are not touched.
  throttle.failed("anna", "10.0.0.2", now);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.9", now));
  EXPECT_EQ(1, throttle.refusedFor("anna", "10.0.0.9", now + 999));
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.9", now + 1000));
  EXPECT_EQ(0, throttle.refusedFor("bert", "10.0.0.1", now));

  // Every further failure doubles it, up to 15 minutes.
  Int64 expected[] = {2, 4, 8, 16, 32, 64, 128, 256, 512, 900, 900};
  for (Int64 wait : expected) {
    now += 16 * minute;
    throttle.failed("anna", "10.0.0.1", now);
    EXPECT_EQ(wait * second, throttle.refusedFor("anna", "10.0.0.1", now));
  }

  // A success clears the count: four more failures are again only failures.
  throttle.succeeded("anna");
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", now));
  for (int i = 0; i < 4; ++i) throttle.failed("anna", "10.0.0.1", now + i * minute);
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", now + 4 * minute));
  throttle.failed("anna", "10.0.0.1", now + 4 * minute);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", now + 4 * minute));
}

TEST(GLoginThrottle, TwentyFailuresFromAnAddressWithinAMinuteStopThatAddress) {
  GLoginThrottle throttle;
  Int64 now = 10 * minute;
  // Nineteen within the minute, each for another name: nothing yet.
  for (int i = 0; i < 19; ++i) {
    throttle.failed(("name" + std::to_string(i)).c_str(), "10.0.0.1", now + i * 3 * second);
  }
  Int64 last = now + 59 * second;
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", last));
  throttle.failed("name19", "10.0.0.1", last);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", last));
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.2", last));
  // A success of some account does not clear the address.
  throttle.succeeded("anna");
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", last));
  // The next failure after the back-off, still within a minute of the 19 before it: twice
  // as long.
  throttle.failed("name20", "10.0.0.1", last + second);
  EXPECT_EQ(2000, throttle.refusedFor("bert", "10.0.0.1", last + second));
  throttle.failed("name21", "10.0.0.1", last + 3 * second);
  EXPECT_EQ(4000, throttle.refusedFor("bert", "10.0.0.1", last + 3 * second));
}

TEST(GLoginThrottle, FailuresSpreadOverMoreThanAMinuteNeverStopAnAddress) {
  GLoginThrottle throttle;
  Int64 now = 0;
  for (int i = 0; i < 100; ++i) {
    now += 3200;  // the first and the twentieth of any 20 lie 60.8 s apart
    throttle.failed(("name" + std::to_string(i)).c_str(), "10.0.0.1", now);
    ASSERT_EQ(0, throttle.refusedFor("other", "10.0.0.1", now)) << i;
  }
}

TEST(GLoginThrottle, NamesAreCountedAsTheUserFileKeepsThem) {
  GLoginThrottle throttle;
  std::string stored(39, 'n');
  for (int i = 0; i < 5; ++i) {
    throttle.failed((stored + std::to_string(i)).c_str(), ("10.0.0." + std::to_string(i)).c_str(), 0);
  }
  EXPECT_EQ(1000, throttle.refusedFor(stored.c_str(), "10.0.1.1", 0));
  EXPECT_EQ(0, throttle.refusedFor(nullptr, nullptr, 0));
  throttle.failed(nullptr, nullptr, 0);  // no name, no address: counted as empty ones
  EXPECT_EQ(2, throttle.getAccountEntries());
}

TEST(GLoginThrottle, TablesStayWithinTheirLimitAndKeepWhatIsUnderABackOff) {
  GLoginThrottle throttle(8);
  for (int i = 0; i < 5; ++i) throttle.failed("admin", "10.0.0.1", 1000);
  ASSERT_EQ(1000, throttle.refusedFor("admin", "10.0.0.1", 1000));
  // A flood of other names from many addresses, after the back-off began.
  for (int i = 0; i < 1000; ++i) {
    throttle.failed(("x" + std::to_string(i)).c_str(), ("10.1." + std::to_string(i)).c_str(),
                    1500);
    ASSERT_LE(throttle.getAccountEntries(), 8);
    ASSERT_LE(throttle.getAddressEntries(), 8);
  }
  EXPECT_EQ(500, throttle.refusedFor("admin", "10.9.9.9", 1500));
}
