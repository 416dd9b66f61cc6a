#ifndef VISTREL_TESTS_DB_DBTESTSUPPORT_H
#define VISTREL_TESTS_DB_DBTESTSUPPORT_H

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "db/GDatabase.h"
#include "db/GPasswordHash.h"

typedef std::vector<unsigned char> Bytes;

// A root directory with an empty "database" folder, removed with everything in it.
class TempRoot {
 public:
  explicit TempRoot(bool _withDatabaseDir = true) {
    // Every fresh database hashes two passwords: at the full cost the tests would spend
    // most of their time there.
    GPasswordHash::setLightCost(true);
    char pattern[] = "/tmp/vistrel-db-XXXXXX";
    path = mkdtemp(pattern);
    if (_withDatabaseDir) mkdir((path + "/database").c_str(), 0755);
  }
  ~TempRoot() { system(("rm -rf '" + path + "'").c_str()); }
  std::string file(const std::string& _name) const { return path + "/database/" + _name; }

  std::string path;
};

// A database whose clock the test sets, so that "the same second" is exact.
class ClockedDatabase : public GDatabase {
 public:
  ClockedDatabase() : now(1000000) { setDurable(false); }
  uint now;

 protected:
  uint currentTime() override { return now; }
};

inline Bytes readBytes(const std::string& _path) {
  std::ifstream in(_path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::string& _path) {
  Bytes b = readBytes(_path);
  return std::string(b.begin(), b.end());
}

inline void writeBytes(const std::string& _path, const Bytes& _bytes) {
  std::ofstream out(_path, std::ios::binary | std::ios::trunc);
  out.write((const char*)_bytes.data(), (std::streamsize)_bytes.size());
}

inline void appendBytes(const std::string& _path, const Bytes& _bytes) {
  std::ofstream out(_path, std::ios::binary | std::ios::app);
  out.write((const char*)_bytes.data(), (std::streamsize)_bytes.size());
}

// Independent little-endian writers for building the expected records of the tests.
inline void le32(Bytes& _b, size_t _off, uint32_t _v) {
  for (int i = 0; i < 4; ++i) _b[_off + i] = (unsigned char)(_v >> (8 * i));
}
inline void le16(Bytes& _b, size_t _off, uint16_t _v) {
  _b[_off] = (unsigned char)_v;
  _b[_off + 1] = (unsigned char)(_v >> 8);
}
inline void text(Bytes& _b, size_t _off, const std::string& _s) {
  memcpy(_b.data() + _off, _s.data(), _s.size());
}
inline int32_t readLe32(const Bytes& _b, size_t _off) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | _b[_off + i];
  return (int32_t)v;
}
inline Bytes slice(const Bytes& _b, size_t _record, size_t _size) {
  return Bytes(_b.begin() + _record * _size, _b.begin() + (_record + 1) * _size);
}

#endif
