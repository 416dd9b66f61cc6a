#ifndef VISTREL_GBOOKMARK_H
#define VISTREL_GBOOKMARK_H

#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/core/MTextStream.h"

class GSession;

// The plain addresses of a folder and a picture, without a session: /?folder=<id> and
// /?image=<id>. Such an address opens the frame set (the login first, which carries it on)
// at the folder, or at the picture's detail in a folder where it is published and the
// session may see it; once a folder or a picture is shown, the window's address becomes its
// plain address, so that it can be bookmarked and sent.
class GBookmark {
 public:
  static const char* const FOLDER;
  static const char* const IMAGE;

  // For the frame set of a logged-in session: turns the plain address's parameter into the
  // module, folder and picture to open (the parameters and the session's view state); false
  // when the parameters name none, or nothing the session may see.
  static bool open(GSession& _session, MList& _params);
  // "&folder=<id>" or "&image=<id>" when the parameters hold one; empty otherwise.
  static MString carried(MList& _params);
  // The plain address the parameters name ("/" for none).
  static MString address(MList& _params);
  // A script that shows _name=<_id> in the window's address bar.
  static void show(MTextStream& _out, const char* _name, int _id);
};

#endif
