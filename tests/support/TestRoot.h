#ifndef VISTREL_TESTS_TESTROOT_H
#define VISTREL_TESTS_TESTROOT_H

#include <string>

// Own namespace: the test programs link several support headers into one binary.
namespace testroot {

// A root directory laid out as the server expects it (config, web, database and the three
// image store directories), with a small configuration of its own, removed with everything
// in it at the end.
//
// The configuration: config.cfg with the given port (none when _port is negative), session
// time-out 600 and default language eng; languages eng (English) and fra (Francais) with a
// few translations each; a MIME list for css, js and jpg; web/style.css and
// web/eng/introduction.html.
class TestRoot {
 public:
  explicit TestRoot(int _port = 0);
  ~TestRoot();
  TestRoot(const TestRoot&) = delete;
  TestRoot& operator=(const TestRoot&) = delete;

  // Writes (or replaces) a file below the root; directories on the way are made.
  void write(const std::string& _relative, const std::string& _content) const;
  std::string read(const std::string& _relative) const;
  void remove(const std::string& _relative) const;
  std::string file(const std::string& _relative) const { return path + "/" + _relative; }

  std::string path;
};

// An empty temporary directory, removed with its content at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
};

// Removes a directory tree.
void removeTree(const std::string& _path);
// A TCP port on the loopback address that was free a moment ago.
int freePort();

}  // namespace testroot

#endif
