#include "views/GFolderAdminView.h"

GFolderAdminView::GFolderAdminView() {}

GFolderAdminView::~GFolderAdminView() {}

bool GFolderAdminView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) {
  return false;
}
