#include "views/GImageFolderView.h"

#include "db/GDatabase.h"
#include "db/GShareLink.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GBookmark.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GRights.h"
#include "views/GShareView.h"

namespace {

// A remembered or requested tab that is neither of the two counts as the folder tab, so that
// no request can load another page into the lower frame.
int validTab(int _tab) {
  return _tab == GIds::TAB_PUBLISHING ? GIds::TAB_PUBLISHING : GIds::TAB_FOLDER;
}

// Under a folder's pictures: Share... for the picture the detail shows (its plain address in
// the address bar), or for the folder under its grid.
GImagePages::Extras shareEntries(GSession& _session, MTextStream& _out, MList& _params) {
  return [&_session, &_out, &_params]() {
    const char* imageKey = GImageMember::get(GImageMember::FOLDER_IMAGES).imageKey;
    MObject* shown = _session.viewState.getObject(imageKey);
    if (shown == nullptr) {
      GShareView::shareEntry(_session, _out, GShareLink::FOLDER,
                             GImagePages::requestedFolder(_session, _params));
      return;
    }
    GShareView::shareEntry(_session, _out, GShareLink::PICTURE, GView::toInt(shown));
    GBookmark::show(_out, GBookmark::IMAGE, GView::toInt(shown));
  };
}

}  // namespace

GImageFolderView::GImageFolderView() {}

GImageFolderView::~GImageFolderView() {}

