#ifndef VISTREL_GIMAGEPAGES_H
#define VISTREL_GIMAGEPAGES_H

#include <functional>

#include "views/GImageMember.h"
#include "views/GView.h"

// The image grid (thumbnails, eight to a page, four to a row, buttons under each, the paging
// bar below) and the image detail page (one image at the larger preview size with its
// attributes, as an edit form or a read-only table, a button back to the grid and a paging
// bar stepping through the images one at a time), written for every member of the family
// from its GImageMember entry. The views call it from their page methods.
//
// Page numbers and ordinals from the URL are held inside the list: below 1 counts as 1 and
// beyond the end as the last page or image, so no request can make a page count past its
// list or overflow.
class GImagePages : public GView {
 public:
  // What a member writes after the paging bar, before the end of the document.
  typedef std::function<void()> Extras;

  GImagePages();
  ~GImagePages() override;

  // Whether the member's selector shows the detail page (its image key is remembered).
  bool showsDetail(GImageMember::Group _group, GSession& _session);
  // The detail page when showsDetail, else the grid.
  void selector(GImageMember::Group _group, GSession& _session, MTextStream& _out,
                MList& _params, const Extras& _extras = Extras());
  void grid(GImageMember::Group _group, GSession& _session, MTextStream& _out, MList& _params,
            const Extras& _extras = Extras());
  // _lead: what the member writes first in the body (a message line).
  void detail(GImageMember::Group _group, GSession& _session, MTextStream& _out,
              MList& _params, const Extras& _extras = Extras(), const Extras& _lead = Extras());

  // The folder a page of the folder module works on: `Folder.id` of the request, else the
  // remembered one, else the root; never negative.
  static int requestedFolder(GSession& _session, MList& _params);

  // The image window of a detail page steps through the list it was opened from: its URL
  // names the list by the member's detail page (LIST_PARAM), the image's ordinal in it
  // (`pagenum`) and, for the folder groups, the folder.
  static const char* const LIST_PARAM;
  // The large preview of an image as an IMG element 240 pixels high, offering the same
  // preview at twice its pixels to screens with two device pixels per CSS pixel once it is
  // made (srcset), so that browsers choose.
  static MString largePreviewTag(GSession& _session, int _imageId);
  MString windowUrl(GImageMember::Context& _context, int _imageId, int _ordinal);
  // The window URLs of the images before and after the one that the request's list and
  // ordinal name; empty where there is none (or the request names no list). With _position
  // and _count, also the ordinal and the length of the list (0 and 0 without a list).
  void neighbourUrls(GSession& _session, MList& _params, MString& _previous, MString& _next,
                     int* _position = nullptr, int* _count = nullptr);

 private:
  // A page number or ordinal: `pagenum` of the request, else _remembered, else 1; at least 1.
  int requestedNumber(MList& _params, MObject* _remembered);
  // The entries of the member's list from number _first on, at most _max; returns the number
  // of all. The member's part of the list when it has one, else a piece of the whole list.
  int listPart(GImageMember::Context& _context, int _first, int _max, MList& _storage,
               std::vector<MObject*>& _entries);
  void gridCell(GImageMember::Context& _context, GImageMember::Shown& _shown, int _ordinal,
                MTextStream& _out);
  void editForm(GSession& _session, GImageMember::Shown& _shown, const MString& _window,
                MTextStream& _out);
  void readOnlyTable(GSession& _session, GImageMember::Shown& _shown, const MString& _window,
                     MTextStream& _out);
  void imageCell(GSession& _session, GImageMember::Shown& _shown, const MString& _window,
                 bool _clickable, const char* _clickEnd, MTextStream& _out);
};

#endif
