#include <gtest/gtest.h>

#include <string>

#include "webapp/GLoginThrottle.h"

namespace {

const Int64 second = 1000;
const Int64 minute = 60 * second;

std::string numbered(const char* _prefix, int _i) { return _prefix + std::to_string(_i); }

}  // namespace

TEST(GLoginThrottle, FiveFailuresInARowForAnAccountFromAnAddressBackOffThatAddressOnly) {
  GLoginThrottle throttle;
  Int64 now = 5 * minute;
  for (int i = 0; i < 4; ++i) {
    throttle.failed("anna", "10.0.0.1", true, now);
    EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", now)) << i;
    now += 10 * second;
  }
  // The fifth: a second for that address; the owner elsewhere and other names go on.
  throttle.failed("anna", "10.0.0.1", true, now);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", now));
  EXPECT_EQ(1, throttle.refusedFor("anna", "10.0.0.1", now + 999));
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", now + 1000));
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.2", now));
  EXPECT_EQ(0, throttle.refusedFor("bert", "10.0.0.1", now));

  // Every further failure doubles it, up to 15 minutes.
  Int64 expected[] = {2, 4, 8, 16, 32, 64, 128, 256, 512, 900, 900};
  for (Int64 wait : expected) {
    now += 16 * minute;
    throttle.failed("anna", "10.0.0.1", true, now);
    EXPECT_EQ(wait * second, throttle.refusedFor("anna", "10.0.0.1", now));
    EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.2", now));
  }

  // A success clears the count of its address: four more failures are again only failures.
  throttle.succeeded("anna", "10.0.0.1", now);
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", now));
  for (int i = 0; i < 4; ++i) throttle.failed("anna", "10.0.0.1", true, now + i * minute);
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", now + 4 * minute));
  throttle.failed("anna", "10.0.0.1", true, now + 4 * minute);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", now + 4 * minute));
}

TEST(GLoginThrottle, TwentyFailuresFromAnAddressWithinAMinuteStopThatAddress) {
  GLoginThrottle throttle;
  Int64 now = 10 * minute;
  // Nineteen within the minute, each for another name: nothing yet.
  for (int i = 0; i < 19; ++i) {
    throttle.failed(numbered("name", i).c_str(), "10.0.0.1", false, now + i * 3 * second);
  }
  Int64 last = now + 59 * second;
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.1", last));
  throttle.failed("name19", "10.0.0.1", false, last);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", last));
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.0.0.2", last));
  // A success of some account does not clear the address.
  throttle.succeeded("anna", "10.0.0.1", last);
  EXPECT_EQ(1000, throttle.refusedFor("anna", "10.0.0.1", last));
  // The next failure after the back-off, still within a minute of the 19 before it: twice
  // as long.
  throttle.failed("name20", "10.0.0.1", false, last + second);
  EXPECT_EQ(2000, throttle.refusedFor("bert", "10.0.0.1", last + second));
  throttle.failed("name21", "10.0.0.1", false, last + 3 * second);
  EXPECT_EQ(4000, throttle.refusedFor("bert", "10.0.0.1", last + 3 * second));
}

TEST(GLoginThrottle, FailuresSpreadOverMoreThanAMinuteNeverStopAnAddress) {
  GLoginThrottle throttle;
  Int64 now = 0;
  for (int i = 0; i < 100; ++i) {
    now += 3200;  // the first and the twentieth of any 20 lie 60.8 s apart
    throttle.failed(numbered("name", i).c_str(), "10.0.0.1", false, now);
    ASSERT_EQ(0, throttle.refusedFor("other", "10.0.0.1", now)) << i;
  }
}

