#include "lib/imaging/MCameraData.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

// Exiv2 0.27 still names std::auto_ptr in its headers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include "lib/core/MUtf8.h"

namespace {

// Where the bytes of the file come from.
class Source {
 public:
  virtual ~Source() = default;
  // Up to _count bytes from _offset on into _into; the number of bytes read.
  virtual size_t read(size_t _offset, void* _into, size_t _count) = 0;
};

class MemorySource : public Source {
 public:
  MemorySource(const unsigned char* _data, size_t _size) : data(_data), size(_size) {}
  size_t read(size_t _offset, void* _into, size_t _count) override {
    if (data == nullptr || _offset >= size) return 0;
    if (_count > size - _offset) _count = size - _offset;
    memcpy(_into, data + _offset, _count);
    return _count;
  }

 private:
  const unsigned char* data;
  size_t size;
};

class FileSource : public Source {
 public:
  explicit FileSource(FILE* _file) : file(_file) {}
  size_t read(size_t _offset, void* _into, size_t _count) override {
    if (fseeko(file, (off_t)_offset, SEEK_SET) != 0) return 0;
    return fread(_into, 1, _count, file);
  }

 private:
  FILE* file;
};

// The blocks of the segments that carry camera data, without their identifying headers.
struct Blocks {
  std::string exif;       // TIFF data: the first EXIF segment
  std::string xmp;        // the packet of the first XMP segment
  std::string photoshop;  // the resources of every Photoshop segment, in order
};

const char exifId[] = "Exif\0";  // and the zero byte of the literal
const size_t exifIdSize = 6;
const char xmpId[] = "http://ns.adobe.com/xap/1.0/";
const size_t xmpIdSize = 29;
const char photoshopId[] = "Photoshop 3.0";
const size_t photoshopIdSize = 14;
// Fill bytes allowed in front of one marker; real files have none or a few.
const int maxFill = 64;

bool hasId(const std::string& _head, const char* _id, size_t _size) {
  return _head.size() >= _size && memcmp(_head.data(), _id, _size) == 0;
}

// Walks the segments from the start marker to the start of the picture data (or the end of
// the file, or the first damage) and keeps the blocks that carry camera data.
Blocks collect(Source& _source) {
  Blocks blocks;
  unsigned char bytes[2];
  if (_source.read(0, bytes, 2) != 2 || bytes[0] != 0xFF || bytes[1] != 0xD8) return blocks;
  size_t at = 2;
  for (int segment = 0; segment < MCameraData::maxSegments; ++segment) {
    unsigned char marker = 0xFF;
    if (_source.read(at, &marker, 1) != 1 || marker != 0xFF) break;
    for (int fill = 0; marker == 0xFF && fill <= maxFill; ++fill) {
      if (_source.read(++at, &marker, 1) != 1) return blocks;
    }
    at++;
    if (marker == 0xDA || marker == 0xD9) break;  // picture data, or the end of the image
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xFF || marker == 0x00 || marker == 0xD8) break;       // damaged
    if (_source.read(at, bytes, 2) != 2) break;
    size_t length = (size_t)bytes[0] << 8 | bytes[1];
    if (length < 2) break;
    size_t body = at + 2;
    size_t size = length - 2;
    at += length;
    if (marker != 0xE1 && marker != 0xED) continue;
    // The identifying header first: most segments are not wanted and need not be read.
    std::string head(size < xmpIdSize ? size : xmpIdSize, '\0');
    if (_source.read(body, &head[0], head.size()) != head.size()) break;
    size_t skip = 0;
    std::string* into = nullptr;
    if (marker == 0xE1 && blocks.exif.empty() && hasId(head, exifId, exifIdSize)) {
      skip = exifIdSize;
      into = &blocks.exif;
    } else if (marker == 0xE1 && blocks.xmp.empty() && hasId(head, xmpId, xmpIdSize)) {
      skip = xmpIdSize;
      into = &blocks.xmp;
    } else if (marker == 0xED && hasId(head, photoshopId, photoshopIdSize) &&
               blocks.photoshop.size() + size <= MCameraData::maxPhotoshopBytes) {
      skip = photoshopIdSize;
      into = &blocks.photoshop;
    }
    if (into == nullptr || size == skip) continue;
    size_t kept = into->size();
    into->resize(kept + size - skip);
    if (_source.read(body + skip, &(*into)[kept], size - skip) != size - skip) {
      into->resize(kept);
      break;
    }
  }
  return blocks;
}

// "YYYY:MM:DD ..." (EXIF writes colons; some programs dashes) as a date; an unknown date for
// anything else, such as the "0000:00:00 00:00:00" of a camera whose clock was never set.
MCameraData::Date parseDate(const std::string& _text) {
  MCameraData::Date date;
  if (_text.size() < 10) return date;
  int digits[8];
  const int positions[8] = {0, 1, 2, 3, 5, 6, 8, 9};
  for (int i = 0; i < 8; ++i) {
    char c = _text[(size_t)positions[i]];
    if (c < '0' || c > '9') return date;
    digits[i] = c - '0';
  }
  char first = _text[4];
  if ((first != ':' && first != '-') || _text[7] != first) return date;
  int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  int month = digits[4] * 10 + digits[5];
  int day = digits[6] * 10 + digits[7];
  static const int monthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > monthDays[month - 1]) return date;
  bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (month == 2 && day == 29 && !leap) return date;
  date.year = year;
  date.month = month;
  date.day = day;
  return date;
}

