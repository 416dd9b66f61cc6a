#include "db/GShareLink.h"

#include <sodium.h>

#include <cstring>

GShareLink::GShareLink()
    : id(-1),
      kind(FOLDER),
      state(LIVE),
      originals(false),
      contributions(false),
      target(-1),
      maker(-1),
      token{},
      created(0),
      expires(0),
      opened(0),
      lastOpened(0),
      contributionDay(0),
      contributionsToday(0) {}

GShareLink::GShareLink(const GShareLink& _other) : MObject(_other) { *this = _other; }

GShareLink& GShareLink::operator=(const GShareLink& _other) {
  id = _other.id;
  kind = _other.kind;
  state = _other.state;
  originals = _other.originals;
  contributions = _other.contributions;
  target = _other.target;
  maker = _other.maker;
  memcpy(token, _other.token, sizeof token);
  created = _other.created;
  expires = _other.expires;
  opened = _other.opened;
  lastOpened = _other.lastOpened;
  contributionDay = _other.contributionDay;
  contributionsToday = _other.contributionsToday;
  password = _other.password;
  name = _other.name;
  return *this;
}

GShareLink::~GShareLink() {}

MObject* GShareLink::newObject() { return new GShareLink(); }

MObject* GShareLink::duplicate() { return new GShareLink(*this); }

uchar GShareLink::getType() { return 0; }

MString GShareLink::getTypeName() { return MString("GShareLink"); }

MString GShareLink::toString() {
  // Never the token: this text may reach a log.
  return MString::format("GShareLink: id=%d, kind=%d, target=%d, maker=%d, state=%d", id, kind,
                         target, maker, state);
}

void GShareLink::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fputs(toString().getValue(), _file);
}

bool GShareLink::isOpen(unsigned int _now) const {
  return state == LIVE && (expires == 0 || _now < expires);
}

MString GShareLink::tokenText() const {
  char text[TOKEN_TEXT + 1];
  sodium_bin2base64(text, sizeof text, token, sizeof token,
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return MString(text);
}

void GShareLink::newToken(unsigned char* _token) { randombytes_buf(_token, TOKEN_BYTES); }

bool GShareLink::parseToken(const char* _text, size_t _length, unsigned char* _token) {
  if (_length != TOKEN_TEXT) return false;
  size_t decoded = 0;
  const char* end = nullptr;
  if (sodium_base642bin(_token, TOKEN_BYTES, _text, _length, nullptr, &decoded, &end,
                        sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0) {
    return false;
  }
  // 22 letters carry 132 bits; libsodium refuses spare bits that are not zero, so each
  // token has exactly one text.
  return decoded == TOKEN_BYTES && end == _text + _length;
}

bool GShareLink::sameToken(const unsigned char* _a, const unsigned char* _b) {
  return sodium_memcmp(_a, _b, TOKEN_BYTES) == 0;
}
