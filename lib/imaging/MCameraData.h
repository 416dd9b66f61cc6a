#ifndef VISTREL_MCAMERADATA_H
#define VISTREL_MCAMERADATA_H

#include <cstddef>
#include <string>
#include <vector>

// What a camera, a phone or a photo program (Lightroom, digiKam, ...) wrote into a JPEG file
// about the picture: the date it was taken (EXIF DateTimeOriginal, else DateTime), the
// keywords (IPTC Keywords, then XMP dc:subject) and the description (IPTC Caption, else XMP
// dc:description). Texts come as UTF-8 on one line: IPTC texts without the UTF-8 mark that
// are no UTF-8 are read as Latin-1.
//
// Only the segments in front of the picture data are looked at, and of them only the EXIF,
// XMP and Photoshop (IPTC) ones, within fixed bounds, so a file of any size costs a few
// hundred kilobytes at most. Exiv2 decodes the blocks. Damaged data never fails the read:
// what cannot be decoded is left out, the rest is still delivered.
class MCameraData {
 public:
  struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
    bool isKnown() const { return year > 0; }
  };

  // The bounds of the read: the segments walked in front of the picture data, and the
  // Photoshop data kept (IPTC may be split over several segments; each is under 64 KiB).
  static const int maxSegments = 4096;
  static const size_t maxPhotoshopBytes = 1024 * 1024;
  // More keywords than any record field holds are not kept (nor compared with each other).
  static const size_t maxKeywords = 256;

  Date taken;
  std::vector<std::string> keywords;  // each once, in the file's order, none empty
  std::string description;

  // The camera data of the JPEG file; empty when it cannot be read or is no JPEG file.
  static MCameraData readFile(const char* _filename);
  // The same for a JPEG file held in memory.
  static MCameraData readBytes(const unsigned char* _data, size_t _size);
};

#endif
