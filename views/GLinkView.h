#ifndef VISTREL_GLINKVIEW_H
#define VISTREL_GLINKVIEW_H

#include <vector>

#include "lib/core/MString.h"
#include "lib/core/MTextStream.h"
#include "views/GView.h"

class GSession;

// The pages a visitor of a link for people without an account sees (webapp/GShareVisit
// decides which and with what): pages of their own, without the frame set and without a
// session, fitted to phones, in the language of _texts with a choice of the configured
// ones. Addresses are the link's own (base "/s/<token>"): the grid of a folder's pictures
// (base), one picture in the viewer (base/v/<id>), the pictures' files (base/t/<id> small,
// base/p/<id> large, base/o/<id> the original). Nothing here decides who sees what.
class GLinkView : public GView {
 public:
  // What every link page knows.
  struct Page {
    GSession* texts = nullptr;  // its language chooses the texts
    MString base;               // "/s/<token>"
    MString language;           // the language the visitor chose ("" for the maker's)
    MString title;              // the folder's or the picture's name (not escaped)
  };

  // The contributions of a folder link's grid: whether they are offered, the contributor's
  // name once given, and the outcome of the last upload (a GUploadMessage code, or
  // OVER_LIMIT; 0 none).
  struct Contribution {
    bool offered = false;
    MString contributor;
    int outcome = 0;
  };
  static const int OVER_LIMIT = -1;

  // Pictures on one page of a folder link's grid.
  static const int picturesPerPage = 60;

  // The folder's grid: _ids the pictures of the page from number _first on, of _total.
  void writeGrid(const Page& _page, MTextStream& _out, const std::vector<int>& _ids, int _total,
                 int _first, const Contribution& _contribution);
  // One picture: number _position (from 0) of _total, its neighbours (-1: none) and whether
  // its original may be downloaded (named _fileName). _single: the link shows this picture
  // alone (no way back to a grid).
  void writeViewer(const Page& _page, MTextStream& _out, int _id, int _position, int _total,
                   int _previous, int _next, bool _download, const MString& _fileName,
                   bool _single);
  // A page with a heading and a text, both translation keys (an ended link, no such link).
  void writeMessage(const Page& _page, MTextStream& _out, const char* _heading,
                    const char* _text);

  // The form that asks for a link's password, with the message _message (a translation key,
  // or null) above it.
  void writePassword(const Page& _page, MTextStream& _out, const char* _message);

  // The address of a link page: _path under the base, with the visitor's language and the
  // extra parameter _extra ("name=value", may be empty).
  static MString address(const Page& _page, const char* _path, const MString& _extra);

 private:
  void writeHead(const Page& _page, MTextStream& _out, const MString& _title);
  void writeBar(const Page& _page, MTextStream& _out, int _total);
  // A name for the contributions, then the many-files upload under it.
  void writeContribution(const Page& _page, MTextStream& _out, const Contribution& _contribution);
  const char* text(const Page& _page, const char* _key);
};

#endif
