#include "views/GUserAdminView.h"

GUserAdminView::GUserAdminView() {}

GUserAdminView::~GUserAdminView() {}

bool GUserAdminView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                     MString& _contentType) {
  return false;
}
