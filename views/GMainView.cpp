#include "views/GMainView.h"

#include <cstring>

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GBookmark.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GMessage.h"
#include "views/GRights.h"

namespace {

// The entries of the main menu in the order they are written.
struct MenuEntry {
  int module;
  const char* key;
};

const MenuEntry menuEntries[] = {
    {GIds::MODULE_INTRODUCTION, "MENU_INTRODUCTION"},
    {GIds::MODULE_IMAGE_FOLDERS, "MENU_IMAGE_FOLDERS"},
    {GIds::MODULE_SEARCH, "MENU_SEARCH_IMAGES"},
    {GIds::MODULE_MY_INFORMATION, "MENU_MY_INFORMATION"},
    {GIds::MODULE_IMAGE_ACCEPTANCE, "MENU_IMAGE_ACCEPTANCE"},
    {GIds::MODULE_USER_ADMINISTRATION, "MENU_USER_ADMINISTRATION"},
    {GIds::MODULE_FOLDER_ADMINISTRATION, "MENU_FOLDER_ADMINISTRATION"},
    {GIds::MODULE_SERVER_STATUS, "MENU_SERVER_STATUS"},
};

bool showsEntry(GSession& _session, int _module) {
  switch (_module) {
    case GIds::MODULE_MY_INFORMATION: return GRights::hasOwnAccount(_session);
    case GIds::MODULE_IMAGE_ACCEPTANCE: return GRights::mayDecideOnImages(_session);
    case GIds::MODULE_USER_ADMINISTRATION: return GRights::mayAdministerUsers(_session);
    case GIds::MODULE_FOLDER_ADMINISTRATION: return GRights::mayAdministerFolders(_session);
    case GIds::MODULE_SERVER_STATUS: return GRights::maySeeServerStatus(_session);
    default: return true;
  }
}

}  // namespace

const char* const GMainView::LOGIN_STATE = "login";
const char* const GMainView::LOGIN_FAILED = "failed";
const char* const GMainView::LOGIN_THROTTLED = "throttled";
const char* const GMainView::LOGIN_BUSY = "busy";
const char* const GMainView::LOGGED_OUT = "loggedout";
const char* const GMainView::EXPIRED = "expired";
const char* const GMainView::GUEST_LOGIN = "guest";
const char* const GMainView::ENTERED = "entered";

GMainView::GMainView() {}

GMainView::~GMainView() {}

