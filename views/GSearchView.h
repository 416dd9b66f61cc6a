#ifndef VISTREL_GSEARCHVIEW_H
#define VISTREL_GSEARCHVIEW_H

#include "views/GView.h"

// The keyword search module (pages 700 to 704). Its pages are not written yet: until they are, it claims no page and
// the dispatch goes on to the next view.
class GSearchView : public GView {
 public:
  GSearchView();
  ~GSearchView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
};

#endif
