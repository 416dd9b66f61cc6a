#ifndef VISTREL_GLOGINTHROTTLE_H
#define VISTREL_GLOGINTHROTTLE_H

#include <string>
#include <tuple>
#include <unordered_map>

#include "lib/core/MTypes.h"

// Slows down the guessing of passwords and the pressing of the guest button, before any
// hashing. Times are milliseconds of the caller's clock. The rules, each a table of its own:
//
//   rule            key                     refuses
//   pair            account name + address  after ACCOUNT_FAILURES failures in a row, for a
//                                           back-off of FIRST_BACKOFF that doubles with every
//                                           further failure up to LONGEST_BACKOFF
//   address         address                 after ADDRESS_FAILURES failures within
//                                           ADDRESS_WINDOW, whatever the names; back-off as
//                                           above
//   account spread  account name            strangers, after ACCOUNT_GUESSES failures within
//                                           ACCOUNT_GUESS_WINDOW from addresses the account
//                                           has not logged in from (a leaky bucket)
//   check rate      (one for all)           unknown names beyond UNKNOWN_CHECKS_PER_SECOND
//                                           checks a second, every name beyond
//                                           CHECKS_PER_SECOND
//   guest button    address                 beyond GUEST_BURST presses, regaining one every
//                                           GUEST_INTERVAL
//
// An address is the browser's IPv4 address, or the /64 of an IPv6 one (the share one
// line or one host usually gets, so that a guesser cannot take a fresh address for every
// guess); see addressKey. The failures of one address never hold back a right password
// from another address: the back-off that a guesser earns is the guesser's own. A stranger
// is an address from which the account has not logged in within KNOWN_ADDRESS_TIME (the
// last KNOWN_ADDRESSES such addresses count); from those the owner still gets in while
// the account is guessed at from everywhere else. A success clears the pair's count; the
// address keeps its count, so that an attacker with one account of its own cannot clear it.
// A refused login is not a failure: it neither extends a back-off nor costs a hash.
//
// Names that belong to no account are counted like any other, so that the answers do not
// tell which names exist (except under the check rate: above UNKNOWN_CHECKS_PER_SECOND an
// unknown name is refused where a known one is still checked). Every table holds at most a
// fixed number of entries; when one is full, the entries that matter least make room, in
// this order: not under a back-off before under one, unknown names before accounts, fewer
// failures before more, seen longer ago before recently. So a flood of fresh names cannot
// push out the count of an account that is being guessed at.
class GLoginThrottle {
 public:
  enum {
    ACCOUNT_FAILURES = 5,
    ADDRESS_FAILURES = 20,
    ADDRESS_WINDOW = 60 * 1000,
    FIRST_BACKOFF = 1000,
    LONGEST_BACKOFF = 15 * 60 * 1000,
    ACCOUNT_GUESSES = 60,
    ACCOUNT_GUESS_WINDOW = 60 * 60 * 1000,
    KNOWN_ADDRESSES = 4,
    CHECKS_PER_SECOND = 20,
    UNKNOWN_CHECKS_PER_SECOND = 5,
    GUEST_BURST = 10,
    GUEST_INTERVAL = 6 * 1000,
    MAX_ENTRIES = 10000,
    // Account names are kept cut to this length: the user file keeps no longer names.
    MAX_NAME = 39,
    // Addresses that are no IP address (what a proxy forwarded) are kept cut to this.
    MAX_ADDRESS = 64
  };
  static const Int64 KNOWN_ADDRESS_TIME = 30LL * 24 * 60 * 60 * 1000;

  explicit GLoginThrottle(int _maxEntries = MAX_ENTRIES);

  // Milliseconds before a login for _account from _address is heard again; 0: now.
  Int64 refusedFor(const char* _account, const char* _address, Int64 _now);
  // Whether a password check may start now under the check rate (it then counts); _known:
  // the name belongs to an account.
  bool admitCheck(bool _known, Int64 _now);
  // The outcome of a check.
  void failed(const char* _account, const char* _address, bool _known, Int64 _now);
  void succeeded(const char* _account, const char* _address, Int64 _now);
  // Whether the guest button may open a session for _address now (it then counts).
  bool admitGuest(const char* _address, Int64 _now);

  // An account name as the throttle keeps it: cut as the user file cuts it.
  static std::string accountKey(const char* _account);
  // An address as the throttle keeps it: IPv4 as it is ("192.0.2.7", also when written as
  // an IPv4-mapped IPv6 address), IPv6 as its /64 ("2001:db8:1:2::/64"), anything else as
  // it came, cut to MAX_ADDRESS bytes.
  static std::string addressKey(const char* _address);

  int getPairEntries() const { return (int)pairs.size(); }
  int getAddressEntries() const { return (int)addresses.size(); }
  int getAccountEntries() const { return (int)accounts.size(); }
  int getGuestEntries() const { return (int)guests.size(); }

 private:
  struct Pair {
    int failures = 0;
    bool known = false;
    Int64 until = 0;
    Int64 lastSeen = 0;
    std::tuple<bool, bool, int, Int64> rank(Int64 _now) const;
  };
  struct Address {
    // The times of the last ADDRESS_FAILURES failures, a ring; next is the oldest once full.
    Int64 times[ADDRESS_FAILURES] = {};
    int count = 0;
    int next = 0;
    int backoffs = 0;  // back-offs in a row, each twice the one before
    Int64 until = 0;
    Int64 lastSeen = 0;
    std::tuple<bool, int, Int64> rank(Int64 _now) const;
  };
  struct Account {
    Int64 drained = 0;  // when the strangers' bucket is empty
    bool known = false;
    // The addresses it logged in from, the most recent first, and when.
    std::string good[KNOWN_ADDRESSES];
    Int64 goodAt[KNOWN_ADDRESSES] = {};
    Int64 lastSeen = 0;
    bool isGood(const std::string& _address, Int64 _now) const;
    std::tuple<bool, bool, Int64, Int64> rank(Int64 _now) const;
  };
  struct Guest {
    Int64 drained = 0;
    Int64 lastSeen = 0;
    std::tuple<Int64, Int64> rank(Int64 _now) const;
  };

  static Int64 backoff(int _step);
  // A leaky bucket that holds _capacity milliseconds of cost and is empty at _drained: the
  // wait before _cost more fits (0: now).
  static Int64 bucketWait(Int64 _drained, Int64 _cost, Int64 _capacity, Int64 _now);
  static void bucketAdd(Int64& _drained, Int64 _cost, Int64 _now);
  // The entry for _key; a new one when there is none, after making room in a full table
  // (each entry's rank: the higher, the longer it is kept).
  template <class Entry>
  Entry& entry(std::unordered_map<std::string, Entry>& _table, const std::string& _key,
               Int64 _now);
  static std::string pairKey(const std::string& _account, const std::string& _address);

  int maxEntries;
  std::unordered_map<std::string, Pair> pairs;
  std::unordered_map<std::string, Address> addresses;
  std::unordered_map<std::string, Account> accounts;
  std::unordered_map<std::string, Guest> guests;
  Int64 checksDrained = 0;
};

#endif
