#include "views/GInfoView.h"

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GRights.h"

GInfoView::GInfoView() {}

GInfoView::~GInfoView() {}

bool GInfoView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case PAGE_INTRODUCTION: frame_introduction(_session, _out, _params, _contentType); return true;
    case PAGE_IMAGE_WINDOW: page_imageWindow(_session, _out, _params, _contentType); return true;
    case PAGE_ORIGINAL: page_image_original(_session, _out, _params, _contentType); return true;
    case PAGE_PREVIEW1: page_image_preview1(_session, _out, _params, _contentType); return true;
    case PAGE_PREVIEW2: page_image_preview2(_session, _out, _params, _contentType); return true;
    default: return false;
  }
} M_RETHROW("bool GInfoView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::frame_introduction(GSession& _session, MTextStream& _out, MList& _params,
                                   MString& _contentType) try {
  _session.viewState.setObject("tab_main", PAGE_INTRODUCTION);
  writeHtmlFile(_session, _out, "introduction.html");
} M_RETHROW("void GInfoView::frame_introduction(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_imageWindow(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  headStart(_out);
  _out << "<TITLE>" << GApplication::get().getServerTitle().getValue() << "</TITLE>\n"
       << "</HEAD>\n" << "<BODY style=\"margin=0\">\n";
  if (_params.getObject("Image.id") != nullptr &&
      GRights::mayDownloadImage(_session, paramInt(_params, "Image.id"))) {
    MString url = MString::format("/?session=%s&page=%d&Image.id=%d",
                                  GHtml::urlEncode(_session.id.getValue()).getValue(), PAGE_ORIGINAL,
                                  paramInt(_params, "Image.id"));
    _out << "<IMG src=\"" << url.getValue() << "\">\n";
  }
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
