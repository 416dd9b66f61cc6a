#ifndef VISTREL_GPASSWORDHASH_H
#define VISTREL_GPASSWORDHASH_H

#include "lib/core/MString.h"

// The stored form of a password: a salted argon2id hash (libsodium) short enough for the
// 29-character password field of the user file, so that the record keeps its layout.
//
//   "$" marker, 1 char: a clear password of an old record is told apart by it
//   cost id,    1 char: the argon2id parameters it was made with ('1': 19 MiB, 2 passes)
//   salt + hash, 27 chars: URL-safe base64 without padding of 8 salt bytes and the first
//                12 bytes of the argon2id output (20 bytes, 160 bits)
//
// Why these sizes: 29 characters carry 27 * 6 = 162 bits after marker and cost id. A salt
// of 64 bits keeps two accounts (or two installations) from sharing a hash for the same
// password for all practical numbers of accounts; 96 bits of hash leave a chance of 2^-96
// for a wrong password to pass, and an attacker holding the file still pays one full
// argon2id run per guess. libsodium wants a 16-byte salt: the 8 stored bytes are followed
// by 8 fixed bytes. Only printable ASCII, never a NUL byte.
class GPasswordHash {
 public:
  enum { LENGTH = 29 };

  // The stored form of the whole password (every byte, however long); an empty password
  // gives an empty text: no password, which never logs in.
  static MString hash(const MString& _password);
  // True when _password is the one _stored was made from. Empty passwords and stored texts
  // that are no hash (empty, or a clear password) never match. Every call with a non-empty
  // password costs one argon2id run, also for a stored text that is no hash, so that the
  // time of a refusal does not tell an unknown account from a wrong password.
  static bool verify(const MString& _password, const MString& _stored);
  // True when _stored is in the form above.
  static bool isHash(const MString& _stored);
  // What a listing shows in place of a stored password: a marker, never the hash.
  static const char* describe(const MString& _stored);

  // With true, new hashes take the smallest cost libsodium allows. For tests only, which
  // make many accounts; the program never calls it. Such hashes carry their own cost id.
  static void setLightCost(bool _light);
};

#endif
