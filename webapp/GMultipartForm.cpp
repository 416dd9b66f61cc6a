#include "webapp/GMultipartForm.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "lib/net/MHttpRequest.h"

namespace {

// Longest boundary accepted; the standard allows 70 characters, browsers use about 40.
const size_t maxBoundary = 200;

std::string lower(const std::string& _text) {
  std::string result = _text;
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  }
  return result;
}

std::string trim(const std::string& _text) {
  size_t first = _text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = _text.find_last_not_of(" \t");
  return _text.substr(first, last - first + 1);
}

// A header value split at the semicolons that stand outside quotes, each piece trimmed.
std::vector<std::string> splitParameters(const std::string& _value) {
  std::vector<std::string> pieces;
  std::string current;
  bool quoted = false;
  for (size_t i = 0; i < _value.size(); ++i) {
    char c = _value[i];
    if (quoted && c == '\\' && i + 1 < _value.size()) {
      current += c;
      current += _value[++i];
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      pieces.push_back(trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  pieces.push_back(trim(current));
  return pieces;
}

// The parameter name of "name=value" in lower case; the whole piece when it has no '='.
std::string parameterName(const std::string& _piece) {
  return lower(trim(_piece.substr(0, _piece.find('='))));
}

// A body held as one text.
class TextBody {
 public:
  explicit TextBody(const std::string& _text) : text(_text) {}
  size_t find(const std::string& _what, size_t _from) const { return text.find(_what, _from); }
  std::string slice(size_t _pos, size_t _count) const {
    return _pos < text.size() ? text.substr(_pos, _count) : std::string();
  }

 private:
  const std::string& text;
};

// A request's body, read in pieces of a bounded size.
class RequestBody {
 public:
  explicit RequestBody(MHttpRequest& _request)
      : request(_request), total((size_t)_request.getContentSize()) {}
  size_t find(const std::string& _what, size_t _from) const {
    // Each piece overlaps the next by the length of what is looked for, less one, so that
    // nothing is missed where two pieces meet. One buffer serves every piece.
    const size_t piece = 65536;
    for (size_t at = _from; at < total && _what.size() <= total - at; at += piece) {
      read(at, piece + _what.size() - 1, window);
      size_t found = window.find(_what);
      if (found != std::string::npos) return at + found;
    }
    return std::string::npos;
  }
  std::string slice(size_t _pos, size_t _count) const {
    std::string bytes;
    read(_pos, _count, bytes);
    return bytes;
  }

 private:
  void read(size_t _pos, size_t _count, std::string& _bytes) const {
    _bytes.clear();
    if (_pos >= total) return;
    if (_count > total - _pos) _count = total - _pos;
    _bytes.resize(_count);
    size_t done = 0;
    while (done < _count) {
      int n = request.readContent((Int64)(_pos + done), &_bytes[done], (int)(_count - done));
      if (n <= 0) break;
      done += (size_t)n;
    }
    _bytes.resize(done);
  }

  MHttpRequest& request;
  size_t total;
  mutable std::string window;
};

bool startsWith(const std::string& _text, const std::string& _prefix) {
  return _text.compare(0, _prefix.size(), _prefix) == 0;
}

// The search of findFilePart over either kind of body.
template <class Body>
bool locateFilePart(const std::string& _mark, const Body& _body, size_t& _start, size_t& _length,
                    std::string& _filename,
                    bool (*_isFilePart)(const std::string&, std::string&)) {
  const std::string delimiter = "--" + _mark;
  const std::string inner = "\r\n" + delimiter;

  // The first boundary line opens the body or follows a line end of the preamble.
  size_t at;
  if (startsWith(_body.slice(0, delimiter.size()), delimiter)) {
    at = 0;
  } else {
    at = _body.find(inner, 0);
    if (at == std::string::npos) return false;
    at += 2;
  }
  for (;;) {
    size_t after = at + delimiter.size();
    // The rest of the boundary line and the part's header lines, as far as they may go.
    std::string head = _body.slice(after, GMultipartForm::maxPartHeaders + 256);
    if (startsWith(head, "--")) return false;  // the closing boundary
    // Blanks may stand between the boundary and the line end.
    size_t p = 0;
    while (p < head.size() && (head[p] == ' ' || head[p] == '\t')) p++;
    if (head.compare(p, 2, "\r\n") != 0) return false;
    size_t headers = p + 2;
    size_t content;
    if (head.compare(headers, 2, "\r\n") == 0) {
      content = headers + 2;  // a part without header lines
    } else {
      size_t blank = head.find("\r\n\r\n", headers);
      if (blank == std::string::npos) return false;
      content = blank + 4;
    }
    size_t next = _body.find(inner, after + content);
    if (next == std::string::npos) return false;  // cut off before its boundary
    if (_isFilePart(head.substr(headers, content - headers), _filename)) {
      _start = after + content;
      _length = next - _start;
      return true;
    }
    at = next + 2;
  }
}

}  // namespace

std::string GMultipartForm::boundary(const char* _contentType) {
  if (_contentType == nullptr) return "";
  std::vector<std::string> pieces = splitParameters(_contentType);
  if (lower(pieces[0]) != "multipart/form-data") return "";
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (parameterName(pieces[i]) != "boundary") continue;
    std::string value = trim(pieces[i].substr(pieces[i].find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.empty() || value.size() > maxBoundary ||
        value.find_first_of("\r\n\"") != std::string::npos) {
      return "";
    }
    return value;
  }
  return "";
}

bool GMultipartForm::isFilePart(const std::string& _headers, std::string& _filename) {
  size_t start = 0;
  while (start <= _headers.size()) {
    size_t end = _headers.find("\r\n", start);
    if (end == std::string::npos) end = _headers.size();
    std::string line = _headers.substr(start, end - start);
    size_t colon = line.find(':');
    if (colon != std::string::npos && lower(trim(line.substr(0, colon))) == "content-disposition") {
      std::vector<std::string> pieces = splitParameters(line.substr(colon + 1));
      const std::string* plain = nullptr;
      const std::string* extended = nullptr;
      for (size_t i = 1; i < pieces.size(); ++i) {
        std::string name = parameterName(pieces[i]);
        if (name == "filename" && plain == nullptr) plain = &pieces[i];
        if (name == "filename*" && extended == nullptr) extended = &pieces[i];
      }
      if (plain != nullptr || extended != nullptr) {
        _filename = fileName(plain != nullptr ? *plain : *extended);
        return true;
      }
    }
    start = end + 2;
  }
  return false;
}

std::string GMultipartForm::fileName(const std::string& _parameter) {
  size_t equals = _parameter.find('=');
  if (equals == std::string::npos) return "";
  bool extended = parameterName(_parameter) == "filename*";
  std::string value = trim(_parameter.substr(equals + 1));
  std::string name;
  if (extended) {
    // charset'language'percent-escaped bytes
    size_t first = value.find('\'');
    size_t second = first == std::string::npos ? first : value.find('\'', first + 1);
    if (second == std::string::npos) return "";
    value = value.substr(second + 1);
  } else if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (!extended && c == '\\' && i + 1 < value.size() && value[i + 1] == '"') {
      name += '"';
      ++i;
    } else if (c == '%' && i + 2 < value.size() && isxdigit((unsigned char)value[i + 1]) &&
               isxdigit((unsigned char)value[i + 2])) {
      int byte = (int)strtol(value.substr(i + 1, 2).c_str(), nullptr, 16);
      // Plain names keep every other percent sign: browsers do not escape them.
      if (extended || byte == '"' || byte == '\n' || byte == '\r') {
        name += (char)byte;
        i += 2;
      } else {
        name += c;
      }
    } else {
      name += c;
    }
  }
  return name;
}

bool GMultipartForm::findFilePart(const char* _contentType, const std::string& _body,
                                  size_t& _start, size_t& _length, std::string* _filename) {
  std::string mark = boundary(_contentType);
  if (mark.empty()) return false;
  std::string filename;
  if (!locateFilePart(mark, TextBody(_body), _start, _length, filename, &isFilePart)) return false;
  if (_filename != nullptr) *_filename = filename;
  return true;
}

bool GMultipartForm::findFilePart(MHttpRequest& _request, Int64& _start, Int64& _length,
                                  std::string* _filename) {
  std::string mark = boundary(_request.getHeader("Content-Type").getValue());
  if (mark.empty()) return false;
  size_t start = 0;
  size_t length = 0;
  std::string filename;
  if (!locateFilePart(mark, RequestBody(_request), start, length, filename, &isFilePart)) {
    return false;
  }
  _start = (Int64)start;
  _length = (Int64)length;
  if (_filename != nullptr) *_filename = filename;
  return true;
}
