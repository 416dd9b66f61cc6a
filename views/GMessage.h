#ifndef VISTREL_GMESSAGE_H
#define VISTREL_GMESSAGE_H

#include "lib/core/MList.h"
#include "lib/core/MTextStream.h"
#include "views/GSession.h"

// The one element in which a page tells what happened or why it is empty: the outcome of an
// action (saved, deleted, published, ...), a note on what is shown (an image that waits for
// acceptance), an empty list, a refused form. Every such line of every page is written by
// line(), so they all look and read alike.
//
// An action names its outcome to the page that follows in the request parameter PARAM. Its
// value is a code, never a text, so that a link cannot make a page show a text of its own.
class GMessage {
 public:
  static const char* const PARAM;

  enum Code {
    SAVED = 1,
    DELETED,
    PUBLISHED,
    PUBLISHED_WAITING,  // offered to a folder whose owner decides first
    UNPUBLISHED,
    ACCEPTED,
    DENIED,
    LINK_MADE,
    LINK_EXTENDED,
    LINK_ENDED,
    LINK_DATE_PASSED,  // the expiry date asked for has passed: no link made
  };

  // The kinds of line, each its own look: an action done, a note on what is shown, an empty
  // list, something refused.
  static const char* const DONE;
  static const char* const NOTE;
  static const char* const EMPTY;
  static const char* const REFUSED;

  // Names _code as the outcome of the request's action.
  static void set(MList& _params, int _code);
  // The line of the outcome the parameters name; nothing without one or for an unknown code.
  static void write(GSession& _session, MTextStream& _out, MList& _params);
  // A message line of the kind _kind whose text is the translation of _key, followed by
  // _extra (HTML, escaped by the caller).
  static void line(GSession& _session, MTextStream& _out, const char* _kind, const char* _key,
                   const char* _extra = "");
  // The same line with the HTML _html as its text, and _attributes (HTML, with a blank in
  // front) added to the element.
  static void html(MTextStream& _out, const char* _kind, const char* _html,
                   const char* _attributes = "");
};

#endif
