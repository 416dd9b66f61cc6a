#include "views/GImageFolderView.h"

GImageFolderView::GImageFolderView() {}

GImageFolderView::~GImageFolderView() {}

bool GImageFolderView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) {
  return false;
}
