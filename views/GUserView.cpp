#include "views/GUserView.h"

GUserView::GUserView() {}

GUserView::~GUserView() {}

bool GUserView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) {
  return false;
}
