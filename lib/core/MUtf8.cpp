#include "lib/core/MUtf8.h"

#include <cstdint>

namespace {

// Small forms by runs of capitals: from first to last in steps of step (2 where capitals
// and small letters alternate), each letter becomes itself plus delta. Every letter this
// table knows is below U+2000, and no small form takes more UTF-8 bytes than its capital
// (the two Latin Extended-B capitals whose small forms lie beyond U+2C00 stay as they are).
struct Run {
  uint16_t first;
  uint16_t last;
  uint16_t step;
  int delta;
};

const Run kRuns[] = {
    // Latin-1 Supplement: the micro sign is the Greek mu.
    {0x00B5, 0x00B5, 1, 0x03BC - 0x00B5},
    {0x00C0, 0x00D6, 1, 32},
    {0x00D8, 0x00DE, 1, 32},
    // Latin Extended-A.
    {0x0100, 0x012E, 2, 1},
    {0x0130, 0x0130, 1, 'i' - 0x0130},  // Turkish capital I with dot: "istanbul" finds it
    {0x0132, 0x0136, 2, 1},
    {0x0139, 0x0147, 2, 1},
    {0x014A, 0x0176, 2, 1},
    {0x0178, 0x0178, 1, 0x00FF - 0x0178},
    {0x0179, 0x017D, 2, 1},
    {0x017F, 0x017F, 1, 's' - 0x017F},  // long s
    // Latin Extended-B.
    {0x0181, 0x0181, 1, 210},
    {0x0182, 0x0184, 2, 1},
    {0x0186, 0x0186, 1, 206},
    {0x0187, 0x0187, 1, 1},
    {0x0189, 0x018A, 1, 205},
    {0x018B, 0x018B, 1, 1},
    {0x018E, 0x018E, 1, 79},
    {0x018F, 0x018F, 1, 202},
    {0x0190, 0x0190, 1, 203},
    {0x0191, 0x0191, 1, 1},
    {0x0193, 0x0193, 1, 205},
    {0x0194, 0x0194, 1, 207},
    {0x0196, 0x0196, 1, 211},
    {0x0197, 0x0197, 1, 209},
    {0x0198, 0x0198, 1, 1},
    {0x019C, 0x019C, 1, 211},
    {0x019D, 0x019D, 1, 213},
    {0x019F, 0x019F, 1, 214},
    {0x01A0, 0x01A4, 2, 1},
    {0x01A6, 0x01A6, 1, 218},
    {0x01A7, 0x01A7, 1, 1},
    {0x01A9, 0x01A9, 1, 218},
    {0x01AC, 0x01AC, 1, 1},
    {0x01AE, 0x01AE, 1, 218},
    {0x01AF, 0x01AF, 1, 1},
    {0x01B1, 0x01B2, 1, 217},
    {0x01B3, 0x01B5, 2, 1},
    {0x01B7, 0x01B7, 1, 219},
    {0x01B8, 0x01B8, 1, 1},
    {0x01BC, 0x01BC, 1, 1},
    {0x01C4, 0x01C4, 1, 2},
    {0x01C5, 0x01C5, 1, 1},
    {0x01C7, 0x01C7, 1, 2},
    {0x01C8, 0x01C8, 1, 1},
    {0x01CA, 0x01CA, 1, 2},
    {0x01CB, 0x01DB, 2, 1},
    {0x01DE, 0x01EE, 2, 1},
    {0x01F1, 0x01F1, 1, 2},
    {0x01F2, 0x01F4, 2, 1},
    {0x01F6, 0x01F6, 1, -97},
    {0x01F7, 0x01F7, 1, -56},
    {0x01F8, 0x021E, 2, 1},  // with the Romanian comma letters
    {0x0220, 0x0220, 1, -130},
    {0x0222, 0x0232, 2, 1},
    {0x023B, 0x023B, 1, 1},
    {0x023D, 0x023D, 1, -163},
    {0x0241, 0x0241, 1, 1},
    {0x0243, 0x0243, 1, -195},
    {0x0244, 0x0244, 1, 69},
    {0x0245, 0x0245, 1, 71},
    {0x0246, 0x024E, 2, 1},
    // Greek and Coptic: the symbol variants become the letters, final sigma sigma.
    {0x0370, 0x0372, 2, 1},
    {0x0376, 0x0376, 1, 1},
    {0x037F, 0x037F, 1, 116},
    {0x0386, 0x0386, 1, 38},
    {0x0388, 0x038A, 1, 37},
    {0x038C, 0x038C, 1, 64},
    {0x038E, 0x038F, 1, 63},
    {0x0391, 0x03A1, 1, 32},
    {0x03A3, 0x03AB, 1, 32},
    {0x03C2, 0x03C2, 1, 1},
    {0x03CF, 0x03CF, 1, 8},
    {0x03D0, 0x03D0, 1, -30},
    {0x03D1, 0x03D1, 1, -25},
    {0x03D5, 0x03D5, 1, -15},
    {0x03D6, 0x03D6, 1, -22},
    {0x03D8, 0x03EE, 2, 1},
    {0x03F0, 0x03F0, 1, -54},
    {0x03F1, 0x03F1, 1, -48},
    {0x03F4, 0x03F4, 1, -60},
    {0x03F5, 0x03F5, 1, -64},
    {0x03F7, 0x03F7, 1, 1},
    {0x03F9, 0x03F9, 1, -7},
    {0x03FA, 0x03FA, 1, 1},
    {0x03FD, 0x03FF, 1, -130},
    // Cyrillic and Cyrillic Supplement.
    {0x0400, 0x040F, 1, 80},
    {0x0410, 0x042F, 1, 32},
    {0x0460, 0x0480, 2, 1},
    {0x048A, 0x04BE, 2, 1},
    {0x04C0, 0x04C0, 1, 15},
    {0x04C1, 0x04CD, 2, 1},
    {0x04D0, 0x052E, 2, 1},
    // Armenian.
    {0x0531, 0x0556, 1, 48},
    // Latin Extended Additional (Vietnamese among others); the capital sharp s becomes the
    // small one.
    {0x1E00, 0x1E94, 2, 1},
    {0x1E9B, 0x1E9B, 1, -58},
    {0x1E9E, 0x1E9E, 1, 0x00DF - 0x1E9E},
    {0x1EA0, 0x1EFE, 2, 1},
    // Greek Extended (polytonic Greek).
    {0x1F08, 0x1F0F, 1, -8},
    {0x1F18, 0x1F1D, 1, -8},
    {0x1F28, 0x1F2F, 1, -8},
    {0x1F38, 0x1F3F, 1, -8},
    {0x1F48, 0x1F4D, 1, -8},
    {0x1F59, 0x1F5F, 2, -8},
    {0x1F68, 0x1F6F, 1, -8},
    {0x1FB8, 0x1FB9, 1, -8},
    {0x1FBA, 0x1FBB, 1, -74},
    {0x1FBE, 0x1FBE, 1, -7173},
    {0x1FC8, 0x1FCB, 1, -86},
    {0x1FD8, 0x1FD9, 1, -8},
    {0x1FDA, 0x1FDB, 1, -100},
    {0x1FE8, 0x1FE9, 1, -8},
    {0x1FEA, 0x1FEB, 1, -112},
    {0x1FEC, 0x1FEC, 1, -7},
    {0x1FF8, 0x1FF9, 1, -128},
    {0x1FFA, 0x1FFB, 1, -126},
};

const unsigned kTableSize = 0x2000;

// The runs spread out into one entry per code point below U+2000, made once.
struct Table {
  uint16_t small[kTableSize];
  Table() {
    for (unsigned cp = 0; cp < kTableSize; ++cp) small[cp] = (uint16_t)cp;
    for (unsigned cp = 'A'; cp <= 'Z'; ++cp) small[cp] = (uint16_t)(cp + 32);
    for (const Run& run : kRuns) {
      for (unsigned cp = run.first; cp <= run.last; cp += run.step) {
        small[cp] = (uint16_t)((int)cp + run.delta);
      }
    }
  }
};

const Table& table() {
  static const Table instance;
  return instance;
}

bool continuation(unsigned char _byte) { return (_byte & 0xC0) == 0x80; }

// The number of bytes of the letter a lead byte starts; 0 for bytes that start none.
size_t letterLength(unsigned char _lead) {
  if (_lead < 0x80) return 1;
  if (_lead >= 0xC2 && _lead <= 0xDF) return 2;
  if (_lead >= 0xE0 && _lead <= 0xEF) return 3;
  if (_lead >= 0xF0 && _lead <= 0xF4) return 4;
  return 0;
}

size_t put(unsigned _cp, unsigned char* _out) {
  if (_cp < 0x80) {
    _out[0] = (unsigned char)_cp;
    return 1;
  }
  if (_cp < 0x800) {
    _out[0] = (unsigned char)(0xC0 | (_cp >> 6));
    _out[1] = (unsigned char)(0x80 | (_cp & 0x3F));
    return 2;
  }
  _out[0] = (unsigned char)(0xE0 | (_cp >> 12));
  _out[1] = (unsigned char)(0x80 | ((_cp >> 6) & 0x3F));
  _out[2] = (unsigned char)(0x80 | (_cp & 0x3F));
  return 3;
}

}  // namespace

