#include "views/GSearchView.h"

GSearchView::GSearchView() {}

GSearchView::~GSearchView() {}

bool GSearchView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                  MString& _contentType) {
  return false;
}
