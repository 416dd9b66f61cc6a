#include "views/GUrlPattern.h"

#include <charconv>
#include <cstring>
#include <string>

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"

namespace {

bool named(const char* _name, size_t _length, const char* _placeholder) {
  return strlen(_placeholder) == _length && memcmp(_name, _placeholder, _length) == 0;
}

void appendValue(GSession& _session, const char* _name, size_t _length,
                 const GUrlPattern::Values& _values, std::string& _out) {
  int number;
  if (named(_name, _length, "session")) {
    GHtml::appendUrlEncoded(_out, _session.id.getValue());
    return;
  } else if (named(_name, _length, "request")) {
    number = GApplication::get().nextRequestId();
  } else if (named(_name, _length, "page")) {
    number = _values.page;
  } else if (named(_name, _length, "folder")) {
    number = _values.folder;
  } else if (named(_name, _length, "image")) {
    number = _values.image;
  } else if (named(_name, _length, "ordinal")) {
    number = _values.ordinal;
  } else if (named(_name, _length, "gridPage")) {
    number = _values.gridPage;
  } else if (named(_name, _length, "action")) {
    number = _values.action;
  } else if (named(_name, _length, "user")) {
    number = _values.user;
  } else if (named(_name, _length, "owner")) {
    number = _values.owner;
  } else {
    throw MException("### URL ###", "The URL pattern names an unknown value!");
  }
  char digits[16];
  _out.append(digits, (size_t)(std::to_chars(digits, digits + sizeof digits, number).ptr - digits));
}

}  // namespace

void GUrlPattern::append(std::string& _url, GSession& _session, const char* _pattern,
                         const Values& _values) try {
  // Grids write a few of these per tile: the fixed parts are copied as runs.
  const char* p = _pattern != nullptr ? _pattern : "";
  while (*p != 0) {
    const char* open = strchr(p, '{');
    if (open == nullptr) {
      _url.append(p);
      return;
    }
    _url.append(p, (size_t)(open - p));
    const char* close = strchr(open, '}');
    if (close == nullptr) throw MException("### URL ###", "The URL pattern is not closed!");
    appendValue(_session, open + 1, (size_t)(close - open - 1), _values, _url);
    p = close + 1;
  }
} M_RETHROW("void GUrlPattern::append(std::string& _url,GSession& _session,char *_pattern,Values& _values)")

MString GUrlPattern::expand(GSession& _session, const char* _pattern, const Values& _values) try {
  std::string url;
  append(url, _session, _pattern, _values);
  return MString(url.data(), (int)url.size());
} M_RETHROW("MString GUrlPattern::expand(GSession& _session,char *_pattern,Values& _values)")

void GUrlPattern::fill(GSession& _session, const char* _pattern, const Values& _values,
                       MList& _list) try {
  std::string pairs;
  append(pairs, _session, _pattern, _values);
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
