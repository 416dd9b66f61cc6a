#ifndef VISTREL_GSHARELINK_H
#define VISTREL_GSHARELINK_H

#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// A link for people without an account: the address /s/<token> shows one folder's accepted
// pictures or one picture to whoever holds it, while it is live. The token is the only
// secret; it is made here (128 random bits) and compared in constant time.
class GShareLink : public MObject {
 public:
  enum Kind { FOLDER = 0, PICTURE = 1 };
  // Why a link no longer shows anything; LIVE links may still have expired (expires).
  enum State { LIVE = 0, ENDED = 1, TARGET_GONE = 2, MAKER_GONE = 3 };
  enum { TOKEN_BYTES = 16, TOKEN_TEXT = 22 };  // 128 bits; URL-safe base64 without padding

  GShareLink();
  GShareLink(const GShareLink& _other);
  GShareLink& operator=(const GShareLink& _other);
  ~GShareLink() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  MString toString() override;
  void print(FILE* _file, int _indent) override;

  // Whether the link shows its target at _now (seconds since 1970): live and not expired.
  bool isOpen(unsigned int _now) const;
  bool hasPassword() const { return password.getLength() > 0; }
  // The token as it stands in the address.
  MString tokenText() const;

  // A fresh token from the operating system's random source (libsodium).
  static void newToken(unsigned char* _token);
  // The token an address names; false for anything that is not exactly a token's text.
  static bool parseToken(const char* _text, size_t _length, unsigned char* _token);
  // Constant-time equality of two tokens.
  static bool sameToken(const unsigned char* _a, const unsigned char* _b);

  int id;
  int kind;  // Kind
  int state;  // State
  bool originals;  // visitors may download originals (within the maker's own right)
  bool contributions;  // visitors of a folder link may upload pictures for acceptance
  int target;  // the folder or image id
  int maker;  // the account that made the link
  unsigned char token[TOKEN_BYTES];
  unsigned int created;  // seconds since 1970
  unsigned int expires;  // seconds since 1970; 0: never
  unsigned int opened;  // times its page was opened
  unsigned int lastOpened;  // seconds since 1970; 0: never
  unsigned int contributionDay;  // the day (seconds / 86400) contributionsToday counts
  int contributionsToday;
  MString password;  // a GPasswordHash; empty: none
  MString name;  // the maker's name for it
};

#endif