bool GImageFolderView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_IMAGE_FOLDERS:
      frame_imageFolder(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_FOLDER_MENU: page_menu(_session, _out, _params, _contentType); return true;
    case GIds::TAB_FOLDER: page_images(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_FOLDER_IMAGE_DETAIL:
      page_single_image(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_FOLDER_IMAGE_GRID:
      page_multiple_images(_session, _out, _params, _contentType);
      return true;
    case GIds::TAB_PUBLISHING: page_myImages(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_PUBLISHING_DETAIL:
      page_mySingleImage(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_PUBLISHING_GRID:
      page_myMultipleImages(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GImageFolderView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

bool GImageFolderView::readFolder(int _folder_id, GFolder& _folder) {
  return _folder_id > 0 && GApplication::get().getDatabase().getFolder(_folder_id, _folder) >= 0;
}

bool GImageFolderView::isImageFolder(int _folder_id) {
  GFolder folder;
  return readFolder(_folder_id, folder) && folder.imageFolder;
}

int GImageFolderView::allowedTab(GSession& _session, int _tab, bool _imageFolder) {
  return _tab == GIds::TAB_PUBLISHING && _imageFolder && GRights::mayPublish(_session)
             ? GIds::TAB_PUBLISHING
             : GIds::TAB_FOLDER;
}

MString GImageFolderView::folderUrl(GSession& _session, int _page, int _folder_id) {
  return MString::format("/?session=%s&page=%d&requestId=%d&Folder.id=%d",
                         GHtml::urlEncode(_session.id.getValue()).getValue(), _page,
                         GApplication::get().nextRequestId(), _folder_id);
}

void GImageFolderView::frame_imageFolder(GSession& _session, MTextStream& _out, MList& _params,
                                         MString& _contentType) try {
  _session.viewState.setObject("tab_main", GIds::MODULE_IMAGE_FOLDERS);
  MObject* rememberedTab = _session.viewState.getObject("ImageFolderView.tab");
  int tab = rememberedTab != nullptr ? validTab(toInt(rememberedTab)) : GIds::TAB_FOLDER;
  _session.viewState.setObject("ImageFolderView.tab", tab);

  MObject* rememberedFolder = _session.viewState.getObject("Folder.id");
  int remembered = rememberedFolder != nullptr ? toInt(rememberedFolder) : 0;
  int folderId = GImagePages::requestedFolder(_session, _params);
  // A folder that cannot be read is shown as the root, in every frame alike.
  GFolder folder;
  bool readable = readFolder(folderId, folder);
  if (!readable) folderId = 0;
  // Another folder starts with its own content, not with the own-images tab.
  if (_params.getObject("Folder.id") != nullptr && folderId != remembered) {
    tab = GIds::TAB_FOLDER;
    _session.viewState.setObject("ImageFolderView.tab", tab);
  }
  _session.viewState.setObject("Folder.id", folderId);
  int shown = allowedTab(_session, tab, readable && folder.imageFolder);

  headStart(_out);
  if (folderId > 0) GBookmark::show(_out, GBookmark::FOLDER, folderId);
  _out << "</HEAD>\n";
  if (!GRights::hasOwnImages(_session)) {
    _out << "<FRAMESET rows=\"95,90%\" name=\"";
  } else {
    _out << "<FRAMESET rows=\"140,90%\" name=\"";
  }
  _out << GIds::MODULE_IMAGE_FOLDERS << "\" border=\"0\">\n";
  _out << "<FRAME name=\"menu\" src=\""
       << folderUrl(_session, GIds::PAGE_FOLDER_MENU, folderId).getValue()
       << "\" noresize scrolling=\"no\"></frame>\n";
  _out << "<FRAME name=\"area\" src=\"" << folderUrl(_session, shown, folderId).getValue()
       << "\" noresize></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GImageFolderView::frame_imageFolder(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::writeTab(GSession& _session, MTextStream& _out, int _tab, int _current,
                           int _folder_id, const char* _textKey, const char* _end) {
  if (_tab == _current) {
    _out << "<TD class=\"tabSelected\">\n";
  } else {
    MString pageUrl = folderUrl(_session, _tab, _folder_id);
    MString menuUrl = MString::format(
        "/?session=%s&page=%d&requestId=%d&Folder.id=%d&%s=%d",
        GHtml::urlEncode(_session.id.getValue()).getValue(), GIds::PAGE_FOLDER_MENU,
        GApplication::get().nextRequestId(), _folder_id, "ImageFolderView.tab", _tab);
    _out << "<TD" << " class=\"tab\" bgColor=\"#C0C0C0\"" << hover
         << "onClick=\"mouseClick2(this,parent.area,'" << pageUrl.getValue() << "',document,'"
         << menuUrl.getValue() << "')\">";
  }
  _out << GApplication::get().translate(_session, _textKey) << _end;
}

void GImageFolderView::page_menu(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  GApplication& application = GApplication::get();
  int tab = GIds::TAB_FOLDER;
  if (_params.getObject("ImageFolderView.tab") != nullptr) {
    tab = validTab(paramInt(_params, "ImageFolderView.tab"));
  } else if (_session.viewState.getObject("ImageFolderView.tab") != nullptr) {
    tab = validTab(toInt(_session.viewState.getObject("ImageFolderView.tab")));
  }
  _session.viewState.setObject("ImageFolderView.tab", tab);

  GFolder folder;
  bool readable = readFolder(GImagePages::requestedFolder(_session, _params), folder);
  MString name;
  if (readable) {
    name = GHtml::escape(folder.name.getValue());
  } else {
    folder.id = 0;
    name = application.translate(_session, "TITLE_FOLDERS");
  }
  bool imageFolder = readable && folder.imageFolder;
  int current = allowedTab(_session, tab, imageFolder);

  standardHead(_session, _out);
  _out << "<BODY class=\"tab\">\n" << "<TABLE><TR class=\"pageTitle\">\n";
  if (folder.id > 0) {
    _out << "<TD width=\"20\"" << hover << "onClick=\"mouseClick(this,parent,'"
         << folderUrl(_session, GIds::MODULE_IMAGE_FOLDERS,
                      folder.parentId > 0 ? folder.parentId : 0).getValue()
         << "')\"><IMG src=\"/images/folder_up.gif\" align=\"absmiddle\"></TD>\n"
         << "<TD width=\"5\"></TD>\n";
  }
  _out << "<TD>" << name.getValue() << "</TD>\n" << "</TR></TABLE>\n" << "<HR>\n";

  _out << "<TABLE><TR class=\"folderPath\">\n";
  if (folder.id > 0) {
    _out << "<TD>/</TD><TD" << hover << "onClick=\"mouseClick(this,parent,'"
         << folderUrl(_session, GIds::MODULE_IMAGE_FOLDERS, 0).getValue() << "');\">"
         << application.translate(_session, "TITLE_FOLDERS") << "</TD>";
    // The ancestors come nearest first; the path starts at the outermost.
    MList ancestors;
    application.getDatabase().getParentFolders(folder.id, ancestors);
    for (MItem* item = ancestors.getLastItem(); item != nullptr;
         item = ancestors.getPrevItem(item)) {
      GFolder* ancestor = dynamic_cast<GFolder*>(item->object);
      if (ancestor == nullptr) continue;
      _out << "<TD>/</TD><TD" << hover << "onClick=\"mouseClick(this,parent,'"
           << folderUrl(_session, GIds::MODULE_IMAGE_FOLDERS, ancestor->id).getValue() << "');\">"
           << GHtml::escape(ancestor->name.getValue()).getValue() << "</TD>\n";
    }
  }
  _out << "<TD>/</TD><TD>" << name.getValue() << "</TD>\n" << "</TR></TABLE>\n" << "<HR>";

  if (!GRights::isAdministrator(_session)) {
    _out << "<TABLE>" << "<TR>";
    writeTab(_session, _out, GIds::TAB_FOLDER, current, folder.id, "TAB_FOLDER", "</TD>\n");
    if (imageFolder && GRights::mayPublish(_session)) {
      writeTab(_session, _out, GIds::TAB_PUBLISHING, current, folder.id, "TAB_MY_IMAGES", "</TD>");
    }
    _out << "</TR>\n" << "</TABLE>\n";
  }
  _out << "<HR>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GImageFolderView::page_menu(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_images(GSession& _session, MTextStream& _out, MList& _params,
                                   MString& _contentType) try {
  if (isImageFolder(GImagePages::requestedFolder(_session, _params))) {
    imagePages.selector(GImageMember::FOLDER_IMAGES, _session, _out, _params,
                        shareEntries(_session, _out, _params));
  } else {
    page_subfolders(_session, _out, _params, _contentType);
  }
} M_RETHROW("void GImageFolderView::page_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_subfolders(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) try {
  GDatabase& database = GApplication::get().getDatabase();
  GFolder folder;
  // A folder that cannot be read is listed as the root.
  if (!readFolder(GImagePages::requestedFolder(_session, _params), folder)) folder.id = 0;
  MList children;
  children.setSortMode(true, true);
  database.getChildFolders(folder.id, children);
  _session.viewState.deleteObject("ImageFolderView.image");

  standardHead(_session, _out);
  _out << "<BODY>\n" << "<TABLE width=\"100%\">\n";
  if (folder.id > 0) {
    MList param;
    param.setObject("Folder.id", folder.parentId > 0 ? folder.parentId : 0);
    param.setObject("page", GIds::MODULE_IMAGE_FOLDERS);
    _out << "<TR" << hover << "onClick=\"mouseClick(this,parent,'"
         << getUrl(_session, param).getValue() << "');\">\n"
         << "<TD width=\"20\" align=\"center\"><IMG src=\"/images/folder.gif\"/></TD>"
            "<TD class=\"folder\"> .. </TD>\n"
         << "</TR>\n";
  }
  for (MItem* item = children.getFirstItem(); item != nullptr; item = children.getNextItem(item)) {
    GFolder* child = dynamic_cast<GFolder*>(item->object);
    if (child == nullptr || !child->enabled) continue;
    MList param;
    param.setObject("Folder.id", child->id);
    param.setObject("page", GIds::MODULE_IMAGE_FOLDERS);
    _out << "<TR class=\"" << (child->imageFolder ? "imageFolder" : "folder") << "\"" << hover
         << "onClick=\"mouseClick(this,parent,'" << getUrl(_session, param).getValue() << "');\">\n"
         << "<TD width=\"20\" align=\"center\"><IMG src=\""
         << (child->imageFolder ? "/images/folder_images.gif" : "/images/folder.gif")
         << "\"/></TD><TD>" << GHtml::escape(child->name.getValue()).getValue() << "</TD>\n"
         << "</TR>\n";
  }
  _out << "</TABLE><HR>" << "</BODY>" << "</HTML>";
} M_RETHROW("void GImageFolderView::page_subfolders(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                                         MString& _contentType) try {
  imagePages.detail(GImageMember::FOLDER_IMAGES, _session, _out, _params,
                    shareEntries(_session, _out, _params));
} M_RETHROW("void GImageFolderView::page_single_image(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_multiple_images(GSession& _session, MTextStream& _out,
                                            MList& _params, MString& _contentType) try {
  imagePages.grid(GImageMember::FOLDER_IMAGES, _session, _out, _params,
                  shareEntries(_session, _out, _params));
} M_RETHROW("void GImageFolderView::page_multiple_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_myImages(GSession& _session, MTextStream& _out, MList& _params,
                                     MString& _contentType) try {
  if (isImageFolder(GImagePages::requestedFolder(_session, _params))) {
    imagePages.selector(GImageMember::PUBLISHING, _session, _out, _params);
  }
} M_RETHROW("void GImageFolderView::page_myImages(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_mySingleImage(GSession& _session, MTextStream& _out, MList& _params,
                                          MString& _contentType) try {
  imagePages.detail(GImageMember::PUBLISHING, _session, _out, _params);
} M_RETHROW("void GImageFolderView::page_mySingleImage(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageFolderView::page_myMultipleImages(GSession& _session, MTextStream& _out,
                                             MList& _params, MString& _contentType) try {
  imagePages.grid(GImageMember::PUBLISHING, _session, _out, _params);
} M_RETHROW("void GImageFolderView::page_myMultipleImages(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
