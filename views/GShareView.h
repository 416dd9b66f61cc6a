#ifndef VISTREL_GSHAREVIEW_H
#define VISTREL_GSHAREVIEW_H

#include "views/GView.h"

// The pages with which users make and manage links for people without an account (the
// visitors' pages are GLinkView's): "My links", a tab of the user's own pages, listing each
// link with what it shows and how it was used, its address to copy, Extend and End;
// administrators see everybody's. The form that makes a link, opened by "Share..." under a
// folder's grid and a picture's detail (shareEntry), and the question before a link ends.
class GShareView : public GView {
 public:
  GShareView();
  ~GShareView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  // "Share..." for a folder (GShareLink::FOLDER) or a picture, when the session may share
  // it: opens the form in a window of its own.
  static void shareEntry(GSession& _session, MTextStream& _out, int _kind, int _target);
  // The same for the picture a detail page shows: the one its view state names under
  // _imageKey (the detail sets it as it writes the picture).
  static void shareShownImage(GSession& _session, MTextStream& _out, const char* _imageKey);

 private:
  void page_links(GSession& _session, MTextStream& _out, MList& _params);
  void page_form(GSession& _session, MTextStream& _out, MList& _params);
  void page_end(GSession& _session, MTextStream& _out, MList& _params);
  // The head of the management pages: the frame set's style and script, and the links'.
  void head(GSession& _session, MTextStream& _out);
  // The address of a link with a button that copies it.
  void addressField(MTextStream& _out, const MString& _path, const char* _copy);
};

#endif
