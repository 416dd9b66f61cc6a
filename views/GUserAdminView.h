#ifndef VISTREL_GUSERADMINVIEW_H
#define VISTREL_GUSERADMINVIEW_H

#include "views/GView.h"

// The user administration module of administrators (pages 300 to 305). Its pages are not written yet: until they are, it claims no page and
// the dispatch goes on to the next view.
class GUserAdminView : public GView {
 public:
  GUserAdminView();
  ~GUserAdminView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
};

#endif
