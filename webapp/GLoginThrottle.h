#ifndef VISTREL_GLOGINTHROTTLE_H
#define VISTREL_GLOGINTHROTTLE_H

#include <string>
#include <unordered_map>

#include "lib/core/MTypes.h"

// Slows down the guessing of passwords. After ACCOUNT_FAILURES failed logins in a row for
// one account name, or ADDRESS_FAILURES failed logins from one address within
// ADDRESS_WINDOW, further logins for that name or from that address are refused for a
// back-off of FIRST_BACKOFF that doubles with every further failure up to LONGEST_BACKOFF.
// A refused login is not a failure: it neither extends the back-off nor costs a hash.
// A successful login clears the count of its account; the address keeps its count, so that
// an attacker with one account of its own cannot clear it.
//
// Names that belong to no account are counted like any other, so that the answers do not
// tell which names exist. Both tables hold at most a fixed number of entries; a new entry
// then takes the place of the one seen least recently, preferring one not under a back-off.
// Times are milliseconds of the caller's clock.
class GLoginThrottle {
 public:
  enum {
    ACCOUNT_FAILURES = 5,
    ADDRESS_FAILURES = 20,
    ADDRESS_WINDOW = 60 * 1000,
    FIRST_BACKOFF = 1000,
    LONGEST_BACKOFF = 15 * 60 * 1000,
    MAX_ENTRIES = 10000,
    // Account names are kept cut to this length: the user file keeps no longer names.
    MAX_NAME = 39
  };

  explicit GLoginThrottle(int _maxEntries = MAX_ENTRIES);

  // Milliseconds before a login for _account from _address is heard again; 0: now.
  Int64 refusedFor(const char* _account, const char* _address, Int64 _now);
  void failed(const char* _account, const char* _address, Int64 _now);
  void succeeded(const char* _account);

  // An account name as the throttle keeps it: cut as the user file cuts it.
  static std::string accountKey(const char* _account);

  int getAccountEntries() const { return (int)accounts.size(); }
  int getAddressEntries() const { return (int)addresses.size(); }

 private:
  struct Account {
    int failures = 0;
    Int64 until = 0;
    Int64 lastSeen = 0;
  };
  struct Address {
    // The times of the last ADDRESS_FAILURES failures, a ring; next is the oldest once full.
    Int64 times[ADDRESS_FAILURES] = {};
    int count = 0;
    int next = 0;
    int backoffs = 0;  // back-offs in a row, each twice the one before
    Int64 until = 0;
    Int64 lastSeen = 0;
  };

  static Int64 backoff(int _step);
  template <class Entry>
  void makeRoom(std::unordered_map<std::string, Entry>& _table, Int64 _now);

  int maxEntries;
  std::unordered_map<std::string, Account> accounts;
  std::unordered_map<std::string, Address> addresses;
};

#endif