TEST(GLoginThrottle, AddressesAreKeyedByIPv4AddressOrIPv6Prefix) {
  struct Case {
    const char* address;
    const char* key;
  };
  const Case cases[] = {
      {"192.0.2.7", "192.0.2.7"},
      {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
      {"2001:DB8:1:2::ffff", "2001:db8:1:2::/64"},
      {"2001:db8:1:3::1", "2001:db8:1:3::/64"},
      {"::ffff:192.0.2.7", "192.0.2.7"},  // IPv4 written as IPv6: the same IPv4 address
      {"::1", "::/64"},
      {"not an address", "not an address"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.key, GLoginThrottle::addressKey(c.address)) << c.address;
  EXPECT_EQ((size_t)GLoginThrottle::MAX_ADDRESS,
            GLoginThrottle::addressKey(std::string(500, 'x').c_str()).size());

  // Twenty failures from twenty addresses of one /64 stop the whole /64, and only it.
  GLoginThrottle throttle;
  for (int i = 1; i <= 20; ++i) {
    throttle.failed(numbered("name", i).c_str(), ("2001:db8:1:2::" + std::to_string(i)).c_str(),
                    false, 1000);
  }
  EXPECT_EQ(1000, throttle.refusedFor("anna", "2001:db8:1:2:ffff::1", 1000));
  EXPECT_EQ(0, throttle.refusedFor("anna", "2001:db8:1:3::1", 1000));
  // Five failures for one account from one /64 back off that /64 for the account.
  for (int i = 1; i <= 5; ++i) {
    throttle.failed("bert", ("2001:db8:9:9::" + std::to_string(i)).c_str(), true, 1000);
  }
  EXPECT_EQ(1000, throttle.refusedFor("bert", "2001:db8:9:9::abc", 1000));
  EXPECT_EQ(0, throttle.refusedFor("bert", "2001:db8:9:8::abc", 1000));
}

TEST(GLoginThrottle, NamesAreCountedAsTheUserFileKeepsThem) {
  GLoginThrottle throttle;
  std::string stored(39, 'n');
  for (int i = 0; i < 5; ++i) {
    throttle.failed((stored + std::to_string(i)).c_str(), "10.0.0.1", false, 0);
  }
  EXPECT_EQ(1000, throttle.refusedFor(stored.c_str(), "10.0.0.1", 0));
  EXPECT_EQ(0, throttle.refusedFor(nullptr, nullptr, 0));
  throttle.failed(nullptr, nullptr, false, 0);  // no name, no address: counted as empty ones
  EXPECT_EQ(2, throttle.getAccountEntries());
}

// Guesses at one account from ever new addresses: beyond ACCOUNT_GUESSES an hour, strangers
// wait, while the addresses the owner logged in from are still heard.
TEST(GLoginThrottle, GuessesAtAnAccountFromEverywhereAreBoundedButNotForTheOwnersAddresses) {
  GLoginThrottle throttle;
  Int64 now = 10 * minute;
  throttle.succeeded("anna", "198.51.100.7", now);
  for (int i = 0; i < GLoginThrottle::ACCOUNT_GUESSES; ++i) {
    ASSERT_EQ(0, throttle.refusedFor("anna", numbered("10.1.0.", i).c_str(), now)) << i;
    throttle.failed("anna", numbered("10.1.0.", i).c_str(), true, now);
  }
  EXPECT_EQ(60 * second, throttle.refusedFor("anna", "10.2.0.1", now));
  EXPECT_EQ(0, throttle.refusedFor("anna", "198.51.100.7", now));
  EXPECT_EQ(0, throttle.refusedFor("bert", "10.2.0.1", now));
  // The owner's own failures from a known address do not fill the bucket.
  for (int i = 0; i < 3; ++i) throttle.failed("anna", "198.51.100.7", true, now);
  EXPECT_EQ(60 * second, throttle.refusedFor("anna", "10.2.0.1", now));
  // One guess more an hour's sixtieth later; a known address counts for 30 days.
  EXPECT_EQ(0, throttle.refusedFor("anna", "10.2.0.1", now + minute));
  now += GLoginThrottle::KNOWN_ADDRESS_TIME;
  for (int i = 0; i < GLoginThrottle::ACCOUNT_GUESSES; ++i) {
    throttle.failed("anna", numbered("10.3.0.", i).c_str(), true, now);
  }
  EXPECT_LT(0, throttle.refusedFor("anna", "198.51.100.7", now));
}

TEST(GLoginThrottle, ChecksPerSecondRefuseUnknownNamesFirst) {
  GLoginThrottle throttle;
  Int64 now = minute;
  int unknown = 0;
  while (throttle.admitCheck(false, now)) ++unknown;
  EXPECT_EQ((int)GLoginThrottle::UNKNOWN_CHECKS_PER_SECOND, unknown);
  int known = 0;
  while (throttle.admitCheck(true, now)) ++known;
  EXPECT_EQ(GLoginThrottle::CHECKS_PER_SECOND - GLoginThrottle::UNKNOWN_CHECKS_PER_SECOND, known);
  // A second later the budget is back. Known names at a steady CHECKS_PER_SECOND are all
  // checked; unknown ones in between only until they have used the lower budget once.
  now += second;
  int unknownBetween = 0;
  for (int i = 0; i < 100; ++i) {
    now += second / GLoginThrottle::CHECKS_PER_SECOND;
    EXPECT_TRUE(throttle.admitCheck(true, now)) << i;
    if (throttle.admitCheck(false, now)) ++unknownBetween;
  }
  EXPECT_LE(unknownBetween, (int)GLoginThrottle::UNKNOWN_CHECKS_PER_SECOND);
}

TEST(GLoginThrottle, TheGuestButtonIsThrottledPerAddress) {
  GLoginThrottle throttle;
  Int64 now = minute;
  for (int i = 0; i < GLoginThrottle::GUEST_BURST; ++i) {
    EXPECT_TRUE(throttle.admitGuest("10.0.0.1", now)) << i;
  }
  EXPECT_FALSE(throttle.admitGuest("10.0.0.1", now));
  EXPECT_TRUE(throttle.admitGuest("10.0.0.2", now));
  EXPECT_FALSE(throttle.admitGuest("10.0.0.1", now + GLoginThrottle::GUEST_INTERVAL - 1));
  EXPECT_TRUE(throttle.admitGuest("10.0.0.1", now + GLoginThrottle::GUEST_INTERVAL));
  EXPECT_FALSE(throttle.admitGuest("10.0.0.1", now + GLoginThrottle::GUEST_INTERVAL));
  // One /64 is one address.
  for (int i = 1; i <= GLoginThrottle::GUEST_BURST; ++i) {
    EXPECT_TRUE(throttle.admitGuest(("2001:db8::" + std::to_string(i)).c_str(), now));
  }
  EXPECT_FALSE(throttle.admitGuest("2001:db8::ffff", now));
}

// What a flood of new entries may push out of a full table, and what it may not.
TEST(GLoginThrottle, AFloodOfFreshNamesCannotEmptyTheTable) {
  struct Case {
    const char* name;
    int maxEntries;
    int flood;
  };
  const Case cases[] = {
      {"small table", 8, 1000},
      {"full-size table", GLoginThrottle::MAX_ENTRIES, 10000},
  };
  for (const Case& c : cases) {
    GLoginThrottle throttle(c.maxEntries);
    // The victim: four failures from the guesser's address, one short of the back-off; and a
    // second account already under its back-off.
    for (int i = 0; i < 4; ++i) throttle.failed("admin", "10.0.0.1", true, 1000);
    for (int i = 0; i < 5; ++i) throttle.failed("bert", "10.0.0.2", true, 1000);
    ASSERT_EQ(1000, throttle.refusedFor("bert", "10.0.0.2", 1000));
    for (int i = 0; i < c.flood; ++i) {
      throttle.failed(numbered("x", i).c_str(), numbered("10.1.", i).c_str(), false, 1500);
      ASSERT_LE(throttle.getPairEntries(), c.maxEntries) << c.name;
      ASSERT_LE(throttle.getAddressEntries(), c.maxEntries) << c.name;
      ASSERT_LE(throttle.getAccountEntries(), c.maxEntries) << c.name;
    }
    EXPECT_EQ(500, throttle.refusedFor("bert", "10.0.0.2", 1500)) << c.name;
    // The victim's fifth failure still starts the back-off.
    throttle.failed("admin", "10.0.0.1", true, 1600);
    EXPECT_EQ(1000, throttle.refusedFor("admin", "10.0.0.1", 1600)) << c.name;
  }
}