// A text of the file as the value of a one-line field; empty for none.
std::string fieldText(const std::string& _raw) {
  return MUtf8::oneLine(MUtf8::fromUnknown(_raw));
}

void addKeyword(std::vector<std::string>& _keywords, const std::string& _raw) {
  if (_keywords.size() >= MCameraData::maxKeywords) return;
  std::string keyword = fieldText(_raw);
  if (keyword.empty()) return;
  for (const std::string& known : _keywords) {
    if (known == keyword) return;
  }
  _keywords.push_back(keyword);
}

void decodeExif(const std::string& _tiff, MCameraData& _data) {
  if (_tiff.empty()) return;
  Exiv2::ExifData exif;
  Exiv2::ExifParser::decode(exif, (const Exiv2::byte*)_tiff.data(), (uint32_t)_tiff.size());
  for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Image.DateTime"}) {
    Exiv2::ExifData::const_iterator found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end()) continue;
    MCameraData::Date date = parseDate(found->toString());
    if (date.isKnown()) {
      _data.taken = date;
      return;
    }
  }
}

// The IPTC data sets of the Photoshop resources: every IPTC resource, in order.
void decodeIptc(const std::string& _photoshop, MCameraData& _data) {
  std::string iptc;
  const Exiv2::byte* current = (const Exiv2::byte*)_photoshop.data();
  const Exiv2::byte* end = current + _photoshop.size();
  while (current < end) {
    const Exiv2::byte* record = nullptr;
    uint32_t header = 0;
    uint32_t size = 0;
    if (Exiv2::Photoshop::locateIptcIrb(current, (long)(end - current), &record, &header,
                                        &size) != 0 ||
        record == nullptr || record < current || record > end ||
        (size_t)(end - record) < (size_t)header + size) {
      break;
    }
    iptc.append((const char*)record + header, size);
    current = record + header + size + (size & 1);
  }
  if (iptc.empty()) return;
  Exiv2::IptcData sets;
  if (Exiv2::IptcParser::decode(sets, (const Exiv2::byte*)iptc.data(), (uint32_t)iptc.size()) !=
      0) {
    return;
  }
  for (const Exiv2::Iptcdatum& set : sets) {
    if (set.record() != Exiv2::IptcDataSets::application2) continue;
    if (set.tag() == Exiv2::IptcDataSets::Keywords) {
      addKeyword(_data.keywords, set.toString());
    } else if (set.tag() == Exiv2::IptcDataSets::Caption && _data.description.empty()) {
      _data.description = fieldText(set.toString());
    }
  }
}

// Exiv2 reads XMP with Adobe's toolkit, which takes one caller at a time; uploads are read on
// several worker threads.
std::recursive_mutex xmpMutex;

void lockXmp(void* _mutex, bool _lock) {
  std::recursive_mutex* mutex = (std::recursive_mutex*)_mutex;
  if (_lock) {
    mutex->lock();
  } else {
    mutex->unlock();
  }
}

void decodeXmp(std::string _packet, MCameraData& _data) {
  while (!_packet.empty() && _packet.back() == '\0') _packet.pop_back();
  if (_packet.empty()) return;
  Exiv2::XmpData xmp;
  if (Exiv2::XmpParser::decode(xmp, _packet) != 0) return;
  for (const Exiv2::Xmpdatum& property : xmp) {
    std::string key = property.key();
    if (key == "Xmp.dc.subject") {
      for (long i = 0; i < property.count(); ++i) addKeyword(_data.keywords, property.toString(i));
    } else if (key == "Xmp.dc.description" && _data.description.empty()) {
      const Exiv2::LangAltValue* alternatives =
          dynamic_cast<const Exiv2::LangAltValue*>(&property.value());
      if (alternatives == nullptr || alternatives->value_.empty()) {
        _data.description = fieldText(property.toString());
      } else {
        // The default language, else the first one given.
        Exiv2::LangAltValue::ValueType::const_iterator chosen =
            alternatives->value_.find("x-default");
        if (chosen == alternatives->value_.end()) chosen = alternatives->value_.begin();
        _data.description = fieldText(chosen->second);
      }
    }
  }
}

std::once_flag initialized;

void initialize() {
  std::call_once(initialized, [] {
    // Damaged files are expected; Exiv2 would otherwise report each on standard error.
    Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
    Exiv2::XmpParser::initialize(&lockXmp, &xmpMutex);
  });
}

// Each block on its own: a damaged one loses only what it carries.
MCameraData decode(const Blocks& _blocks) {
  initialize();
  MCameraData data;
  try {
    decodeExif(_blocks.exif, data);
  } catch (const std::exception&) {
  }
  try {
    decodeIptc(_blocks.photoshop, data);
  } catch (const std::exception&) {
  }
  try {
    decodeXmp(_blocks.xmp, data);
  } catch (const std::exception&) {
  }
  return data;
}

}  // namespace

MCameraData MCameraData::readFile(const char* _filename) {
  if (_filename == nullptr) return MCameraData();
  FILE* file = fopen(_filename, "rb");
  if (file == nullptr) return MCameraData();
  FileSource source(file);
  Blocks blocks = collect(source);
  fclose(file);
  return decode(blocks);
}

MCameraData MCameraData::readBytes(const unsigned char* _data, size_t _size) {
  MemorySource source(_data, _size);
  return decode(collect(source));
}
