#include "webapp/GLoginThrottle.h"

#include "lib/core/MUtf8.h"

GLoginThrottle::GLoginThrottle(int _maxEntries) : maxEntries(_maxEntries < 1 ? 1 : _maxEntries) {}

std::string GLoginThrottle::accountKey(const char* _account) {
  std::string key = _account != nullptr ? _account : "";
  key.resize(MUtf8::cutLength(key.data(), key.size(), MAX_NAME));
  return key;
}

Int64 GLoginThrottle::backoff(int _step) {
  Int64 wait = FIRST_BACKOFF;
  for (int i = 0; i < _step && wait < LONGEST_BACKOFF; ++i) wait *= 2;
  return wait < LONGEST_BACKOFF ? wait : (Int64)LONGEST_BACKOFF;
}

Int64 GLoginThrottle::refusedFor(const char* _account, const char* _address, Int64 _now) {
  Int64 wait = 0;
  auto account = accounts.find(accountKey(_account));
  if (account != accounts.end() && account->second.until > _now) {
    wait = account->second.until - _now;
  }
  auto address = addresses.find(_address != nullptr ? _address : "");
  if (address != addresses.end() && address->second.until - _now > wait) {
    wait = address->second.until - _now;
  }
  return wait;
}

void GLoginThrottle::failed(const char* _account, const char* _address, Int64 _now) {
  std::string name = accountKey(_account);
  if (accounts.find(name) == accounts.end()) makeRoom(accounts, _now);
  Account& account = accounts[name];
  account.lastSeen = _now;
  account.failures++;
  if (account.failures >= ACCOUNT_FAILURES) {
    account.until = _now + backoff(account.failures - ACCOUNT_FAILURES);
  }

  std::string from = _address != nullptr ? _address : "";
  if (addresses.find(from) == addresses.end()) makeRoom(addresses, _now);
  Address& address = addresses[from];
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
}

void GLoginThrottle::succeeded(const char* _account) { accounts.erase(accountKey(_account)); }

template <class Entry>
void GLoginThrottle::makeRoom(std::unordered_map<std::string, Entry>& _table, Int64 _now) {
  if ((int)_table.size() < maxEntries) return;
  auto victim = _table.end();
  for (auto it = _table.begin(); it != _table.end(); ++it) {
    if (victim == _table.end()) {
      victim = it;
      continue;
    }
    bool waiting = it->second.until > _now;
    bool victimWaiting = victim->second.until > _now;
    if (waiting != victimWaiting ? !waiting : it->second.lastSeen < victim->second.lastSeen) {
      victim = it;
    }
  }
  _table.erase(victim);
}
