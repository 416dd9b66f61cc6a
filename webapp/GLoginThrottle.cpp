#include "webapp/GLoginThrottle.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "lib/core/MUtf8.h"

namespace {

// The cost of one failure in the account's bucket, and of one check in the rate's.
const Int64 guessCost = GLoginThrottle::ACCOUNT_GUESS_WINDOW / GLoginThrottle::ACCOUNT_GUESSES;
const Int64 checkCost = 1000 / GLoginThrottle::CHECKS_PER_SECOND;

}  // namespace

const Int64 GLoginThrottle::KNOWN_ADDRESS_TIME;

GLoginThrottle::GLoginThrottle(int _maxEntries) : maxEntries(_maxEntries < 1 ? 1 : _maxEntries) {}

std::string GLoginThrottle::accountKey(const char* _account) {
  std::string key = _account != nullptr ? _account : "";
  key.resize(MUtf8::cutLength(key.data(), key.size(), MAX_NAME));
  return key;
}

std::string GLoginThrottle::addressKey(const char* _address) {
  const char* text = _address != nullptr ? _address : "";
  char shown[INET6_ADDRSTRLEN];
  unsigned char v4[4];
  if (inet_pton(AF_INET, text, v4) == 1 && inet_ntop(AF_INET, v4, shown, sizeof shown)) {
    return shown;
  }
  unsigned char v6[16];
  if (inet_pton(AF_INET6, text, v6) == 1) {
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (memcmp(v6, mapped, sizeof mapped) == 0 &&
        inet_ntop(AF_INET, v6 + 12, shown, sizeof shown)) {
      return shown;
    }
    memset(v6 + 8, 0, 8);
    if (inet_ntop(AF_INET6, v6, shown, sizeof shown)) return std::string(shown) + "/64";
  }
  std::string raw = text;
  raw.resize(std::min(raw.size(), (size_t)MAX_ADDRESS));
  return raw;
}

std::string GLoginThrottle::pairKey(const std::string& _account, const std::string& _address) {
  // A name holds no NUL byte (it came as a C string), so the pair cannot be read two ways.
  return _account + '\0' + _address;
}

Int64 GLoginThrottle::backoff(int _step) {
  Int64 wait = FIRST_BACKOFF;
  for (int i = 0; i < _step && wait < LONGEST_BACKOFF; ++i) wait *= 2;
  return wait < LONGEST_BACKOFF ? wait : (Int64)LONGEST_BACKOFF;
}

Int64 GLoginThrottle::bucketWait(Int64 _drained, Int64 _cost, Int64 _capacity, Int64 _now) {
  Int64 level = _drained > _now ? _drained - _now : 0;
  return level + _cost > _capacity ? level + _cost - _capacity : 0;
}

void GLoginThrottle::bucketAdd(Int64& _drained, Int64 _cost, Int64 _now) {
  _drained = std::max(_drained, _now) + _cost;
}

std::tuple<bool, bool, int, Int64> GLoginThrottle::Pair::rank(Int64 _now) const {
  return std::make_tuple(until > _now, known, failures, lastSeen);
}

std::tuple<bool, int, Int64> GLoginThrottle::Address::rank(Int64 _now) const {
  int recent = 0;
  for (int i = 0; i < count; ++i) {
    if (_now - times[i] < ADDRESS_WINDOW) ++recent;
  }
  return std::make_tuple(until > _now, recent, lastSeen);
}

std::tuple<bool, bool, Int64, Int64> GLoginThrottle::Account::rank(Int64 _now) const {
  // Only real logins make good addresses: no flood of guesses can push them out.
  bool hasGood = false;
  for (int i = 0; i < KNOWN_ADDRESSES; ++i) hasGood = hasGood || isGood(good[i], _now);
  return std::make_tuple(hasGood, known, std::max<Int64>(drained - _now, 0), lastSeen);
}

std::tuple<Int64, Int64> GLoginThrottle::Guest::rank(Int64 _now) const {
  return std::make_tuple(std::max<Int64>(drained - _now, 0), lastSeen);
}

bool GLoginThrottle::Account::isGood(const std::string& _address, Int64 _now) const {
  if (_address.empty()) return false;
  for (int i = 0; i < KNOWN_ADDRESSES; ++i) {
    if (good[i] == _address && _now - goodAt[i] < KNOWN_ADDRESS_TIME) return true;
  }
  return false;
}

