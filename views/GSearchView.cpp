#include "views/GSearchView.h"

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"

namespace {

// A page of the module with a fresh request number.
MString pageUrl(GSession& _session, int _page) {
  return MString::format("/?session=%s&page=%d&requestId=%d", GView::sessionInUrl(_session).getValue(),
                         _page, GApplication::get().nextRequestId());
}

void hiddenField(MTextStream& _out, const char* _name, const char* _value) {
  _out << "<INPUT name=\"" << _name << "\" value=\"" << GHtml::escape(_value).getValue()
       << "\" type=\"hidden\">\n";
}

}  // namespace

GSearchView::GSearchView() {}

GSearchView::~GSearchView() {}

bool GSearchView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                  MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_SEARCH: frame_search(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_SEARCH_FORM: page_search(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_SEARCH_RESULT: page_images(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_SEARCH_RESULT_GRID:
      page_multiple_images(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_SEARCH_RESULT_DETAIL:
      page_single_image(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GSearchView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GSearchView::frame_search(GSession& _session, MTextStream& _out, MList& _params,
                               MString& _contentType) try {
  _session.viewState.setObject("tab_main", GIds::MODULE_SEARCH);
  headStart(_out);
  _out << "</HEAD>\n" << "<FRAMESET rows=\"140,80%\" name=\"" << GIds::MODULE_SEARCH
       << "\" border=\"0\">\n";
  _out << "<FRAME name=\"menu\" src=\"" << pageUrl(_session, GIds::PAGE_SEARCH_FORM).getValue()
       << "\" noresize scrolling=\"no\"></FRAME>\n";
  _out << "<FRAME name=\"area\" src=\"" << pageUrl(_session, GIds::PAGE_SEARCH_RESULT).getValue()
       << "\" noresize></FRAME>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GSearchView::frame_search(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GSearchView::page_search(GSession& _session, MTextStream& _out, MList& _params,
                              MString& _contentType) try {
  GApplication& application = GApplication::get();
  MObject* remembered = _session.viewState.getObject("Search.words");
  MString words = remembered != nullptr ? remembered->toString() : MString();

  standardHead(_session, _out);
  _out << "<BODY style=\"font-family: Arial;\" onLoad=\"document.Search.words.focus();\">\n"
       << "<TABLE><TR class=\"pageTitle\"><TD>"
       << application.translate(_session, "MENU_SEARCH_IMAGES") << "</TD></TR></TABLE>\n";
  _out << "<FORM name=\"Search\" class=\"input\" method=\"GET\" action=\"/\" target=\"_parent\">\n";
  // Submitting with the Enter key sends these fields and the words: the same search as the
  // button. Each is a field of its own, since the browser encodes a field's "&" and "=" and
  // the parser splits the query before it decodes.
  hiddenField(_out, "session", _session.id.getValue());
  hiddenField(_out, "page", MString::format("%d", GIds::MODULE_SEARCH).getValue());
  hiddenField(_out, "action", MString::format("%d", GIds::ACTION_SEARCH).getValue());
  hiddenField(_out, "requestId", MString::format("%d", application.nextRequestId()).getValue());
  _out << "<HR>\n" << "<TABLE width=\"100%\">\n" << "<TR>\n"
       << "<TD width=\"120\" class=\"searchLabel\">"
       << application.translate(_session, "LABEL_SEARCH_WORDS") << "</TD>\n"
       << "<TD><INPUT class=\"searchValue\" type=\"text\" style=\"width:99%;\" name=\"words\" value=\""
       << GHtml::escape(words.getValue()).getValue() << "\">\n"
       << "</TR>\n" << "</TABLE>\n" << "<HR>\n";
  MString url = MString::format("/?session=%s&page=%d&action=%d&requestId=%d",
                                GView::sessionInUrl(_session).getValue(), GIds::MODULE_SEARCH,
                                GIds::ACTION_SEARCH, application.nextRequestId());
  _out << "<TABLE>\n" << "<TR>\n"
       << "<TD class=\"pageButton\" id=\"searchButton\" bgColor=\"#808080\" width=\"100\"" << hover
       << "onClick=\"search(this,parent,'" << url.getValue() << "')\"+ >"
       << application.translate(_session, "BUTTON_SEARCH") << "</TD>\n"
       << "</TR>\n" << "</TABLE>\n" << "<HR>\n";
  _out << "</FORM>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GSearchView::page_search(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GSearchView::page_images(GSession& _session, MTextStream& _out, MList& _params,
                              MString& _contentType) try {
  imagePages.selector(GImageMember::SEARCH_RESULT, _session, _out, _params);
} M_RETHROW("void GSearchView::page_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GSearchView::page_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) try {
  imagePages.grid(GImageMember::SEARCH_RESULT, _session, _out, _params);
} M_RETHROW("void GSearchView::page_multiple_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GSearchView::page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  imagePages.detail(GImageMember::SEARCH_RESULT, _session, _out, _params);
} M_RETHROW("void GSearchView::page_single_image(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
