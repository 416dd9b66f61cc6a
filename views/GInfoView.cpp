#include "views/GInfoView.h"

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
  bool shown = _params.getObject("Image.id") != nullptr && GRights::mayDownloadImage(_session, id);
  GImage image;
  if (shown) application.getDatabase().getImage(id, image);
  // The window is named after the picture; the browser shows it in the task bar.
  MString title = shown && image.name.getLength() > 0 ? GHtml::escape(image.name.getValue())
                                                      : application.getServerTitle();
  headStart(_out);
  headElements(_out, title);
  _out << "</HEAD>\n";
  if (!shown) {
    _out << "<BODY class=\"viewer\">\n" << "</BODY>\n" << "</HTML>\n";
    return;
  }
  // The viewer: the picture fitted to the window, at 100% on a click or Z; the arrow keys
  // step through the list the window was opened from, Space runs a slideshow, Esc closes.
  // The script reads the neighbours from the body.
  MString previous;
  MString next;
  GImagePages().neighbourUrls(_session, _params, previous, next);
  MString url = MString::format("/?session=%s&page=%d&Image.id=%d",
                                GHtml::urlEncode(_session.id.getValue()).getValue(),
                                GIds::PAGE_ORIGINAL, id);
  MString file = image.name.getLength() > 0 ? image.name : MString::format("%07d", id);
  _out << "<BODY class=\"viewer\" id=\"viewer\" data-previous=\"" << previous.getValue()
       << "\" data-next=\"" << next.getValue() << "\">\n";
  _out << "<IMG id=\"viewerImage\" class=\"fitted\" src=\"" << url.getValue() << "\" alt=\""
       << title.getValue() << "\">\n";
  _out << "<DIV class=\"viewerBar\"><A class=\"viewerButton\" id=\"downloadButton\" href=\""
       << url.getValue() << "\" download=\"" << GHtml::escape(file.getValue()).getValue()
       << ".jpg\">" << application.translate(_session, "BUTTON_DOWNLOAD") << "</A>"
       << "<SPAN class=\"viewerHelp\">" << application.translate(_session, "VIEWER_HELP")
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

void GInfoView::page_image_preview2(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (GRights::mayViewImage(_session, paramInt(_params, "Image.id"))) {
    writeImage(_out, _params, _contentType, "preview2");
  }
} M_RETHROW("void GInfoView::page_image_preview2(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