template <class Entry>
Entry& GLoginThrottle::entry(std::unordered_map<std::string, Entry>& _table,
                             const std::string& _key, Int64 _now) {
  auto found = _table.find(_key);
  if (found != _table.end()) return found->second;
  if ((int)_table.size() >= maxEntries) {
    // A sixteenth at once, so that a full table costs one pass per many new entries, not
    // one per entry.
    using Ranked = std::pair<decltype(_table.begin()->second.rank(_now)),
                             typename std::unordered_map<std::string, Entry>::iterator>;
    std::vector<Ranked> ranked;
    ranked.reserve(_table.size());
    for (auto it = _table.begin(); it != _table.end(); ++it) {
      ranked.emplace_back(it->second.rank(_now), it);
    }
    size_t drop = std::max<size_t>(1, (size_t)maxEntries / 16);
    drop = std::min(drop, ranked.size());
    auto lower = [](const Ranked& _a, const Ranked& _b) { return _a.first < _b.first; };
    std::nth_element(ranked.begin(), ranked.begin() + (drop - 1), ranked.end(), lower);
    for (size_t i = 0; i < drop; ++i) _table.erase(ranked[i].second);
  }
  return _table[_key];
}

Int64 GLoginThrottle::refusedFor(const char* _account, const char* _address, Int64 _now) {
  std::string name = accountKey(_account);
  std::string from = addressKey(_address);
  Int64 wait = 0;
  auto pair = pairs.find(pairKey(name, from));
  if (pair != pairs.end() && pair->second.until > _now) wait = pair->second.until - _now;
  auto address = addresses.find(from);
  if (address != addresses.end() && address->second.until - _now > wait) {
    wait = address->second.until - _now;
  }
  auto account = accounts.find(name);
  if (account != accounts.end() && !account->second.isGood(from, _now)) {
    Int64 guesses = bucketWait(account->second.drained, guessCost, ACCOUNT_GUESS_WINDOW, _now);
    wait = std::max(wait, guesses);
  }
  return wait;
}

bool GLoginThrottle::admitCheck(bool _known, Int64 _now) {
  Int64 capacity = _known ? 1000 : 1000 * UNKNOWN_CHECKS_PER_SECOND / CHECKS_PER_SECOND;
  if (bucketWait(checksDrained, checkCost, capacity, _now) > 0) return false;
  bucketAdd(checksDrained, checkCost, _now);
  return true;
}

void GLoginThrottle::failed(const char* _account, const char* _address, bool _known, Int64 _now) {
  std::string name = accountKey(_account);
  std::string from = addressKey(_address);

  Pair& pair = entry(pairs, pairKey(name, from), _now);
  pair.lastSeen = _now;
  pair.known = _known;
  pair.failures++;
  if (pair.failures >= ACCOUNT_FAILURES) {
    pair.until = _now + backoff(pair.failures - ACCOUNT_FAILURES);
  }

  Address& address = entry(addresses, from, _now);
  address.lastSeen = _now;
  address.times[address.next] = _now;
  address.next = (address.next + 1) % ADDRESS_FAILURES;
  if (address.count < ADDRESS_FAILURES) address.count++;
  // With the ring full, times[next] is the oldest of the last ADDRESS_FAILURES failures.
  if (address.count == ADDRESS_FAILURES && _now - address.times[address.next] < ADDRESS_WINDOW) {
    address.until = _now + backoff(address.backoffs);
    address.backoffs++;
  } else {
    address.backoffs = 0;
  }

  Account& account = entry(accounts, name, _now);
  account.lastSeen = _now;
  account.known = _known;
  if (!account.isGood(from, _now)) bucketAdd(account.drained, guessCost, _now);
}

void GLoginThrottle::succeeded(const char* _account, const char* _address, Int64 _now) {
  std::string name = accountKey(_account);
  std::string from = addressKey(_address);
  pairs.erase(pairKey(name, from));
  Account& account = entry(accounts, name, _now);
  account.lastSeen = _now;
  account.known = true;
  // The address moves to the front; the one used least recently falls out.
  int at = KNOWN_ADDRESSES - 1;
  for (int i = 0; i < KNOWN_ADDRESSES; ++i) {
    if (account.good[i] == from) {
      at = i;
      break;
    }
  }
  for (int i = at; i > 0; --i) {
    account.good[i] = account.good[i - 1];
    account.goodAt[i] = account.goodAt[i - 1];
  }
  account.good[0] = from;
  account.goodAt[0] = _now;
}

bool GLoginThrottle::admitGuest(const char* _address, Int64 _now) {
  std::string from = addressKey(_address);
  const Int64 capacity = (Int64)GUEST_BURST * GUEST_INTERVAL;
  auto found = guests.find(from);
  if (found != guests.end() &&
      bucketWait(found->second.drained, GUEST_INTERVAL, capacity, _now) > 0) {
    return false;
  }
  Guest& guest = entry(guests, from, _now);
  guest.lastSeen = _now;
  bucketAdd(guest.drained, GUEST_INTERVAL, _now);
  return true;
}
