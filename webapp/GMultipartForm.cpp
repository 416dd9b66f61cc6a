#include "webapp/GMultipartForm.h"

#include <vector>

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

bool GMultipartForm::isFilePart(const std::string& _headers) {
  size_t start = 0;
  while (start <= _headers.size()) {
    size_t end = _headers.find("\r\n", start);
    if (end == std::string::npos) end = _headers.size();
    std::string line = _headers.substr(start, end - start);
    size_t colon = line.find(':');
    if (colon != std::string::npos && lower(trim(line.substr(0, colon))) == "content-disposition") {
      std::vector<std::string> pieces = splitParameters(line.substr(colon + 1));
      for (size_t i = 1; i < pieces.size(); ++i) {
        std::string name = parameterName(pieces[i]);
        if (name == "filename" || name == "filename*") return true;
      }
    }
    start = end + 2;
  }
  return false;
}

bool GMultipartForm::findFilePart(const char* _contentType, const std::string& _body,
                                  size_t& _start, size_t& _length) {
  std::string mark = boundary(_contentType);
  if (mark.empty()) return false;
  const std::string delimiter = "--" + mark;
  const std::string inner = "\r\n" + delimiter;

  // The first boundary line opens the body or follows a line end of the preamble.
  size_t at;
  if (_body.compare(0, delimiter.size(), delimiter) == 0) {
    at = 0;
  } else {
    at = _body.find(inner);
    if (at == std::string::npos) return false;
    at += 2;
  }
  for (;;) {
    size_t after = at + delimiter.size();
    if (_body.compare(after, 2, "--") == 0) return false;  // the closing boundary
    // Blanks may stand between the boundary and the line end.
    while (after < _body.size() && (_body[after] == ' ' || _body[after] == '\t')) after++;
    if (_body.compare(after, 2, "\r\n") != 0) return false;
    size_t headers = after + 2;
    size_t content;
    if (_body.compare(headers, 2, "\r\n") == 0) {
      content = headers + 2;  // a part without header lines
    } else {
      size_t blank = _body.find("\r\n\r\n", headers);
      if (blank == std::string::npos) return false;
      content = blank + 4;
    }
    size_t next = _body.find(inner, content);
    if (next == std::string::npos) return false;  // cut off before its boundary
    if (isFilePart(_body.substr(headers, content - headers))) {
      _start = content;
      _length = next - content;
      return true;
    }
    at = next + 2;
  }
}
