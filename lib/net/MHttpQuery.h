#ifndef VISTREL_MHTTPQUERY_H
#define VISTREL_MHTTPQUERY_H

#include "lib/core/MString.h"

class MList;

// The query part of a URL: name=value pieces joined by "&".
//
// The text is split first, at every "&" and then at "=", and only then is each name and
// value percent-decoded on its own, so that a value may carry "&", "=" or "%" that a user
// typed (sent as %26, %3D and %25). A piece with no "=" or with more than one is ignored;
// the last occurrence of a name wins.
class MHttpQuery {
 public:
  // Stores the parameters of _query in _params with the list's set operation. _form: the
  // text is a form body (application/x-www-form-urlencoded), where browsers write a blank
  // as "+"; in a query string "+" stays "+", as the pages have always read it.
  static void parse(const char* _query, MList& _params, bool _form = false);

  // Percent-decodes _length bytes of _text in one pass: "%" and two characters become the
  // byte 16 * first + second, where 0-9, a-f and A-F have their hexadecimal values and any
  // other character counts as 0. A decoded byte is not examined again, "+" stays "+", and a
  // decoded 0 ends the text. A "%" with fewer than two characters after it is kept as it is.
  // _plusIsBlank: "+" becomes a blank (form bodies).
  static MString decode(const char* _text, int _length, bool _plusIsBlank = false);

 private:
  static int hexValue(char _ch);
};

#endif