bool GMainView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::PAGE_MAIN: frame_main(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_SUBMAIN: frame_submain(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_TITLE: page_main_title(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_TOP_MENU: page_top_menu(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_MAIN_MENU: page_main_menu(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_MAIN_AREA: frame_main_area(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_STATUS_BAR:
      page_main_statusbar(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GMainView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

int GMainView::currentModule(GSession& _session, MList& _params) {
  if (_params.getObject("tab_main") != nullptr) return paramInt(_params, "tab_main");
  MObject* remembered = _session.viewState.getObject("tab_main");
  if (remembered != nullptr) return toInt(remembered);
  _session.viewState.setObject("tab_main", GIds::MODULE_INTRODUCTION);
  return GIds::MODULE_INTRODUCTION;
}

void GMainView::frame_main(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType) try {
  GApplication& application = GApplication::get();
  // With the script: the top document fits the frames to a phone's screen.
  standardHead(_session, _out);
  _out << "<FRAMESET rows=\"100%\" name=\"main\" border=\"0\"";
  MList param(_params);
  forgetAction(param);
  if (param.getObject(ENTERED) != nullptr) {
    // The history keeps the plain address, which the cookie alone brings back to the
    // session: neither the login request nor the session's identifier stands in it.
    param.deleteObject(ENTERED);
    _out << " onLoad=\"history.replaceState(null,'','" << GBookmark::address(param).getValue()
         << "')\"";
  }
  _out << ">\n";
  param.setObject("page", GIds::PAGE_SUBMAIN);
  param.setObject("requestId", application.nextRequestId());
  _out << "<FRAME name=\"submain\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize scrolling=\"no\"></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::frame_main(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::frame_submain(GSession& _session, MTextStream& _out, MList& _params,
                              MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) {
    page_login(_session, _out, _params, _contentType);
    return;
  }
  GApplication& application = GApplication::get();
  MList param(_params);
  forgetAction(param);
  // A plain address of a folder or a picture opens the frames there; then it is done.
  GBookmark::open(_session, param);
  for (const char* name : {GBookmark::FOLDER, GBookmark::IMAGE}) {
    if (param.getObject(name) != nullptr) param.deleteObject(name);
  }
  param.setObject("requestId", application.nextRequestId());
  headStart(_out);
  _out << "<TITLE>" << application.getServerTitle().getValue() << "</TITLE>\n" << "</HEAD>\n";
  _out << "<FRAMESET rows=\"80,29,70%,29\" name=\"main_frame\" border=\"0\">\n";
  param.setObject("page", GIds::PAGE_TITLE);
  _out << "<FRAME name=\"title\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize scrolling=\"no\"></frame>\n";
  param.setObject("page", GIds::PAGE_TOP_MENU);
  _out << "<FRAME name=\"menu\" src=\"" << getUrl(_session, param).getValue()
       << "\" marginheight=\"2\" noresize scrolling=\"no\"></frame>\n";
  param.setObject("page", GIds::PAGE_MAIN_AREA);
  _out << "<FRAME name=\"area\" src=\"" << getUrl(_session, param).getValue() << "\"></frame>\n";
  param.setObject("page", GIds::PAGE_STATUS_BAR);
  _out << "<FRAME name=\"statusbar\" src=\"" << getUrl(_session, param).getValue()
       << "\" marginheight=\"2\" noresize scrolling=\"no\"></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::frame_submain(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::page_main_title(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) return;
  standardHead(_session, _out);
  _out << "<BODY class=\"title\">\n";
  // While an administrator works as another user, every page says so and offers the way
  // back; the log-out of such a session returns to the administrator's own.
  if (_session.returnSessionId.getLength() > 0) {
    GApplication& application = GApplication::get();
    MString name = GHtml::escape(_session.user.firstname.getValue());
    name += " ";
    name += GHtml::escape(_session.user.lastname.getValue());
    name += " (";
    name += GHtml::escape(_session.user.username.getValue());
    name += ")";
    MString url = MString::format("/?session=%s&page=%d&action=%d&requestId=%d",
                                  sessionInUrl(_session).getValue(), GIds::PAGE_SUBMAIN,
                                  GIds::ACTION_LOG_OUT,
                                  application.nextRequestId());
    _out << "<TABLE class=\"actingBanner\" id=\"actingBanner\"><TR>\n<TD>"
         << application.translate(_session, "MESSAGE_ACTING_AS") << " <B>" << name.getValue()
         << "</B></TD>\n"
         << "<TD class=\"pageButton\" id=\"backToAccount\"" << hover
         << "onClick=\"mouseClick(this,parent,'" << url.getValue() << "')\">"
         << application.translate(_session, "BUTTON_BACK_TO_MY_ACCOUNT") << "</TD>\n"
         << "</TR></TABLE>\n";
  }
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::page_main_title(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::page_top_menu(GSession& _session, MTextStream& _out, MList& _params,
                              MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) return;
  GApplication& application = GApplication::get();
  standardHead(_session, _out);
  _out << "<BODY class=\"topBar\">\n" << "<TABLE width=\"100%\">\n" << "<TR>\n"
       << "<TD width=\"15\"> </TD>\n";
  _out << "<TD class=\"topBar\">" << GHtml::escape(_session.user.firstname.getValue()).getValue()
       << " " << GHtml::escape(_session.user.lastname.getValue()).getValue() << "</TD>\n"
       << "<TD> </TD>\n";
  MString language = GHtml::urlEncode(application.getPageLanguage(_session));
  _out << "<TD class=\"topBar\" width=\"100\" align=\"center\"" << hover << "onClick=\"openWindow('/"
       << language.getValue() << "/User_manual_1_0.pdf')\"" << ">"
       << application.translate(_session, "MENU_HELP") << "</TD>\n";
  MString url = MString::format("/?session=%s&page=%d&action=%d&requestId=%d",
                                GHtml::urlEncode(_session.id.getValue()).getValue(),
                                GIds::PAGE_SUBMAIN, GIds::ACTION_LOG_OUT,
                                application.nextRequestId());
  _out << "<TD class=\"topBar\" width=\"100\" align=\"center\"" << hover
       << "onClick=\"mouseClick(this,parent,'" << url.getValue() << "')\"" << ">"
       << application.translate(_session, "MENU_LOGOUT") << "</TD>\n";
  _out << "</TR>\n" << "</TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::page_top_menu(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::page_main_menu(GSession& _session, MTextStream& _out, MList& _params,
                               MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) return;
  GApplication& application = GApplication::get();
  int current = currentModule(_session, _params);
  standardHead(_session, _out);
  _out << "<BODY class=\"menu\">\n" << "<TABLE class=\"menu\" cellspacing=\"0\">\n";
  _params.setObject("requestId", application.nextRequestId());
  for (const MenuEntry& entry : menuEntries) {
    if (!showsEntry(_session, entry.module)) continue;
    if (entry.module == current) {
      _out << "<TR class=\"menuSelected\">\n";
    } else {
      _params.setObject("page", GIds::PAGE_MAIN_MENU);
      _params.setObject("tab_main", entry.module);
      MString menuUrl = getUrl(_session, _params);
      _params.setObject("page", entry.module);
      MString moduleUrl = getUrl(_session, _params);
      _out << "<TR class=\"menu\"" << hover << "onClick=\"mouseClick2(this,parent.right,'"
           << moduleUrl.getValue() << "',document,'" << menuUrl.getValue() << "')\">\n";
    }
    _out << "<TD width=\"25\" align=\"center\"><IMG src=\"/images/ball.gif\"/></TD><TD>"
         << application.translate(_session, entry.key) << "</TD></TR>\n";
  }
  _out << "<TR><TD></TD></TR>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::page_main_menu(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::frame_main_area(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) return;
  GApplication& application = GApplication::get();
  int current = currentModule(_session, _params);
  _session.viewState.setObject("tab_main", current);
  headStart(_out);
  _out << "</HEAD>\n" << "<FRAMESET cols=\"25%,75%\" border=\"0\">\n";
  MList param(_params);
  forgetAction(param);
  param.setObject("requestId", application.nextRequestId());
  param.setObject("page", GIds::PAGE_MAIN_MENU);
  _out << "<FRAME name=\"left\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize></frame>\n";
  param.setObject("page", current);
  _out << "<FRAME name=\"right\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::frame_main_area(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::page_main_statusbar(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (!GRights::isLoggedIn(_session)) return;
  GApplication& application = GApplication::get();
  standardHead(_session, _out);
  _out << "<BODY class=\"statusBar\">\n" << "<TABLE width=\"100%\">\n" << "<TR>\n";
  MList& languages = application.getLanguages();
  for (MItem* item = languages.getFirstItem(); item != nullptr;
       item = languages.getNextItem(item)) {
    MString code = item->key->toString();
    if (code == _session.language) continue;
    MString url = MString::format("/?session=%s&page=%d&requestId=%d&action=%d&language=%s",
                                  GHtml::urlEncode(_session.id.getValue()).getValue(),
                                  GIds::PAGE_MAIN, application.nextRequestId(),
                                  GIds::ACTION_CHANGE_LANGUAGE,
                                  GHtml::urlEncode(code.getValue()).getValue());
    _out << "<TD class=\"statusBar\" width=\"80\"" << hover << "onClick=\"mouseClick(this,parent,'"
         << url.getValue() << "')\"" << ">" << item->object->toString().getValue() << "</TD>\n";
  }
  _out << "<TD></TD>\n";
  _out << "<TD width=\"300\" class=\"statusBar\" align=\"center\" " << hover << ">"
       << application.getServerTitle().getValue() << "</TD>\n";
  _out << "</TR>\n" << "</TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::page_main_statusbar(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::page_login(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType) try {
  GApplication& application = GApplication::get();
  standardHead(_session, _out);
  _out << "<BODY class=\"login\" onLoad=\"document.Login.username.focus();\">\n";
  // Posted, so that the user name and the password travel in the body, never in a URL
  // (browser history, proxy logs). The URL holds only what every link holds.
  MString session = GHtml::urlEncode(_session.id.getValue());
  // The plain address of a folder or a picture that led here goes on to the frames.
  MString url = MString::format("/?session=%s&page=%d&action=%d&requestId=%d&%s=%d%s",
                                session.getValue(), GIds::PAGE_SUBMAIN, GIds::ACTION_LOGIN,
                                application.nextRequestId(), "tab_main", GIds::MODULE_INTRODUCTION,
                                GBookmark::carried(_params).getValue());
  _out << "<FORM style=\"margin-bottom: 0; vertical-align: middle; horizontal-align: center;\" "
          "name=\"Login\" method=\"POST\" action=\""
       << url.getValue()
       << "\" enctype=\"application/x-www-form-urlencoded\" autocomplete=\"off\">\n";
  _out << "<TABLE align=\"center\" border=\"0\" cellspacing=\"0\" height=\"100%\">\n"
       << "<TR><TD> <TD></TR>\n"
       << "<TR class=\"loginCaption\"><TD width=\"10\"></TD>\n"
       << "<TD align=\"center\">Vistrel</TD>"
       << "<TD width=\"10\"></TD></TR>\n"
       << "<TR height=\"110\" class=\"loginCanvas\" ><TD width=\"10\"> </TD><TD>\n";
  _out << "<TABLE align=\"center\">\n";
  _out << "<TR height=\"25\">\n" << "<TD class=\"loginLabel\">"
       << application.translate(_session, "LABEL_USERNAME") << "</TD>\n" << "</TR>\n";
  _out << "<TR height=\"30\">\n"
       << "<TD><INPUT class=\"loginValue\" type=\"text\" size=\"50\" name=\"username\"></TD>\n"
       << "</TR>\n";
  _out << "<TR height=\"25\">\n" << "<TD width=\"120\" class=\"loginLabel\">"
       << application.translate(_session, "LABEL_PASSWORD") << "</TD>\n" << "</TR>\n";
  _out << "<TR height=\"30\">\n"
       << "<TD><INPUT class=\"loginValue\" type=\"password\" size=\"50\" name=\"password\"></TD>\n"
       << "</TR>\n";
  // Why the page is shown again: one text for every refused login (unknown name, disabled
  // account, wrong password), so that the answer does not tell which names exist.
  // After a log-out or an expired session, it says so, so that nobody takes the empty form
  // for a fault.
  struct State {
    const char* name;
    const char* key;
    const char* kind;
  };
  const State states[] = {
      {LOGIN_FAILED, "MESSAGE_LOGIN_FAILED", GMessage::REFUSED},
      {LOGIN_THROTTLED, "MESSAGE_LOGIN_THROTTLED", GMessage::REFUSED},
      {LOGIN_BUSY, "MESSAGE_LOGIN_BUSY", GMessage::REFUSED},
      {LOGGED_OUT, "MESSAGE_LOGGED_OUT", GMessage::NOTE},
      {EXPIRED, "MESSAGE_SESSION_EXPIRED", GMessage::NOTE},
  };
  MString state = paramText(_params, LOGIN_STATE);
  for (const State& known : states) {
    if (state != known.name) continue;
    _out << "<TR height=\"25\">\n" << "<TD class=\"loginMessage\">";
    GMessage::line(_session, _out, known.kind, known.key);
    _out << "</TD>\n" << "</TR>\n";
  }
  _out << "</TABLE>\n" << "</TD><TD width=\"10\"> </TD></TR>\n";
  _out << "<TR height=\"40\"  class=\"loginCanvas\"><TD width=\"10\"> </TD><TD>\n"
       << "<TABLE align=\"center\">\n" << "<TR>\n";
  _out << "<TD class=\"loginButton\" bgColor=\"#808080\"" << hover << "onClick=\"login(this)\">"
       << application.translate(_session, "BUTTON_LOGIN") << "</TD>\n";
  GUser guest;
  if (application.getDatabase().getUser(GRights::guestAccountId, guest) >= 0 && guest.enabled) {
    // The button is the guest account's key: it names no user and carries no password.
    MString guestUrl =
        MString::format("/?session=%s&page=%d&action=%d&requestId=%d&%s=%d&%s=1",
                        session.getValue(), GIds::PAGE_SUBMAIN, GIds::ACTION_LOGIN,
                        application.nextRequestId(), "tab_main", GIds::MODULE_INTRODUCTION,
                        GUEST_LOGIN);
    _out << "<TD class=\"loginButton\" bgColor=\"#808080\"" << hover
         << "onClick=\"mouseClick(this,parent.submain,'" << guestUrl.getValue() << "')\">"
         << application.translate(_session, "BUTTON_GUEST_LOGIN") << "</TD>\n";
  }
  _out << "</TR>\n" << "</TABLE></TD><TD width=\"10\"> </TD><TR>\n" << "<TR><TD> <TD></TR>\n"
       << "</TABLE>\n" << "</FORM>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GMainView::page_login(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GMainView::breakOut(MTextStream& _out, const char* _state) {
  // Only a known state goes into the script, never a text from the request.
  const char* state = strcmp(_state, EXPIRED) == 0 ? EXPIRED : LOGGED_OUT;
  _out << "<HTML><BODY onLoad=\"top.location.replace('/?" << LOGIN_STATE << "=" << state
       << "');\"></BODY></HTML>\n";
}
