#ifndef VISTREL_GUPLOADDEFAULTS_H
#define VISTREL_GUPLOADDEFAULTS_H

#include <string>
#include <vector>

#include "lib/imaging/MCameraData.h"

class GImage;

// The attributes a new image starts with, from what its upload brought along: the name is
// the file name without folders and extension, the date the day the picture was taken, the
// keywords and the description those of the file's camera data. Each is cut to its field of
// the image record at a whole letter; keywords are taken whole as long as they fit. A field
// that already holds a value keeps it: what a person typed wins over what the file says.
class GUploadDefaults {
 public:
  // Between two keywords in the keywords field.
  static const char* const keywordSeparator;

  static void apply(const std::string& _fileName, const MCameraData& _camera, GImage& _image);

  // "photos/Harbour at dawn.jpg" gives "Harbour at dawn"; a name that is only an extension
  // (".jpg") gives itself.
  static std::string nameOf(const std::string& _fileName);
  // The date as the pages write dates: "17.05.2024"; empty for an unknown date.
  static std::string dateText(const MCameraData::Date& _date);
  // The keywords joined, as many whole ones as fit into _maxBytes; the first is cut at a
  // whole letter when even it alone is too long.
  static std::string keywordsText(const std::vector<std::string>& _keywords, size_t _maxBytes);
};

#endif
