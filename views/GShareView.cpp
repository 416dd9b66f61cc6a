#include "views/GShareView.h"

#include <ctime>

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GShareLink.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GMessage.h"
#include "views/GRights.h"

namespace {

const char* text(GSession& _session, const char* _key) {
  return GApplication::get().translate(_session, _key);
}

// A time as the lists show it, in the server's time zone; empty for 0.
MString when(unsigned int _time, bool _withClock) {
  if (_time == 0) return MString();
  time_t t = (time_t)_time;
  struct tm local;
  localtime_r(&t, &local);
  char buffer[32];
  strftime(buffer, sizeof buffer, _withClock ? "%Y-%m-%d %H:%M" : "%Y-%m-%d", &local);
  return MString(buffer);
}

// What a link shows, by its kind: the folder's or the picture's name (escaped); empty when
// it is gone.
MString shownName(const GShareLink& _link) {
  GDatabase& database = GApplication::get().getDatabase();
  if (_link.kind == GShareLink::FOLDER) {
    GFolder folder;
    if (database.getFolder(_link.target, folder) < 0) return MString();
    return GHtml::escape(folder.name.getValue());
  }
  GImage image;
  if (database.getImage(_link.target, image) < 0) return MString();
  return image.name.getLength() > 0 ? GHtml::escape(image.name.getValue())
                                    : MString::format("%07d", image.id);
}

// Whether the session may make a link of _kind to _target; the target's name (escaped) in
// _name.
bool mayShare(GSession& _session, int _kind, int _target, MString& _name) {
  GDatabase& database = GApplication::get().getDatabase();
  if (_kind == GShareLink::FOLDER) {
    GFolder folder;
    if (database.getFolder(_target, folder) < 0 || !GRights::mayShareFolder(_session, folder)) {
      return false;
    }
    _name = folder.name;
    return true;
  }
  GImage image;
  if (_kind != GShareLink::PICTURE || database.getImage(_target, image) < 0 ||
      !GRights::mayShareImage(_session, image)) {
    return false;
  }
  _name = image.name.getLength() > 0 ? image.name : MString::format("%07d", image.id);
  return true;
}

const char* yesNo(GSession& _session, bool _yes) {
  return text(_session, _yes ? "BUTTON_YES" : "BUTTON_NO");
}

}  // namespace

GShareView::GShareView() {}

GShareView::~GShareView() {}

bool GShareView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::TAB_MY_LINKS: page_links(_session, _out, _params); return true;
    case GIds::PAGE_SHARE_FORM: page_form(_session, _out, _params); return true;
    case GIds::PAGE_END_LINK: page_end(_session, _out, _params); return true;
    default: return false;
  }
} M_RETHROW("bool GShareView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GShareView::shareEntry(GSession& _session, MTextStream& _out, int _kind, int _target) {
  MString name;
  if (!mayShare(_session, _kind, _target, name)) return;
  _out << "<P><A href=\"/?session=" << sessionInUrl(_session).getValue()
       << "&amp;page=" << GIds::PAGE_SHARE_FORM << "&amp;Link.kind=" << _kind
       << "&amp;Link.target=" << _target
       << "\" target=\"_blank\" rel=\"noopener\" class=\"shareEntry\" id=\"shareEntry\">"
       << text(_session, "BUTTON_SHARE") << "</A></P>\n";
}

void GShareView::shareShownImage(GSession& _session, MTextStream& _out,
                                 const char* _imageKey) {
  MObject* shown = _imageKey != nullptr ? _session.viewState.getObject(_imageKey) : nullptr;
  if (shown != nullptr) shareEntry(_session, _out, GShareLink::PICTURE, toInt(shown));
}

void GShareView::head(GSession& _session, MTextStream& _out) {
  headStart(_out);
  javaScript(_session, _out);
  _out << "<LINK rel=\"stylesheet\" href=\"/link.css\">\n"
       << "<SCRIPT src=\"/link.js\" defer></SCRIPT>\n"
       << "</HEAD>\n";
}

