#include "views/GInfoView.h"

#include <sys/stat.h>

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "db/GDatabase.h"
#include "db/GImage.h"
#include "views/GHtml.h"
#include "views/GImagePages.h"
#include "views/GRights.h"

GInfoView::GInfoView() {}

GInfoView::~GInfoView() {}

bool GInfoView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_INTRODUCTION:
      frame_introduction(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_IMAGE_WINDOW:
      page_imageWindow(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_ORIGINAL:
      page_image_original(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_PREVIEW1:
      page_image_preview1(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_PREVIEW2:
      page_image_preview2(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_PREVIEW2X:
      page_image_screen(_session, _out, _params, _contentType, "preview2x");
      return true;
    case GIds::PAGE_SCREEN:
      page_image_screen(_session, _out, _params, _contentType, "screen");
      return true;
    default: return false;
  }
} M_RETHROW("bool GInfoView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::frame_introduction(GSession& _session, MTextStream& _out, MList& _params,
                                   MString& _contentType) try {
  _session.viewState.setObject("tab_main", GIds::MODULE_INTRODUCTION);
  writeHtmlFile(_session, _out, "introduction.html");
} M_RETHROW("void GInfoView::frame_introduction(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_imageWindow(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  GApplication& application = GApplication::get();
  int id = paramInt(_params, "Image.id");
  // Everyone who may see the previews sees the viewer; the original needs the download right.
  bool shown = _params.getObject("Image.id") != nullptr &&
               GRights::mayViewScreenPictures(_session, id);
  GImage image;
  if (shown) application.getDatabase().getImage(id, image);
  // The window is named after the picture; the browser shows it in the task bar.
  MString name = GHtml::escape(image.name.getValue());
  MString title = shown && image.name.getLength() > 0 ? name : application.getServerTitle();
  headStart(_out);
  headElements(_out, title);
  _out << "</HEAD>\n";
  if (!shown) {
    _out << "<BODY class=\"viewer\">\n" << "</BODY>\n" << "</HTML>\n";
    return;
  }
  // The viewer: the screen-sized picture (the large preview until it is made) fitted to the
  // window, at its own size on a click, a double tap or Z; the arrow keys, the buttons and a
  // swipe step through the list the window was opened from, Space or the button runs a
  // slideshow, Esc or the button closes. The script reads the neighbours from the body.
  MString previous;
  MString next;
  int position = 0;
  int count = 0;
  GImagePages().neighbourUrls(_session, _params, previous, next, &position, &count);
  MString picture = application.getImageFileUrl(
      _session, hasFile("screen", id) ? GIds::PAGE_SCREEN : GIds::PAGE_PREVIEW2, id);
  _out << "<BODY class=\"viewer\" id=\"viewer\" data-previous=\"" << previous.getValue()
       << "\" data-next=\"" << next.getValue() << "\">\n";
  _out << "<IMG id=\"viewerImage\" class=\"fitted\" src=\"" << picture.getValue() << "\" alt=\""
       << title.getValue() << "\">\n";
  _out << "<DIV class=\"viewerCaption\">";
  if (count > 0) {
    _out << "<SPAN class=\"viewerPosition\">" << position << " "
         << application.translate(_session, "VIEWER_POSITION_OF") << " " << count << "</SPAN>";
  }
  _out << "<SPAN class=\"viewerName\">" << name.getValue() << "</SPAN></DIV>\n";
  auto button = [&](const char* _id, const char* _key, const char* _face, bool _usable) {
    _out << "<BUTTON type=\"button\" class=\"viewerButton\" id=\"" << _id << "\" title=\""
         << application.translate(_session, _key) << "\"" << (_usable ? "" : " disabled") << ">"
         << (_face != nullptr ? _face : application.translate(_session, _key)) << "</BUTTON>";
  };
  _out << "<DIV class=\"viewerBar\">";
  button("previousButton", "VIEWER_PREVIOUS", "&#8249;", previous.getLength() > 0);
  // On the last picture a slideshow ends at once; the button still stops one that ran.
  button("slideshowButton", "VIEWER_SLIDESHOW", nullptr, true);
  button("nextButton", "VIEWER_NEXT", "&#8250;", next.getLength() > 0);
  if (GRights::mayDownloadImage(_session, image)) {
    MString url = MString::format("/?session=%s&page=%d&Image.id=%d",
                                  GHtml::urlEncode(_session.id.getValue()).getValue(),
                                  GIds::PAGE_ORIGINAL, id);
    MString file = image.name.getLength() > 0 ? image.name : MString::format("%07d", id);
    _out << "<A class=\"viewerButton\" id=\"downloadButton\" href=\"" << url.getValue()
         << "\" download=\"" << GHtml::escape(file.getValue()).getValue() << ".jpg\">"
         << application.translate(_session, "BUTTON_DOWNLOAD") << "</A>";
  }
  button("closeButton", "VIEWER_CLOSE", "&#215;", true);
  _out << "<SPAN class=\"viewerHelp\">" << application.translate(_session, "VIEWER_HELP")
       << "</SPAN></DIV>\n";
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GInfoView::page_imageWindow(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::writeImage(MTextStream& _out, MList& _params, MString& _contentType,
                           const char* _store) {
  if (_params.getObject("Image.id") == nullptr) return;
  // The id is written as a number, so nothing the browser sends can leave the image store.
  MString path = MString::format("%s/images/%s/%07d.jpg",
                                 GApplication::get().getDirectory().getValue(), _store,
                                 paramInt(_params, "Image.id"));
  writeFile(_out, path.getValue());
  _contentType = "image/jpeg";
}

void GInfoView::page_image_original(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (GRights::mayDownloadImage(_session, paramInt(_params, "Image.id"))) {
    writeImage(_out, _params, _contentType, "original");
  }
} M_RETHROW("void GInfoView::page_image_original(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_image_preview1(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (GRights::mayViewImage(_session, paramInt(_params, "Image.id"))) {
    writeImage(_out, _params, _contentType, "preview1");
  }
} M_RETHROW("void GInfoView::page_image_preview1(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_image_screen(GSession& _session, MTextStream& _out, MList& _params,
                                  MString& _contentType, const char* _store) try {
  if (GRights::mayViewScreenPictures(_session, paramInt(_params, "Image.id"))) {
    writeImage(_out, _params, _contentType, _store);
  }
} M_RETHROW("void GInfoView::page_image_screen(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType,char *_store)")

bool GInfoView::hasFile(const char* _store, int _imageId) {
  MString path = MString::format("%s/images/%s/%07d.jpg",
                                 GApplication::get().getDirectory().getValue(), _store, _imageId);
  struct stat info;
  return stat(path.getValue(), &info) == 0 && S_ISREG(info.st_mode);
}

void GInfoView::page_image_preview2(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (GRights::mayViewImage(_session, paramInt(_params, "Image.id"))) {
    writeImage(_out, _params, _contentType, "preview2");
  }
} M_RETHROW("void GInfoView::page_image_preview2(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
