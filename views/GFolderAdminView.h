#ifndef VISTREL_GFOLDERADMINVIEW_H
#define VISTREL_GFOLDERADMINVIEW_H

#include "views/GView.h"

// The folder administration module (pages 900 to 905). Its pages are not written yet: until they are, it claims no page and
// the dispatch goes on to the next view.
class GFolderAdminView : public GView {
 public:
  GFolderAdminView();
  ~GFolderAdminView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
};

#endif
