#include "db/GKeywordMatcher.h"

#include <cstring>

#include "lib/core/MUtf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// Longest text handled; a field never holds more than 199 characters.
const int kMaxText = 255;
// The lowered copy: whole 16-byte blocks, then one block of zeros so that every load a
// candidate needs stays inside defined bytes.
const int kBufferSize = kMaxText + 1 + 16;
}  // namespace

GKeywordMatcher::GKeywordMatcher(const std::vector<std::string>& _words)
    : words(_words), impossible(false) {
  for (const std::string& word : words) {
    // A short word fails every comparison. A capital letter can never occur in the folded
    // field, and a word longer than any field cannot fit in one.
    if (word.size() < 2 || word.size() > (size_t)kMaxText) impossible = true;
    if (!impossible && MUtf8::fold(word) != word) impossible = true;
  }
}

bool GKeywordMatcher::matches(const uchar* _field, int _maxChars) const {
  if (impossible) return false;
  if (words.empty()) return true;
  if (_maxChars > kMaxText) _maxChars = kMaxText;

  alignas(16) uchar lowered[kBufferSize];
#if defined(__SSE2__)
  // Lower 16 bytes at a time, finding the end of the text on the way: bytes 'A'..'Z' (signed
  // compare, so bytes from 0x80 on never qualify) get the 0x20 bit. Blocks that lie inside
  // the field are loaded from it directly; the last part goes through a zero-padded copy.
  // From the first block holding a byte beyond ASCII on, the rest is folded letter by letter
  // (such a block starts a letter: the blocks before it hold ASCII only).
  const __m128i beforeA = _mm_set1_epi8('A' - 1);
  const __m128i afterZ = _mm_set1_epi8('Z' + 1);
  const __m128i caseBit = _mm_set1_epi8(0x20);
  const __m128i zero = _mm_setzero_si128();
  int length = _maxChars;
  for (int at = 0; at < _maxChars; at += 16) {
    __m128i v;
    if (at + 16 <= _maxChars) {
      v = _mm_loadu_si128((const __m128i*)(_field + at));
    } else {
      alignas(16) uchar tail[16] = {0};
      memcpy(tail, _field + at, (size_t)(_maxChars - at));
      v = _mm_load_si128((const __m128i*)tail);
    }
    if (_mm_movemask_epi8(v) != 0) {
      int rest = (int)strnlen((const char*)_field + at, (size_t)(_maxChars - at));
      length = at + (int)MUtf8::fold((const char*)_field + at, (size_t)rest,
                                     (char*)lowered + at);
      memset(lowered + length, 0, 16);  // up to the padding below, nothing left undefined
      break;
    }
    __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, beforeA), _mm_cmplt_epi8(v, afterZ));
    _mm_store_si128((__m128i*)(lowered + at), _mm_or_si128(v, _mm_and_si128(upper, caseBit)));
    unsigned zeros = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero));
    if (zeros != 0) {
      int end = at + __builtin_ctz(zeros);
      if (end < length) length = end;
      break;
    }
  }
  memset(lowered + ((length + 15) & ~15), 0, 16);

  // Each word: candidates are the positions whose byte equals the word's first character and
  // whose byte m-1 further equals its last, 16 positions per step; only those are compared.
  for (const std::string& word : words) {
    int m = (int)word.size();
    int last = length - m;  // last position where the word still fits
    if (last < 0) return false;
    const __m128i first = _mm_set1_epi8(word[0]);
    const __m128i final = _mm_set1_epi8(word[m - 1]);
    bool found = false;
    for (int i = 0; i <= last && !found; i += 16) {
      __m128i a = _mm_load_si128((const __m128i*)(lowered + i));
      __m128i z = _mm_loadu_si128((const __m128i*)(lowered + i + m - 1));
      unsigned mask = (unsigned)_mm_movemask_epi8(
          _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(z, final)));
      if (last - i < 15) mask &= (2u << (last - i)) - 1;
      while (mask != 0) {
        int at = i + __builtin_ctz(mask);
        if (memcmp(lowered + at + 1, word.data() + 1, (size_t)(m - 2)) == 0) {
          found = true;
          break;
        }
        mask &= mask - 1;
      }
    }
    if (!found) return false;
  }
  return true;
#else
  int length = (int)strnlen((const char*)_field, (size_t)_maxChars);
  length = (int)MUtf8::fold((const char*)_field, (size_t)length, (char*)lowered);
  for (const std::string& word : words) {
    if (memmem(lowered, (size_t)length, word.data(), word.size()) == nullptr) return false;
  }
  return true;
#endif
}
