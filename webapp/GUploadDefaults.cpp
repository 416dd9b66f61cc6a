#include "webapp/GUploadDefaults.h"

#include <cstdio>

#include "db/GImage.h"
#include "db/GImageRecord.h"
#include "lib/core/MUtf8.h"

const char* const GUploadDefaults::keywordSeparator = ", ";

namespace {

void setIfEmpty(MString& _field, const std::string& _value) {
  if (_field.getLength() == 0 && !_value.empty()) _field = _value.c_str();
}

}  // namespace

void GUploadDefaults::apply(const std::string& _fileName, const MCameraData& _camera,
                            GImage& _image) {
  setIfEmpty(_image.name, MUtf8::cut(nameOf(_fileName), GImageRecord::NAME_MAX));
  setIfEmpty(_image.date, dateText(_camera.taken));
  setIfEmpty(_image.keywords, keywordsText(_camera.keywords, GImageRecord::KEYWORDS_MAX));
  setIfEmpty(_image.description, MUtf8::cut(_camera.description, GImageRecord::DESCRIPTION_MAX));
}

std::string GUploadDefaults::nameOf(const std::string& _fileName) {
  std::string name = _fileName;
  size_t folder = name.find_last_of("/\\");
  if (folder != std::string::npos) name = name.substr(folder + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
  return MUtf8::oneLine(MUtf8::fromUnknown(name));
}

std::string GUploadDefaults::dateText(const MCameraData::Date& _date) {
  if (!_date.isKnown()) return "";
  char text[40];
  snprintf(text, sizeof text, "%02d.%02d.%04d", _date.day, _date.month, _date.year);
  return text;
}

std::string GUploadDefaults::keywordsText(const std::vector<std::string>& _keywords,
                                          size_t _maxBytes) {
  std::string text;
  for (const std::string& keyword : _keywords) {
    std::string joined = text.empty() ? keyword : text + keywordSeparator + keyword;
    if (joined.size() > _maxBytes) {
      if (text.empty()) text = MUtf8::cut(keyword, _maxBytes);
      break;
    }
    text = joined;
  }
  return text;
}
