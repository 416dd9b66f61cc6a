#ifndef VISTREL_GINFOVIEW_H
#define VISTREL_GINFOVIEW_H

#include "views/GView.h"

// The introduction (600), the image window (601) and the three image files of an image: the
// original (602, only with the download right) and the small and large previews (603, 604).
class GInfoView : public GView {
 public:
  GInfoView();
  ~GInfoView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);

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

 private:
  // Copies "<root>/images/<_store>/<id, seven digits>.jpg" for the `Image.id` of the request
  // as a JPEG file, when the request names an image.
  void writeImage(MTextStream& _out, MList& _params, MString& _contentType, const char* _store);
};

#endif
