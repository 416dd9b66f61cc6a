#include "views/GImageAcceptView.h"

GImageAcceptView::GImageAcceptView() {}

GImageAcceptView::~GImageAcceptView() {}

bool GImageAcceptView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) {
  return false;
}
