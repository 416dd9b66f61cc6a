#ifndef VISTREL_GSEARCHVIEW_H
#define VISTREL_GSEARCHVIEW_H

#include "views/GImagePages.h"
#include "views/GView.h"

// The keyword search module (GIds::MODULE_SEARCH): the frame set of search form and result,
// the form with the last search words, and the images found (grid and detail page). The
// search itself is an action; the pages only show its words and result from the session.
class GSearchView : public GView {
 public:
  GSearchView();
  ~GSearchView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_search(GSession& _session, MTextStream& _out, MList& _params,
                    MString& _contentType);
  void page_search(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_images(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                            MString& _contentType);
  void page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);

 private:

  GImagePages imagePages;
};

#endif
