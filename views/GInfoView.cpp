#include "views/GInfoView.h"

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"

namespace {

bool mayDownload(GSession& _session) {
  return _session.user.id >= 0 && _session.user.imageDownload;
}

}  // namespace

GInfoView::GInfoView() {}

GInfoView::~GInfoView() {}

bool GInfoView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case 600: frame_introduction(_session, _out, _params, _contentType); return true;
    case 601: page_imageWindow(_session, _out, _params, _contentType); return true;
    case 602: page_image_original(_session, _out, _params, _contentType); return true;
    case 603: page_image_preview1(_session, _out, _params, _contentType); return true;
    case 604: page_image_preview2(_session, _out, _params, _contentType); return true;
    default: return false;
  }
} M_RETHROW("bool GInfoView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::frame_introduction(GSession& _session, MTextStream& _out, MList& _params,
                                   MString& _contentType) try {
  _session.viewState.setObject("tab_main", 600);
  writeHtmlFile(_session, _out, "introduction.html");
} M_RETHROW("void GInfoView::frame_introduction(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_imageWindow(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  _out << "<HTML>\n" << "<HEAD>\n" << "<TITLE>"
       << GApplication::get().getServerTitle().getValue() << "</TITLE>\n" << "</HEAD>\n"
       << "<BODY style=\"margin=0\">\n";
  if (_params.getObject("Image.id") != nullptr && mayDownload(_session)) {
    MString url = MString::format("/?session=%s&page=%d&Image.id=%d",
                                  GHtml::urlEncode(_session.id.getValue()).getValue(), 602,
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
  if (mayDownload(_session)) writeImage(_out, _params, _contentType, "original");
} M_RETHROW("void GInfoView::page_image_original(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_image_preview1(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (_session.user.id >= 0) writeImage(_out, _params, _contentType, "preview1");
} M_RETHROW("void GInfoView::page_image_preview1(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GInfoView::page_image_preview2(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (_session.user.id >= 0) writeImage(_out, _params, _contentType, "preview2");
} M_RETHROW("void GInfoView::page_image_preview2(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
