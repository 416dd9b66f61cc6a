#ifndef VISTREL_GIMAGEFOLDERVIEW_H
#define VISTREL_GIMAGEFOLDERVIEW_H

#include "db/GFolder.h"
#include "views/GImagePages.h"
#include "views/GView.h"

// The folder browsing module (GIds::MODULE_IMAGE_FOLDERS): the frame set of title bar and
// content, the title bar with the folder's path and the tabs, the list of sub-folders of a
// plain folder, and for an image folder its images (grid and detail page) and, in the second
// tab, the user's own images with their publishing state in the folder.
class GImageFolderView : public GView {
 public:
  GImageFolderView();
  ~GImageFolderView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_imageFolder(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);
  void page_menu(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_images(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);
  void page_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                            MString& _contentType);
  void page_myImages(GSession& _session, MTextStream& _out, MList& _params,
                     MString& _contentType);
  void page_mySingleImage(GSession& _session, MTextStream& _out, MList& _params,
                          MString& _contentType);
  void page_myMultipleImages(GSession& _session, MTextStream& _out, MList& _params,
                             MString& _contentType);
  void page_subfolders(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);

 private:
  // Reads the folder; false for the root and for a folder that cannot be read.
  bool readFolder(int _folder_id, GFolder& _folder);
  bool isImageFolder(int _folder_id);
  // The tab of the lower frame: the folder's content or the publishing of own images, the
  // latter only for ordinary users in an image folder.
  int allowedTab(GSession& _session, int _tab, bool _imageFolder);
  // "/?session=%s&page=%d&requestId=%d&Folder.id=%d" with a fresh request number.
  MString folderUrl(GSession& _session, int _page, int _folder_id);
  void writeTab(GSession& _session, MTextStream& _out, int _tab, int _current, int _folder_id,
           const char* _textKey, const char* _end);

  GImagePages imagePages;
};

#endif
