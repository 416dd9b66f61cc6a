#include "db/GPasswordHash.h"

#include <sodium.h>

#include <atomic>
#include <cstring>

#include "lib/core/MException.h"

namespace {

const char marker = '$';
const int saltBytes = 8;
const int hashBytes = 12;
const int encodedBytes = 27;  // base64 of saltBytes + hashBytes, no padding
const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

// The argon2id parameters by cost id. A hash keeps the id it was made with, so that
// raising the cost later leaves the stored hashes usable.
struct Cost {
  char id;
  unsigned long long passes;
  size_t memory;
};
const Cost costs[] = {
    {'1', 2, 19u * 1024u * 1024u},  // near the current recommendation for argon2id
    {'0', crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN},  // tests only
};
const Cost& normalCost = costs[0];
const Cost& lightCost = costs[1];

std::atomic<bool> light(false);

const Cost* costOf(char _id) {
  for (const Cost& cost : costs) {
    if (cost.id == _id) return &cost;
  }
  return nullptr;
}

void initSodium() {
  if (sodium_init() < 0) throw MException("### SODIUM ###", "libsodium cannot start");
}

// argon2id of the password with the 8-byte salt, cut to hashBytes. libsodium's shortest
// output is 16 bytes, its salt 16 bytes: the salt is padded with fixed bytes.
void derive(const MString& _password, const uchar* _salt, const Cost& _cost, uchar* _hash) {
  uchar salt[crypto_pwhash_SALTBYTES];
  static_assert(crypto_pwhash_SALTBYTES == 2 * saltBytes, "salt padding");
  memcpy(salt, _salt, saltBytes);
  memcpy(salt + saltBytes, "Vistrel1", saltBytes);
  uchar out[crypto_pwhash_BYTES_MIN];
  static_assert(crypto_pwhash_BYTES_MIN >= hashBytes, "hash length");
  unsigned long long length = (unsigned long long)_password.getLength();
  if (crypto_pwhash(out, sizeof out, _password.getValue(), length, salt, _cost.passes,
                    _cost.memory, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw MException("### SODIUM ###", "Out of memory for the password hash");
  }
  memcpy(_hash, out, hashBytes);
  sodium_memzero(out, sizeof out);
}

// Splits a stored hash into cost, salt and hash; false when it is not one.
bool parse(const MString& _stored, const Cost*& _cost, uchar* _bytes) {
  if (_stored.getLength() != GPasswordHash::LENGTH || _stored.getChar(0) != marker) return false;
  _cost = costOf(_stored.getChar(1));
  if (_cost == nullptr) return false;
  size_t length = 0;
  const char* end = nullptr;
  const char* text = _stored.getValue() + 2;
  return sodium_base642bin(_bytes, saltBytes + hashBytes, text, encodedBytes, nullptr, &length,
                           &end, variant) == 0 &&
         length == (size_t)(saltBytes + hashBytes) && end == text + encodedBytes;
}

}  // namespace

MString GPasswordHash::hash(const MString& _password) try {
  if (_password.getLength() == 0) return MString();
  initSodium();
  const Cost& cost = light ? lightCost : normalCost;
  uchar bytes[saltBytes + hashBytes];
  randombytes_buf(bytes, saltBytes);
  derive(_password, bytes, cost, bytes + saltBytes);
  char text[LENGTH + 1];
  text[0] = marker;
  text[1] = cost.id;
  sodium_bin2base64(text + 2, sizeof text - 2, bytes, sizeof bytes, variant);
  static_assert(sodium_base64_ENCODED_LEN(saltBytes + hashBytes,
                                          sodium_base64_VARIANT_URLSAFE_NO_PADDING) ==
                    encodedBytes + 1,
                "field length");
  return MString(text);
} M_RETHROW("MString GPasswordHash::hash(const MString& _password)")

bool GPasswordHash::verify(const MString& _password, const MString& _stored) try {
  if (_password.getLength() == 0) return false;
  initSodium();
  const Cost* cost = nullptr;
  uchar bytes[saltBytes + hashBytes];
  bool valid = parse(_stored, cost, bytes);
  if (!valid) {
    // The same work as for a real hash, then a refusal.
    memset(bytes, 0, sizeof bytes);
    cost = light ? &lightCost : &normalCost;
  }
  uchar computed[hashBytes];
  derive(_password, bytes, *cost, computed);
  return sodium_memcmp(computed, bytes + saltBytes, hashBytes) == 0 && valid;
} M_RETHROW("bool GPasswordHash::verify(const MString& _password,const MString& _stored)")

bool GPasswordHash::isHash(const MString& _stored) {
  const Cost* cost = nullptr;
  uchar bytes[saltBytes + hashBytes];
  return parse(_stored, cost, bytes);
}

const char* GPasswordHash::describe(const MString& _stored) {
  if (_stored.getLength() == 0) return "(none)";
  return isHash(_stored) ? "(hashed)" : "(not hashed)";
}

void GPasswordHash::setLightCost(bool _light) { light = _light; }
