#ifndef VISTREL_GURLPATTERN_H
#define VISTREL_GURLPATTERN_H

#include <string>

#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "views/GSession.h"

// URLs written from patterns such as
//   "/?session={session}&page={page}&requestId={request}&Folder.id={folder}&pagenum={ordinal}"
// so that pages whose links differ only in the order and choice of their parameters share
// one writer. Every placeholder stands for a number or the session identifier, so nothing a
// user typed ever reaches a URL this way.
//
// Placeholders: {session} the session identifier (URL-encoded); {request} a fresh number of
// the server's request counter, taken when the placeholder is filled; {page}, {action},
// {folder}, {image}, {ordinal}, {gridPage}, {user}, {owner} the fields of Values. An unknown
// placeholder or an unclosed brace is a programming fault and fails.
class GUrlPattern {
 public:
  struct Values {
    int page = -1;      // the page id the URL leads to (GIds)
    int folder = -1;
    int image = -1;
    int ordinal = -1;   // an entry's position in its list, 1-based
    int gridPage = -1;  // a page of a grid, 1-based
    int action = -1;    // the action it carries out (GIds)
    int user = -1;      // the session's user
    int owner = -1;     // the owner of the image
  };

  static MString expand(GSession& _session, const char* _pattern, const Values& _values);
  // The same URL appended to _url.
  static void append(std::string& _url, GSession& _session, const char* _pattern,
                     const Values& _values);
  // Fills _list with the name=value pairs of a pattern without "/?", such as
  // "requestId={request}&Folder.id={folder}&page={page}", in their order (values as text).
  static void fill(GSession& _session, const char* _pattern, const Values& _values,
                   MList& _list);
};

#endif