void GShareView::addressField(MTextStream& _out, const MString& _path, const char* _copy) {
  // The script makes the path a whole address (the server does not know under which name
  // the browser reaches it) and copies it.
  _out << "<INPUT type=\"text\" readonly class=\"linkAddress\" size=\"40\" value=\""
       << GHtml::escape(_path.getValue()).getValue() << "\">"
       << "<BUTTON type=\"button\" class=\"linkCopy\">" << _copy << "</BUTTON>";
}

void GShareView::page_form(GSession& _session, MTextStream& _out, MList& _params) try {
  int kind = paramInt(_params, "Link.kind");
  int target = paramInt(_params, "Link.target");
  MString name;
  if (!mayShare(_session, kind, target, name)) return;
  GApplication& application = GApplication::get();
  head(_session, _out);
  _out << "<BODY class=\"shareForm\">\n<TABLE><TR class=\"dialogTitle\"><TD>"
       << text(_session, kind == GShareLink::FOLDER ? "TITLE_SHARE_FOLDER" : "TITLE_SHARE_PICTURE")
       << ": " << GHtml::escape(name.getValue()).getValue() << "</TD></TR></TABLE>\n<HR>\n";
  GMessage::write(_session, _out, _params);

  // The link just made: its address to copy.
  GShareLink made;
  if (_params.getObject("Link.made") != nullptr &&
      application.getDatabase().getShareLink(paramInt(_params, "Link.made"), made) >= 0 &&
      GRights::mayManageLink(_session, made)) {
    _out << "<P id=\"linkMade\">";
    addressField(_out, MString::format("/s/%s", made.tokenText().getValue()), text(_session, "BUTTON_COPY"));
    _out << "</P>\n<HR>\n";
  }

  int days = application.getLinkDefaultDays();
  _out << "<FORM method=\"post\" action=\"/\" name=\"Link\">\n"
       << "<INPUT type=\"hidden\" name=\"session\" value=\"" << sessionInUrl(_session).getValue()
       << "\">\n<INPUT type=\"hidden\" name=\"page\" value=\"" << GIds::PAGE_SHARE_FORM
       << "\">\n<INPUT type=\"hidden\" name=\"action\" value=\"" << GIds::ACTION_MAKE_LINK
       << "\">\n<INPUT type=\"hidden\" name=\"requestId\" value=\""
       << application.nextRequestId() << "\">\n<INPUT type=\"hidden\" name=\"Link.kind\" value=\""
       << kind << "\">\n<INPUT type=\"hidden\" name=\"Link.target\" value=\"" << target
       << "\">\n<TABLE>\n";
  _out << "<TR><TD class=\"userAttribute\">" << text(_session, "LABEL_LINK_NAME")
       << "</TD><TD><INPUT type=\"text\" name=\"Link.name\" maxlength=\"39\" value=\""
       << GHtml::escape(name.getValue()).getValue() << "\"></TD></TR>\n";
  _out << "<TR><TD class=\"userAttribute\">" << text(_session, "LABEL_LINK_EXPIRES")
       << "</TD><TD><SELECT name=\"Link.expiry\">";
  struct Choice {
    int days;
    const char* key;
  };
  const Choice choices[] = {{0, "LINK_NEVER"}, {1, "LINK_ONE_DAY"}, {7, "LINK_SEVEN_DAYS"},
                            {30, "LINK_THIRTY_DAYS"}};
  bool listed = false;
  for (const Choice& choice : choices) {
    listed = listed || choice.days == days;
    _out << "<OPTION value=\"" << choice.days << "\"" << (choice.days == days ? " selected" : "")
         << ">" << text(_session, choice.key) << "</OPTION>";
  }
  // A configured default that is none of the choices is offered as it is.
  if (!listed) {
    _out << "<OPTION value=\"" << days << "\" selected>" << days << " "
         << text(_session, "LINK_DAYS") << "</OPTION>";
  }
  _out << "<OPTION value=\"date\">" << text(_session, "LINK_ON_DATE") << "</OPTION></SELECT> "
       << "<INPUT type=\"date\" name=\"Link.date\"></TD></TR>\n";
  GShareLink withOriginals;
  withOriginals.originals = true;
  if (GRights::linkAllowsOriginals(_session.user, withOriginals)) {
    _out << "<TR><TD class=\"userAttribute\">" << text(_session, "LABEL_LINK_ORIGINALS")
         << "</TD><TD><INPUT type=\"checkbox\" name=\"Link.originals\" value=\"1\"></TD></TR>\n";
  }
  _out << "<TR><TD class=\"userAttribute\">" << text(_session, "LABEL_LINK_PASSWORD")
       << "</TD><TD><INPUT type=\"password\" name=\"Link.password\" autocomplete=\"new-password\">"
       << "</TD></TR>\n";
  if (kind == GShareLink::FOLDER) {
    _out << "<TR><TD class=\"userAttribute\">" << text(_session, "LABEL_LINK_CONTRIBUTIONS")
         << "</TD><TD><INPUT type=\"checkbox\" name=\"Link.contributions\" value=\"1\"></TD></TR>\n";
  }
  _out << "</TABLE>\n<P><INPUT type=\"submit\" id=\"makeLink\" value=\""
       << text(_session, "BUTTON_MAKE_LINK") << "\"></P>\n</FORM>\n";
  _out << "<P><A href=\"/?session=" << sessionInUrl(_session).getValue() << "&amp;page="
       << GIds::TAB_MY_LINKS << "\">" << text(_session, "TAB_MY_LINKS") << "</A></P>\n";
  _out << "</BODY>\n</HTML>\n";
} M_RETHROW("void GShareView::page_form(GSession& _session,MTextStream& _out,MList& _params)")

