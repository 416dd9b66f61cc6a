#include "views/GHtml.h"

#include <string>

namespace {

const char* const hexDigits = "0123456789ABCDEF";

void appendHtml(std::string& _out, char _ch) {
  switch (_ch) {
    case '&': _out += "&amp;"; break;
    case '<': _out += "&lt;"; break;
    case '>': _out += "&gt;"; break;
    case '"': _out += "&quot;"; break;
    case '\'': _out += "&#39;"; break;
    default: _out += _ch;
  }
}

MString toMString(const std::string& _text) { return MString(_text.data(), (int)_text.size()); }

}  // namespace

MString GHtml::escape(const char* _text) {
  std::string out;
  if (_text != nullptr) {
    for (const char* p = _text; *p != 0; ++p) appendHtml(out, *p);
  }
  return toMString(out);
}

MString GHtml::escapeScript(const char* _text) {
  std::string script;
  if (_text != nullptr) {
    for (const char* p = _text; *p != 0; ++p) {
      unsigned char ch = (unsigned char)*p;
      if (ch == '\\' || ch == '\'' || ch == '"') {
        script += '\\';
        script += (char)ch;
      } else if (ch < 0x20 || ch == 0x7F) {
        script += "\\x";
        script += hexDigits[ch >> 4];
        script += hexDigits[ch & 15];
      } else {
        script += (char)ch;
      }
    }
  }
  return escape(script.c_str());
}

MString GHtml::urlEncode(const char* _text) {
  std::string out;
  appendUrlEncoded(out, _text);
  return toMString(out);
}

void GHtml::appendUrlEncoded(std::string& _out, const char* _text) {
  if (_text == nullptr) return;
  auto plain = [](unsigned char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
           ch == '-' || ch == '_' || ch == '.' || ch == '~';
  };
  const char* p = _text;
  while (*p != 0) {
    // Session identifiers and numbers are plain through and through: copied as one run.
    const char* run = p;
    while (*p != 0 && plain((unsigned char)*p)) ++p;
    _out.append(run, (size_t)(p - run));
    if (*p == 0) break;
    unsigned char ch = (unsigned char)*p++;
    _out += '%';
    _out += hexDigits[ch >> 4];
    _out += hexDigits[ch & 15];
  }
}
