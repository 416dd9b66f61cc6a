#ifndef VISTREL_GINFOVIEW_H
#define VISTREL_GINFOVIEW_H

#include "views/GIds.h"
#include "views/GView.h"

// The introduction, the image window and the three image files of an image: the original and
// the small and large previews, each only to those who may see it (GRights); anybody else
// gets an empty page, as for an image that does not exist.
class GInfoView : public GView {
 public:
  // Whether the page delivers one of the image files.
  static bool isImageFile(int _page) {
    return _page == GIds::PAGE_ORIGINAL || _page == GIds::PAGE_PREVIEW1 ||
           _page == GIds::PAGE_PREVIEW2 || _page == GIds::PAGE_PREVIEW2X ||
           _page == GIds::PAGE_SCREEN;
  }
  // Whether the image store holds "<root>/images/<_store>/<_imageId>.jpg": the pictures for
  // screens are missing for images stored before them until they are made (a look-up of a
  // cached directory entry, as cheap as the page's other work).
  static bool hasFile(const char* _store, int _imageId);

  GInfoView();
  ~GInfoView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_introduction(GSession& _session, MTextStream& _out, MList& _params,
                          MString& _contentType);
  void page_imageWindow(GSession& _session, MTextStream& _out, MList& _params,
                        MString& _contentType);
  void page_image_original(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType);
  void page_image_preview1(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType);
  void page_image_preview2(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType);
  // The large preview at twice its pixels and the screen-sized picture: to whoever may see
  // the previews (GRights::mayViewScreenPictures).
  void page_image_screen(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType, const char* _store);

 private:
  // Copies "<root>/images/<_store>/<id, seven digits>.jpg" for the `Image.id` of the request
  // as a JPEG file, when the request names an image.
  void writeImage(MTextStream& _out, MList& _params, MString& _contentType, const char* _store);
};

#endif