void GShareView::page_links(GSession& _session, MTextStream& _out, MList& _params) try {
  if (!GRights::hasOwnAccount(_session)) return;
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  bool all = GRights::mayManageAllLinks(_session);
  MList links;
  database.getShareLinks(all ? -1 : _session.user.id, links);
  head(_session, _out);
  _out << "<BODY class=\"shareLinks\">\n";
  GMessage::write(_session, _out, _params);
  if (links.getLength() == 0) {
    GMessage::line(_session, _out, GMessage::EMPTY, "MESSAGE_NO_LINKS");
    _out << "</BODY>\n</HTML>\n";
    return;
  }
  const char* headings[] = {"LINK_SHOWS",     "LINK_MADE",          "LINK_EXPIRES",
                            "LINK_PASSWORD",  "LINK_DOWNLOADS",     "LINK_CONTRIBUTIONS",
                            "LINK_OPENED",    "LINK_LAST_OPENED",   "LINK_ADDRESS"};
  _out << "<TABLE class=\"linkTable\" id=\"linkTable\">\n<TR>";
  if (all) _out << "<TH>" << text(_session, "LINK_MAKER") << "</TH>";
  for (const char* heading : headings) _out << "<TH>" << text(_session, heading) << "</TH>";
  _out << "<TH></TH></TR>\n";
  unsigned int now = (unsigned int)time(nullptr);
  // The newest first.
  for (MItem* item = links.getLastItem(); item != nullptr; item = links.getPrevItem(item)) {
    GShareLink* link = dynamic_cast<GShareLink*>(item->object);
    if (link == nullptr) continue;
    _out << "<TR id=\"link" << link->id << "\">";
    if (all) {
      GUser maker;
      _out << "<TD>"
           << (database.getUser(link->maker, maker) >= 0 ? personName(maker) : MString())
                  .getValue()
           << "</TD>";
    }
    MString shown = shownName(*link);
    _out << "<TD>"
         << text(_session, link->kind == GShareLink::FOLDER ? "LINK_KIND_FOLDER"
                                                            : "LINK_KIND_PICTURE")
         << ": " << shown.getValue();
    if (link->name.getLength() > 0) {
      _out << " (" << GHtml::escape(link->name.getValue()).getValue() << ")";
    }
    _out << "</TD><TD>" << when(link->created, false).getValue() << "</TD><TD>";
    if (link->state != GShareLink::LIVE) {
      _out << text(_session, "LINK_STATE_ENDED");
    } else if (link->expires == 0) {
      _out << text(_session, "LINK_NEVER");
    } else {
      _out << when(link->expires, true).getValue();
      if (!link->isOpen(now)) _out << " (" << text(_session, "LINK_STATE_EXPIRED") << ")";
    }
    _out << "</TD><TD>" << yesNo(_session, link->hasPassword()) << "</TD><TD>"
         << yesNo(_session, link->originals) << "</TD><TD>"
         << yesNo(_session, link->contributions) << "</TD><TD>" << link->opened << "</TD><TD>"
         << when(link->lastOpened, true).getValue() << "</TD><TD>";
    if (link->state == GShareLink::LIVE) {
      addressField(_out, MString::format("/s/%s", link->tokenText().getValue()), text(_session, "BUTTON_COPY"));
    }
    _out << "</TD><TD>";
    if (link->state == GShareLink::LIVE && GRights::mayManageLink(_session, *link)) {
      _out << "<A class=\"linkExtend\" href=\"/?session=" << sessionInUrl(_session).getValue()
           << "&amp;page=" << GIds::TAB_MY_LINKS << "&amp;action=" << GIds::ACTION_EXTEND_LINK
           << "&amp;requestId=" << application.nextRequestId() << "&amp;Link.id=" << link->id
           << "\">" << text(_session, "BUTTON_EXTEND") << "</A> "
           << "<A class=\"linkEnd\" href=\"/?session=" << sessionInUrl(_session).getValue()
           << "&amp;page=" << GIds::PAGE_END_LINK << "&amp;Link.id=" << link->id << "\">"
           << text(_session, "BUTTON_END") << "</A>";
    }
    _out << "</TD></TR>\n";
  }
  _out << "</TABLE>\n</BODY>\n</HTML>\n";
} M_RETHROW("void GShareView::page_links(GSession& _session,MTextStream& _out,MList& _params)")

