// Parses arbitrary query texts and checks the decoder's promises: it never reads past the
// text, a name or value never grows in decoding, and a query without "%" is split exactly
// as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/core/MList.h"
#include "lib/net/MHttpQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* _data, size_t _size) {
  std::string query((const char*)_data, _size);
  MList params;
  MHttpQuery::parse(query.c_str(), params);

  // decode on an exact-length copy, so that a read past the end is seen by the sanitizer.
  char* exact = (char*)malloc(_size ? _size : 1);
  if (_size) memcpy(exact, _data, _size);
  MString decoded = MHttpQuery::decode(exact, (int)_size);
  free(exact);
  if ((size_t)decoded.getLength() > _size) abort();

  size_t usable = strlen(query.c_str());
  if (memchr(query.data(), '%', usable) == nullptr) {
    for (MItem* i = params.getFirstItem(); i; i = params.getNextItem(i)) {
      std::string piece = std::string(i->key->toString().getValue()) + "=" + i->object->toString().getValue();
      std::string padded = "&" + query.substr(0, usable) + "&";
      if (padded.find("&" + piece + "&") == std::string::npos) abort();
    }
  }
  return 0;
}
