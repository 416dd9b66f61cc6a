#ifndef VISTREL_TESTS_CAMERADATAFIXTURE_H
#define VISTREL_TESTS_CAMERADATAFIXTURE_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"
#include "tests/support/ExifFixture.h"

// JPEG files with camera data as cameras and photo programs write it: EXIF dates (made by
// libexif), IPTC data sets in a Photoshop segment and XMP packets, each a segment put
// right after the start marker.
namespace testcamera {

// A small real JPEG file (16 x 8 pixels, made by our own writer).
inline std::string plainJpeg() {
  MImage image(16, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) image.setPixel(x, y, (uint)(x * 15 << 16 | y * 30 << 8 | 128));
  }
  char path[] = "/tmp/vistrel-camera-XXXXXX";
  int handle = mkstemp(path);
  if (handle < 0) return std::string();
  close(handle);
  MFile_JPG().save(path, image, 80);
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  unlink(path);
  return bytes;
}

// Two big-endian bytes.
inline std::string be16(size_t _value) {
  return std::string{(char)((_value >> 8) & 0xFF), (char)(_value & 0xFF)};
}

// The segment _marker (0xE1, 0xED, ...) with _payload put after the start marker of _jpeg.
// _length (for damaged segments) replaces the true length field.
inline std::string withSegment(const std::string& _jpeg, unsigned char _marker,
                               const std::string& _payload, long _length = -1) {
  size_t length = _length >= 0 ? (size_t)_length : _payload.size() + 2;
  return _jpeg.substr(0, 2) + "\xFF" + std::string(1, (char)_marker) + be16(length) + _payload +
         _jpeg.substr(2);
}

// The TIFF data libexif makes for the dates (empty ones are left out): DateTimeOriginal in
// the EXIF directory, DateTime in the first one, as cameras store them.
inline std::string exifDates(const std::string& _original, const std::string& _plain) {
  ExifData* data = exif_data_new();
  exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
  auto add = [&](ExifIfd _ifd, ExifTag _tag, const std::string& _text) {
    if (_text.empty()) return;
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(data->ifd[_ifd], entry);
    exif_entry_initialize(entry, _tag);
    // The text as it is, whatever its length (libexif allocates with malloc by default).
    free(entry->data);
    entry->data = (unsigned char*)malloc(_text.size() + 1);
    memcpy(entry->data, _text.c_str(), _text.size() + 1);
    entry->size = (unsigned int)_text.size() + 1;
    entry->components = _text.size() + 1;
    exif_entry_unref(entry);
  };
  add(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, _original);
  add(EXIF_IFD_0, EXIF_TAG_DATE_TIME, _plain);
  unsigned char* block = nullptr;
  unsigned int size = 0;
  exif_data_save_data(data, &block, &size);
  exif_data_unref(data);
  std::string tiff;
  // libexif's block starts with the "Exif\0\0" header.
  if (block != nullptr && size > 6) tiff.assign((const char*)block + 6, size - 6);
  free(block);
  return tiff;
}

inline std::string exifSegment(const std::string& _tiff) {
  return std::string("Exif\0\0", 6) + _tiff;
}

// One IPTC data set of the application record (2:25 keywords, 2:120 caption) or of the
// envelope (1:90 character set).
inline std::string iptcSet(int _record, int _dataset, const std::string& _value) {
  return std::string{'\x1C', (char)_record, (char)_dataset} + be16(_value.size()) + _value;
}
inline std::string iptcKeyword(const std::string& _value) { return iptcSet(2, 25, _value); }
inline std::string iptcCaption(const std::string& _value) { return iptcSet(2, 120, _value); }
// The envelope's mark for UTF-8 texts (ESC % G), as Lightroom and digiKam write it.
inline std::string iptcUtf8Mark() { return iptcSet(1, 90, "\x1B%G"); }

// A Photoshop segment's payload holding the data sets as its IPTC resource (8BIM 0x0404,
// empty name, padded to an even size).
inline std::string photoshopSegment(const std::string& _sets) {
  std::string resource = std::string("8BIM\x04\x04\0\0", 8) + be16(0) + be16(_sets.size()) + _sets;
  if (_sets.size() % 2 != 0) resource += '\0';
  return std::string("Photoshop 3.0\0", 14) + resource;
}

// An XMP segment's payload: the packet around an rdf:Description that holds _properties.
inline std::string xmpSegment(const std::string& _properties) {
  return std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
         "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">" +
         _properties + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}
inline std::string xmpSubject(const std::vector<std::string>& _keywords) {
  std::string items;
  for (const std::string& k : _keywords) items += "<rdf:li>" + k + "</rdf:li>";
  return "<dc:subject><rdf:Bag>" + items + "</rdf:Bag></dc:subject>";
}
inline std::string xmpDescription(const std::string& _text, const char* _language = "x-default") {
  return std::string("<dc:description><rdf:Alt><rdf:li xml:lang=\"") + _language + "\">" +
         _text + "</rdf:li></rdf:Alt></dc:description>";
}

}  // namespace testcamera

#endif
