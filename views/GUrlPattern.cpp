#include "views/GUrlPattern.h"

#include <cstring>
#include <string>

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"

namespace {

void appendValue(GSession& _session, const std::string& _name, const GUrlPattern::Values& _values,
                 std::string& _out) {
  int number;
  if (_name == "session") {
    GHtml::appendUrlEncoded(_out, _session.id.getValue());
    return;
  } else if (_name == "request") {
    number = GApplication::get().nextRequestId();
  } else if (_name == "folder") {
    number = _values.folder;
  } else if (_name == "image") {
    number = _values.image;
  } else if (_name == "ordinal") {
    number = _values.ordinal;
  } else if (_name == "gridPage") {
    number = _values.gridPage;
  } else if (_name == "action") {
    number = _values.action;
  } else if (_name == "user") {
    number = _values.user;
  } else if (_name == "owner") {
    number = _values.owner;
  } else {
    throw MException("### URL ###", "The URL pattern names an unknown value!");
  }
  _out += std::to_string(number);
}

std::string fillIn(GSession& _session, const char* _pattern, const GUrlPattern::Values& _values) {
  std::string out;
  out.reserve(strlen(_pattern) + 64);
  for (const char* p = _pattern; *p != 0; ++p) {
    if (*p != '{') {
      out += *p;
      continue;
    }
    const char* end = strchr(p, '}');
    if (end == nullptr) throw MException("### URL ###", "The URL pattern is not closed!");
    appendValue(_session, std::string(p + 1, end), _values, out);
    p = end;
  }
  return out;
}

}  // namespace

MString GUrlPattern::expand(GSession& _session, const char* _pattern, const Values& _values) try {
  std::string url = fillIn(_session, _pattern != nullptr ? _pattern : "", _values);
  return MString(url.data(), (int)url.size());
} M_RETHROW("MString GUrlPattern::expand(GSession& _session,char *_pattern,Values& _values)")

void GUrlPattern::fill(GSession& _session, const char* _pattern, const Values& _values,
                       MList& _list) try {
  std::string pairs = fillIn(_session, _pattern != nullptr ? _pattern : "", _values);
  size_t start = 0;
  while (start < pairs.size()) {
    size_t end = pairs.find('&', start);
    if (end == std::string::npos) end = pairs.size();
    std::string pair = pairs.substr(start, end - start);
    size_t equals = pair.find('=');
    std::string name = pair.substr(0, equals);
    std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
    _list.setObject(name.c_str(), value.c_str());
    start = end + 1;
  }
} M_RETHROW("void GUrlPattern::fill(GSession& _session,char *_pattern,Values& _values,MList& _list)")
