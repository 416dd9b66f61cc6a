#ifndef VISTREL_TESTS_JPEGTESTSUPPORT_H
#define VISTREL_TESTS_JPEGTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lib/core/MTypes.h"

namespace jpegtest {

typedef std::vector<unsigned char> Bytes;

// ImageMagick makes the files our own writer cannot: greyscale, CMYK, progressive.
inline const char* CONVERT = "/usr/bin/convert";

inline int channel(uint _pixel, int _shift) { return (int)((_pixel >> _shift) & 0xFF); }

inline std::string hex(uint _value) {
  char text[16];
  snprintf(text, sizeof(text), "0x%08X", _value);
  return text;
}

// Each colour channel within the tolerance that lossy coding leaves, and opaque.
inline ::testing::AssertionResult near(uint _expected, uint _actual, int _tolerance) {
  for (int shift : {16, 8, 0}) {
    if (std::abs(channel(_expected, shift) - channel(_actual, shift)) > _tolerance)
      return ::testing::AssertionFailure()
             << "expected about " << hex(_expected) << ", got " << hex(_actual);
  }
  if ((_actual >> 24) != 0) return ::testing::AssertionFailure() << "not opaque: " << hex(_actual);
  return ::testing::AssertionSuccess();
}

// A fresh folder for the files of each test, removed afterwards.
class JpegFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-jpg-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    ASSERT_NE(nullptr, mkdtemp(name.data()));
    dir = name.data();
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }

  std::string path(const std::string& _name) { return dir + "/" + _name; }

  void writeBytes(const std::string& _path, const Bytes& _bytes) {
    std::ofstream out(_path, std::ios::binary);
    out.write((const char*)_bytes.data(), (std::streamsize)_bytes.size());
  }
  Bytes readBytes(const std::string& _path) {
    std::ifstream in(_path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void convert(const std::string& _arguments) {
    std::string command = std::string(CONVERT) + " " + _arguments + " 2>&1";
    ASSERT_EQ(0, std::system(command.c_str()))
        << "ImageMagick's convert (installed by scripts/setup.sh) failed: " << command;
  }

  std::string dir;
};

}  // namespace jpegtest

#endif
