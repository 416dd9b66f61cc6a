#include "views/GImageAcceptView.h"

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GRights.h"

namespace {

// A requested or remembered tab that is neither of the two counts as the images tab, so that
// no request can load another page into the lower frame.
int validTab(int _tab) {
  return _tab == GIds::TAB_WAITING_PUBLICATIONS ? GIds::TAB_WAITING_PUBLICATIONS
                                                : GIds::TAB_WAITING_IMAGES;
}

MString pageUrl(GSession& _session, int _page) {
  return MString::format("/?session=%s&page=%d&requestId=%d", GView::sessionInUrl(_session).getValue(),
                         _page, GApplication::get().nextRequestId());
}

}  // namespace

GImageAcceptView::GImageAcceptView() {}

GImageAcceptView::~GImageAcceptView() {}

bool GImageAcceptView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_IMAGE_ACCEPTANCE:
      frame_imageAccept(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_ACCEPTANCE_MENU: page_menu(_session, _out, _params, _contentType); return true;
    case GIds::TAB_WAITING_IMAGES: page_images(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_WAITING_IMAGE_DETAIL:
      page_single_image(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_WAITING_IMAGE_GRID:
      page_multiple_images(_session, _out, _params, _contentType);
      return true;
    case GIds::TAB_WAITING_PUBLICATIONS:
      page_folders(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_WAITING_PUBLICATION_DETAIL:
      page_folderAccept_single_image(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_WAITING_PUBLICATION_GRID:
      page_folderAccept_multiple_images(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GImageAcceptView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::frame_imageAccept(GSession& _session, MTextStream& _out, MList& _params,
                                         MString& _contentType) try {
  _session.viewState.setObject("tab_main", GIds::MODULE_IMAGE_ACCEPTANCE);
  if (!GRights::mayDecideOnImages(_session)) return;
  MObject* remembered = _session.viewState.getObject("ImageAccept.tab");
  int tab = remembered != nullptr ? validTab(toInt(remembered)) : GIds::TAB_WAITING_IMAGES;
  _session.viewState.setObject("ImageAccept.tab", tab);
  headStart(_out);
  _out << "</HEAD>\n" << "<FRAMESET rows=\"100,90%\" name=\"" << GIds::MODULE_IMAGE_ACCEPTANCE
       << "\" border=\"0\">\n";
  _out << "<FRAME name=\"menu\" src=\"" << pageUrl(_session, GIds::PAGE_ACCEPTANCE_MENU).getValue()
       << "\" noresize scrolling=\"no\"></frame>\n";
  _out << "<FRAME name=\"area\" src=\"" << pageUrl(_session, tab).getValue()
       << "\" noresize></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GImageAcceptView::frame_imageAccept(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_menu(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) return;
  GApplication& application = GApplication::get();
  int tab = GIds::TAB_WAITING_IMAGES;
  if (_params.getObject("ImageAccept.tab") != nullptr) {
    tab = validTab(paramInt(_params, "ImageAccept.tab"));
  } else if (_session.viewState.getObject("ImageAccept.tab") != nullptr) {
    tab = validTab(toInt(_session.viewState.getObject("ImageAccept.tab")));
  }
  _session.viewState.setObject("ImageAccept.tab", tab);

  standardHead(_session, _out);
  _out << "<BODY class=\"tab\">\n" << "<TABLE><TR class=\"pageTitle\"><TD>"
       << application.translate(_session, "TITLE_IMAGE_ACCEPTANCE") << "</TD></TR></TABLE>\n"
       << "<HR>\n" << "<TABLE>\n" << "<TR height=\"25\">\n";
  struct Tab {
    int page;
    const char* key;
  };
  const Tab tabs[] = {{GIds::TAB_WAITING_IMAGES, "TAB_USERS"},
                      {GIds::TAB_WAITING_PUBLICATIONS, "TAB_FOLDERS"}};
  for (const Tab& entry : tabs) {
    if (entry.page == tab) {
      _out << "<TD class=\"tabSelected\">\n";
    } else {
      MString tabUrl = pageUrl(_session, entry.page);
      MString menuUrl = MString::format("/?session=%s&page=%d&%s=%d&requestId=%d",
                                        GView::sessionInUrl(_session).getValue(),
                                        GIds::PAGE_ACCEPTANCE_MENU, "ImageAccept.tab",
                                        entry.page, application.nextRequestId());
      _out << "<TD" << " class=\"tab\" bgColor=\"#C0C0C0\"" << hover
           << "onClick=\"mouseClick2(this,parent.area,'" << tabUrl.getValue() << "',document,'"
           << menuUrl.getValue() << "')\">";
    }
    _out << application.translate(_session, entry.key) << "</TD>\n";
  }
  _out << "</TR>\n" << "</TABLE>\n" << "<HR>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GImageAcceptView::page_menu(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_images(GSession& _session, MTextStream& _out, MList& _params,
                                   MString& _contentType) try {
  imagePages.selector(GImageMember::WAITING_IMAGES, _session, _out, _params);
} M_RETHROW("void GImageAcceptView::page_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                                         MString& _contentType) try {
  imagePages.detail(GImageMember::WAITING_IMAGES, _session, _out, _params);
} M_RETHROW("void GImageAcceptView::page_single_image(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_multiple_images(GSession& _session, MTextStream& _out,
                                            MList& _params, MString& _contentType) try {
  imagePages.grid(GImageMember::WAITING_IMAGES, _session, _out, _params);
} M_RETHROW("void GImageAcceptView::page_multiple_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_folders(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  imagePages.selector(GImageMember::WAITING_PUBLICATIONS, _session, _out, _params);
} M_RETHROW("void GImageAcceptView::page_folders(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_folderAccept_single_image(GSession& _session, MTextStream& _out,
                                                      MList& _params, MString& _contentType) try {
  imagePages.detail(GImageMember::WAITING_PUBLICATIONS, _session, _out, _params);
} M_RETHROW("void GImageAcceptView::page_folderAccept_single_image(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GImageAcceptView::page_folderAccept_multiple_images(GSession& _session, MTextStream& _out,
                                                         MList& _params, MString& _contentType) try {
  imagePages.grid(GImageMember::WAITING_PUBLICATIONS, _session, _out, _params);
} M_RETHROW("void GImageAcceptView::page_folderAccept_multiple_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
