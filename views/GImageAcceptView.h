#ifndef VISTREL_GIMAGEACCEPTVIEW_H
#define VISTREL_GIMAGEACCEPTVIEW_H

#include "views/GView.h"

// The acceptance module for waiting images and publications (pages 1000 to 1007). Its pages are not written yet: until they are, it claims no page and
// the dispatch goes on to the next view.
class GImageAcceptView : public GView {
 public:
  GImageAcceptView();
  ~GImageAcceptView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
};

#endif
