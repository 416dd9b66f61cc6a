// Reads the camera data of arbitrary files and checks the reader's promises: no crash, no
// hang, no read past the bytes, and texts that are UTF-8 on one line, keywords each once and
// none empty, a date that exists.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/core/MUtf8.h"
#include "lib/imaging/MCameraData.h"

namespace {

void check(const std::string& _text) {
  if (!MUtf8::isValid(_text) || MUtf8::oneLine(_text) != _text) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* _data, size_t _size) {
  // An exact-length copy, so that a read past the end is seen by the sanitizer.
  unsigned char* exact = (unsigned char*)malloc(_size ? _size : 1);
  if (_size) memcpy(exact, _data, _size);
  MCameraData data = MCameraData::readBytes(exact, _size);
  free(exact);

  check(data.description);
  if (data.keywords.size() > MCameraData::maxKeywords) abort();
  for (size_t i = 0; i < data.keywords.size(); ++i) {
    if (data.keywords[i].empty()) abort();
    check(data.keywords[i]);
    for (size_t j = 0; j < i; ++j) {
      if (data.keywords[j] == data.keywords[i]) abort();
    }
  }
  const MCameraData::Date& taken = data.taken;
  if (taken.isKnown() && (taken.year > 9999 || taken.month < 1 || taken.month > 12 ||
                          taken.day < 1 || taken.day > 31)) {
    abort();
  }
  return 0;
}
