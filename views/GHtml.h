#ifndef VISTREL_GHTML_H
#define VISTREL_GHTML_H

#include <string>

#include "lib/core/MString.h"

// The escaping of values that come from users or requests on their way into a page. Every
// page writes such values through these functions and nowhere else. Letters and digits come
// out unchanged by all three.
class GHtml {
 public:
  // For HTML text and for attribute values in double or single quotes: & < > " ' become
  // character references.
  static MString escape(const char* _text);
  // For a value inside a single-quoted script string that itself stands in a double-quoted
  // event attribute, as in onKeyUp="if (x.value != '...') ...": the value is escaped for
  // the script first (\ ' " and control characters as backslash sequences) and the result
  // for the attribute, so that after the browser has undone both the script sees exactly
  // the value.
  static MString escapeScript(const char* _text);
  // For a name or value in a URL's query: everything except letters, digits and - _ . ~
  // becomes %XX, which the request parser decodes again.
  static MString urlEncode(const char* _text);
  // The same, appended to _out.
  static void appendUrlEncoded(std::string& _out, const char* _text);
};

#endif
