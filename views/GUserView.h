#ifndef VISTREL_GUSERVIEW_H
#define VISTREL_GUSERVIEW_H

#include "views/GImagePages.h"
#include "views/GView.h"

// The own-account module (GIds::MODULE_MY_INFORMATION and its pages): the frame set of title bar and content,
// the tabs, the form of the user's own account, and for users who upload images their own
// images (grid and detail page) with the upload form and the question before a deletion.
// Not for the guest account, which everybody shares.
class GUserView : public GView {
 public:
  GUserView();
  ~GUserView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_user(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_menu(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_info(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);
  void page_images(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                            MString& _contentType);
  void page_deleteImage(GSession& _session, MTextStream& _out, MList& _params,
                        MString& _contentType);

 private:
  // The tab of the lower frame: the account or the own images, the latter only for users
  // with images of their own (GRights::hasOwnImages).
  int allowedTab(GSession& _session, int _tab);
  // The upload form after the paging bar of page _page (the own images' grid or detail
  // page), while the user has the upload right and room below the image limit.
  void uploadForm(GSession& _session, MTextStream& _out, int _page);
  // A row of the account form whose change makes the update button usable.
  void accountInput(GSession& _session, MTextStream& _out, const char* _label, const char* _type,
                    const char* _field, const char* _gap, const MString& _value);

  GImagePages imagePages;
};

#endif
