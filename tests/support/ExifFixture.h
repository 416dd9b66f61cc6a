#ifndef VISTREL_TESTS_EXIFFIXTURE_H
#define VISTREL_TESTS_EXIFFIXTURE_H

#include <libexif/exif-data.h>

#include <cstdlib>
#include <string>

namespace testexif {

// The bytes of a JPEG file with an EXIF block holding only the orientation _value (made by
// libexif) put right after the start marker; empty when libexif fails.
inline std::string withOrientation(const std::string& _jpeg, int _value,
                                   ExifByteOrder _order = EXIF_BYTE_ORDER_INTEL) {
  ExifData* data = exif_data_new();
  if (data == nullptr) return std::string();
  exif_data_set_byte_order(data, _order);
  ExifEntry* entry = exif_entry_new();
  exif_content_add_entry(data->ifd[EXIF_IFD_0], entry);
  exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
  exif_set_short(entry->data, _order, (ExifShort)_value);
  exif_entry_unref(entry);
  unsigned char* block = nullptr;
  unsigned int size = 0;
  exif_data_save_data(data, &block, &size);
  exif_data_unref(data);
  if (block == nullptr || _jpeg.size() < 2) return std::string();
  std::string segment = {'\xFF', '\xE1', (char)((size + 2) >> 8), (char)((size + 2) & 0xFF)};
  segment.append((const char*)block, size);
  free(block);
  return _jpeg.substr(0, 2) + segment + _jpeg.substr(2);
}

}  // namespace testexif

#endif