size_t MUtf8::fold(const char* _text, size_t _length, char* _out) {
  const uint16_t* small = table().small;
  const unsigned char* in = (const unsigned char*)_text;
  unsigned char* out = (unsigned char*)_out;
  size_t i = 0;
  size_t o = 0;  // never beyond i, so folding in place reads each byte before it is written
  while (i < _length) {
    unsigned char ch = in[i];
    if (ch < 0x80) {
      out[o++] = (unsigned char)small[ch];
      ++i;
      continue;
    }
    // Only the shortest forms of letters the table holds are read: two bytes up to U+07FF,
    // three from U+1000 to U+1FFF (lead byte E1). Anything else is copied byte by byte.
    unsigned cp;
    size_t n;
    if (ch >= 0xC2 && ch <= 0xDF && i + 1 < _length && continuation(in[i + 1])) {
      cp = ((unsigned)(ch & 0x1F) << 6) | (in[i + 1] & 0x3F);
      n = 2;
    } else if (ch == 0xE1 && i + 2 < _length && continuation(in[i + 1]) &&
               continuation(in[i + 2])) {
      cp = 0x1000 | ((unsigned)(in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F);
      n = 3;
    } else {
      out[o++] = ch;
      ++i;
      continue;
    }
    o += put(small[cp], out + o);
    i += n;
  }
  return o;
}

std::string MUtf8::fold(const std::string& _text) {
  std::string folded(_text);
  folded.resize(fold(folded.data(), folded.size(), &folded[0]));
  return folded;
}

size_t MUtf8::cutLength(const char* _text, size_t _length, size_t _max) {
  if (_length <= _max) return _length;
  const unsigned char* p = (const unsigned char*)_text;
  if (_max == 0 || !continuation(p[_max])) return _max;
  // The byte after the cut continues a letter: find where that letter starts.
  size_t lead = _max - 1;
  while (lead > 0 && _max - lead < 4 && continuation(p[lead])) --lead;
  size_t n = letterLength(p[lead]);
  if (n < 2 || lead + n <= _max || lead + n > _length) return _max;
  for (size_t i = lead + 1; i < lead + n; ++i) {
    if (!continuation(p[i])) return _max;
  }
  return lead;
}

namespace {


// The number of bytes of the well-formed sequence at _text[_at], 0 when there is none.
size_t sequenceLength(const std::string& _text, size_t _at) {
  unsigned char first = (unsigned char)_text[_at];
  if (first < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;   // overlong
    if (first == 0xED) high = 0x9F;  // surrogates
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;   // overlong
    if (first == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (_text.size() - _at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    unsigned char c = (unsigned char)_text[_at + i];
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

std::string trimBlanks(const std::string& _text) {
  size_t first = _text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return _text.substr(first, _text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool MUtf8::isValid(const std::string& _text) {
  for (size_t at = 0; at < _text.size();) {
    size_t length = sequenceLength(_text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string MUtf8::fromUnknown(const std::string& _text) {
  if (isValid(_text)) return _text;
  std::string result;
  result.reserve(_text.size() * 2);
  for (unsigned char c : _text) {
    if (c < 0x80) {
      result += (char)c;
    } else {
      result += (char)(0xC0 | (c >> 6));
      result += (char)(0x80 | (c & 0x3F));
    }
  }
  return result;
}

std::string MUtf8::oneLine(const std::string& _text) {
  std::string result = _text;
  for (char& c : result) {
    if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
  }
  return trimBlanks(result);
}

std::string MUtf8::cut(const std::string& _text, size_t _maxBytes) {
  return trimBlanks(_text.substr(0, cutLength(_text.data(), _text.size(), _maxBytes)));
}