void GShareView::page_end(GSession& _session, MTextStream& _out, MList& _params) try {
  GApplication& application = GApplication::get();
  GShareLink link;
  if (application.getDatabase().getShareLink(paramInt(_params, "Link.id"), link) < 0 ||
      !GRights::mayManageLink(_session, link)) {
    return;
  }
  head(_session, _out);
  MString shown = shownName(link);
  _out << "<BODY>\n<TABLE><TR class=\"dialogTitle\"><TD>" << text(_session, "TITLE_END_LINK")
       << "</TD></TR></TABLE>\n<HR>\n<P class=\"dialogText\">"
       << text(_session, "QUESTION_END_LINK") << " " << shown.getValue() << "?</P><HR>\n";
  _out << "<P><A class=\"linkEnd\" id=\"endYes\" href=\"/?session="
       << sessionInUrl(_session).getValue() << "&amp;page=" << GIds::TAB_MY_LINKS
       << "&amp;action=" << GIds::ACTION_END_LINK << "&amp;requestId="
       << application.nextRequestId() << "&amp;Link.id=" << link.id << "\">"
       << text(_session, "BUTTON_YES") << "</A> <A href=\"/?session="
       << sessionInUrl(_session).getValue() << "&amp;page=" << GIds::TAB_MY_LINKS << "\">"
       << text(_session, "BUTTON_NO") << "</A></P>\n</BODY>\n</HTML>\n";
} M_RETHROW("void GShareView::page_end(GSession& _session,MTextStream& _out,MList& _params)")
