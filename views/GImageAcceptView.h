#ifndef VISTREL_GIMAGEACCEPTVIEW_H
#define VISTREL_GIMAGEACCEPTVIEW_H

#include "views/GImagePages.h"
#include "views/GView.h"

// The administrators' acceptance module (GIds::MODULE_IMAGE_ACCEPTANCE): the frame set of
// title bar and content, the two tabs, and the two queues (uploaded images waiting for
// acceptance, and images offered to folders waiting for their publication), each as a grid
// with accept and deny buttons and as a detail page where the attributes may be corrected.
// Everybody but an administrator gets empty documents, except for the title bar, which needs
// only a login.
class GImageAcceptView : public GView {
 public:
  GImageAcceptView();
  ~GImageAcceptView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_imageAccept(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);
  void page_menu(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_images(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);
  void page_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                            MString& _contentType);
  void page_folders(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_folderAccept_single_image(GSession& _session, MTextStream& _out, MList& _params,
                                      MString& _contentType);
  void page_folderAccept_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                                         MString& _contentType);

 private:
  GImagePages imagePages;
};

#endif
