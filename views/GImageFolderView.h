#ifndef VISTREL_GIMAGEFOLDERVIEW_H
#define VISTREL_GIMAGEFOLDERVIEW_H

#include "views/GView.h"

// The folder browsing module: folders, their image grids and publishing (pages 400 to 408). Its pages are not written yet: until they are, it claims no page and
// the dispatch goes on to the next view.
class GImageFolderView : public GView {
 public:
  GImageFolderView();
  ~GImageFolderView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
};

#endif
