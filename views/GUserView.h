#ifndef VISTREL_GUSERVIEW_H
#define VISTREL_GUSERVIEW_H

#include "views/GView.h"

// The own-account module: the user's data, own images and the upload form (pages 100 to 111). Its pages are not written yet: until they are, it claims no page and
// the dispatch goes on to the next view.
class GUserView : public GView {
 public:
  GUserView();
  ~GUserView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
};

#endif
