#ifndef VISTREL_BENCH_BENCHFILE_H
#define VISTREL_BENCH_BENCHFILE_H

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

// A file the benchmark generators write (record files, CSV for SQLite), ending the program
// when it cannot be made; and the texts they fill it with.
class BenchFile {
 public:
  explicit BenchFile(const std::string& _path) : file(fopen(_path.c_str(), "wb")) {
    if (file == nullptr) {
      perror(_path.c_str());
      exit(1);
    }
  }
  ~BenchFile() { fclose(file); }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;

  void bytes(const void* _data, size_t _size) { fwrite(_data, 1, _size, file); }
  void line(const std::string& _text) {
    fputs(_text.c_str(), file);
    fputc('\n', file);
  }

  // A CSV field in quotes.
  static std::string csv(const std::string& _text) {
    std::string out = "\"";
    for (char ch : _text) {
      if (ch == '"') out += '"';
      out += ch;
    }
    return out + "\"";
  }
  // A word of 2 to _most syllables.
  static std::string pseudoWord(std::mt19937& _rng, int _most) {
    static const char* syllables[] = {"ka", "lo", "mi", "ne", "ru", "sa", "ti", "vo", "be", "da",
                                      "fu", "go", "hi", "ja", "pe", "qu", "zo", "xi", "we", "yo"};
    int n = 2 + (int)(_rng() % (unsigned)(_most - 1));
    std::string word;
    for (int i = 0; i < n; ++i) word += syllables[_rng() % 20];
    return word;
  }

 private:
  FILE* file;
};

#endif
