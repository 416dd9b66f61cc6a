#include "views/GRights.h"
#include "views/GUserAdminView.h"

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GMessage.h"
#include "views/GUserFormMessage.h"

namespace {

const char* const buttonStart = "<TD bgColor=\"#808080\"";
const char* const updateButtonStart = "<TD id=\"updateButton\" bgColor=\"#FEFEFE\"";
const char* const buttonStyle = " class=\"pageButton\" bgColor=\"#808080\" ";

// The account the request selects: `User.id`, or the account 0 when there is none.
int selectedUser(MList& _params) {
  return _params.getObject("User.id") != nullptr ? GView::paramInt(_params, "User.id") : 0;
}

const char* userIcon(GUser& _user) {
  if (!_user.enabled) return "/images/user_disabled.gif";
  if (_user.type == 1) return "/images/user_admin.gif";
  if (_user.imageUpload) return "/images/user_upload.gif";
  return "/images/user_enabled.gif";
}

}  // namespace

GUserAdminView::GUserAdminView() {}

GUserAdminView::~GUserAdminView() {}

bool GUserAdminView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                     MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_USER_ADMINISTRATION:
      frame_userAdmin(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_USER_LIST_FRAME: frame_list(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_USER_LIST: page_list(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_USER_LIST_TITLE:
      page_list_title(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_USER_FORM: page_info(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_DELETE_USER: page_delete(_session, _out, _params, _contentType); return true;
    default: return false;
  }
} M_RETHROW("bool GUserAdminView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserAdminView::frame_userAdmin(GSession& _session, MTextStream& _out, MList& _params,
                                     MString& _contentType) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  _session.viewState.setObject("tab_main", GIds::MODULE_USER_ADMINISTRATION);
  frame_list(_session, _out, _params, _contentType);
} M_RETHROW("void GUserAdminView::frame_userAdmin(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserAdminView::frame_list(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  headStart(_out);
  _out << "</HEAD>\n" << "<FRAMESET rows=\"85,90%,280\" name=\"frame_list\" border=\"0\">\n";
  MList param(_params);
  forgetAction(param);
  param.setObject("requestId", GApplication::get().nextRequestId());
  param.setObject("page", GIds::PAGE_USER_LIST_TITLE);
  _out << "<FRAME name=\"title\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize scrolling=\"no\" marginheight=\"0\" marginwidth=\"10\"></frame>\n";
  param.setObject("page", GIds::PAGE_USER_LIST);
  _out << "<FRAME name=\"list\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize  marginheight=\"0\" marginwidth=\"10\"></frame>\n";
  param.setObject("page", GIds::PAGE_USER_FORM);
  _out << "<FRAME name=\"info\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GUserAdminView::frame_list(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserAdminView::page_list_title(GSession& _session, MTextStream& _out, MList& _params,
                                     MString& _contentType) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  GApplication& application = GApplication::get();
  standardHead(_session, _out);
  _out << "<BODY style=\"margin-top: 10;\">\n";
  _out << "<TABLE><TR class=\"pageTitle\"><TD>"
       << application.translate(_session, "TITLE_USER_ADMINISTRATION")
       << "</TD></TR></TABLE>\n" << "<HR>\n";
  _out << "<TABLE width=\"100%\"><TR class=\"userTitle\">\n" << "<TD width=\"20\"> </TD>\n"
       << "<TD width=\"40%\">" << application.translate(_session, "LABEL_NAME") << "</TD>\n"
       << "<TD width=\"30%\">" << application.translate(_session, "LABEL_USERNAME") << "</TD>\n"
       << "<TD width=\"80\" align=\"left\">" << application.translate(_session, "LABEL_USER_TYPE")
       << "</TD>\n"
       << "<TD width=\"70\" align=\"left\">"
       << application.translate(_session, "LABEL_USER_NUMBER") << "</TD>\n"
       << "</TR></TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserAdminView::page_list_title(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserAdminView::page_list(GSession& _session, MTextStream& _out, MList& _params,
                               MString& _contentType) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  int selected = selectedUser(_params);
  MList users;
  GApplication::get().getDatabase().getUsers(users);
  standardHead(_session, _out);
  _out << "<BODY  style=\"margin-top: 0;\">\n" << "<TABLE width=\"100%\">\n";
  for (MItem* item = users.getFirstItem(); item != nullptr; item = users.getNextItem(item)) {
    listRow(_session, _out, *static_cast<GUser*>(item->object), selected);
  }
  _out << "</TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserAdminView::page_list(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserAdminView::listRow(GSession& _session, MTextStream& _out, GUser& _user,
                             int _selected) {
  GApplication& application = GApplication::get();
  MString session = GView::sessionInUrl(_session);
  MString listUrl = MString::format("/?session=%s&page=%d&requestId=%d&User.id=%d",
                                    session.getValue(), GIds::PAGE_USER_LIST,
                                    application.nextRequestId(), _user.id);
  MString infoUrl = MString::format("/?session=%s&page=%d&requestId=%d&User.id=%d",
                                    session.getValue(), GIds::PAGE_USER_FORM,
                                    application.nextRequestId(), _user.id);
  _out << "<TR class=\"userList\""
       << (_user.id == _selected ? " bgColor=\"#C0C0C0\" " : " bgColor=\"#F0F0F0\" ") << hover
       << "onClick=\"mouseClick2(this,parent.list,'" << listUrl.getValue() << "',parent.info,'"
       << infoUrl.getValue() << "')\">\n";
  _out << "<TD width=\"20\" align=\"center\"><IMG src=\"" << userIcon(_user) << "\"/></TD>\n";
  _out << "<TD width=\"40%\">" << GView::personName(_user).getValue() << "</TD>\n";
  _out << "<TD width=\"30%\">" << GHtml::escape(_user.username.getValue()).getValue()
       << "</TD>\n";
  _out << "<TD width=\"80\" align=\"left\">";
  if (_user.type == 0) _out << application.translate(_session, "TYPE_USER");
  if (_user.type == 1) _out << application.translate(_session, "TYPE_ADMINISTRATOR");
  _out << "</TD>\n";
  _out << "<TD width=\"70\" align=\"right\">" << _user.id << "</TD>\n" << "</TR>\n";
}

void GUserAdminView::page_info(GSession& _session, MTextStream& _out, MList& _params,
                               MString& _contentType) try {
  if (!GRights::mayAdministerUsers(_session)) return;
  GApplication& application = GApplication::get();
  int id = selectedUser(_params);
  GUser user;
  bool found = application.getDatabase().getUser(id, user) >= 0;
  // An account that is not there shows an empty form.
  if (!found) user = GUser();
  standardHead(_session, _out);
  _out << "<BODY onLoad=\"document.User.type.focus();\">\n" << "<HR>\n";
  GMessage::write(_session, _out, _params);
  GUserFormMessage::write(_session, _out, _params);
  _out << "<FORM name=\"User\" class=\"input\" method=\"GET\" action=\"/\">\n";
  MString continuation = MString::format("%s&page=%d&requestId=%d&User.id=%d",
                                         GView::sessionInUrl(_session).getValue(),
                                         GIds::TAB_ACCOUNT, application.nextRequestId(), id);
  _out << "<INPUT name=\"session\" value=\"" << continuation.getValue()
       << "\" type=\"hidden\">\n";
  _out << "<TABLE width=\"100%\">\n";
  formRows(_session, _out, user);
  _out << "</TABLE></FORM>\n" << "<HR>\n" << "<TABLE width=\"100%\"><TR>\n";
  formButtons(_session, _out, id, found);
  _out << "</TR></TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserAdminView::page_info(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserAdminView::formRows(GSession& _session, MTextStream& _out, GUser& _user) {
  _out << "<TR>\n";
  labelCell(_session, _out, "LABEL_USER_TYPE");
  choiceCell(_session, _out, 1, "type", _user.type, "TYPE_USER", "TYPE_ADMINISTRATOR");
  labelCell(_session, _out, "LABEL_ACCOUNT_ENABLED");
  choiceCell(_session, _out, 8, "enabled", _user.enabled, "WORD_NO", "WORD_YES");
  _out << "</TR>\n";

  // The middle rows: a text field on the left, a right on the right. The password fields
  // (no member) are always empty: no page carries a stored password or its hash, and both
  // sent empty keep the password.
  struct Row {
    const char* textLabel;
    const char* inputType;
    const char* textName;
    MString GUser::*text;
    const char* rightLabel;
    const char* rightName;
    bool GUser::*right;
    const char* noKey;
    const char* yesKey;
  };
  static const Row rows[] = {
      {"LABEL_LAST_NAME", "text", "lastname", &GUser::lastname, "LABEL_IMAGE_UPLOAD",
       "imageUpload", &GUser::imageUpload, "TEXT_NOT_ALLOWED", "TEXT_ALLOWED"},
      {"LABEL_FIRST_NAME", "text", "firstname", &GUser::firstname, "LABEL_IMAGE_DOWNLOAD",
       "imageDownload", &GUser::imageDownload, "TEXT_NOT_ALLOWED", "TEXT_ALLOWED"},
      {"LABEL_USERNAME", "text", "username", &GUser::username, "LABEL_IMAGE_ACCEPT",
       "imageAccept", &GUser::imageAccept, "TEXT_NOT_REQUIRED", "TEXT_REQUIRED"},
      {"LABEL_PASSWORD", "password", "password1", nullptr, "LABEL_FOLDER_ACCEPT",
       "folderAccept", &GUser::folderAccept, "TEXT_NOT_REQUIRED", "TEXT_REQUIRED"},
      {"LABEL_PASSWORD_CONFIRMATION", "password", "password2", nullptr,
       "LABEL_FOLDER_ADMINISTRATION", "folderAdmin", &GUser::folderAdmin, "TEXT_NOT_ALLOWED",
       "TEXT_ALLOWED"},
  };
  // Tab order: the text fields from 2, the rights from 9.
  int tab = 0;
  for (const Row& row : rows) {
    _out << "<TR>\n";
    labelCell(_session, _out, row.textLabel);
    textCell(_out, row.inputType, 2 + tab, row.textName,
             row.text != nullptr ? _user.*row.text : MString());
    labelCell(_session, _out, row.rightLabel);
    choiceCell(_session, _out, 9 + tab, row.rightName, _user.*row.right, row.noKey, row.yesKey);
    _out << "</TR>\n";
    ++tab;
  }

  _out << "<TR>\n";
  labelCell(_session, _out, "LABEL_EMAIL_ADDRESS");
  textCell(_out, "text", 7, "email", _user.email);
  labelCell(_session, _out, "LABEL_IMAGE_LIMIT");
  MString limit = MString::format("%d", _user.imageLimit);
  _out << "<TD class=\"userValue\"><INPUT type=\"text\" size=\"6\" class=\"value\" tabindex=\"14\""
          " name=\"imageLimit\" value=\""
       << limit.getValue() << "\" onKeyUp=\"if (document.User.imageLimit.value != '"
       << limit.getValue() << "') activateUpdateButton();\"></TD>\n";
  _out << "</TR>\n";
}

void GUserAdminView::labelCell(GSession& _session, MTextStream& _out, const char* _key) {
  _out << "<TD class=\"userAttribute\">" << GApplication::get().translate(_session, _key)
       << "</TD>\n";
}

void GUserAdminView::textCell(MTextStream& _out, const char* _type, int _tabindex,
                              const char* _name, const MString& _value) {
  _out << "<TD class=\"userValue\"><INPUT type=\"" << _type << "\" tabindex=\"" << _tabindex
       << "\" style=\"width: 99%\" class=\"value\" name=\"" << _name << "\" value=\""
       << GHtml::escape(_value.getValue()).getValue() << "\" onKeyUp=\"if (document.User."
       << _name << ".value != '" << GHtml::escapeScript(_value.getValue()).getValue()
       << "') activateUpdateButton();\"></TD>\n";
}

void GUserAdminView::choiceCell(GSession& _session, MTextStream& _out, int _tabindex,
                                const char* _name, int _value, const char* _noKey,
                                const char* _yesKey) {
  GApplication& application = GApplication::get();
  _out << "<TD class=\"userValue\"><SELECT class=\"value\" tabindex=\"" << _tabindex
       << "\" name=\"" << _name << "\" onChange=\"activateUpdateButton();\">\n";
  _out << "<OPTION " << (_value == 0 ? "selected" : "") << " value=\"0\">"
       << application.translate(_session, _noKey) << "</OPTION>\n";
  _out << "<OPTION " << (_value == 1 ? "selected" : "") << " value=\"1\">"
       << application.translate(_session, _yesKey) << "</OPTION>\n";
  _out << "</SELECT></TD>\n";
}

void GUserAdminView::formButtons(GSession& _session, MTextStream& _out, int _id, bool _found) {
  GApplication& application = GApplication::get();
  MString session = GView::sessionInUrl(_session);
  button(_session, _out, buttonStart, "mouseClick(this,parent,'",
         MString::format("/?session=%s&page=%d&requestId=%d&action=%d", session.getValue(),
                         GIds::PAGE_USER_LIST_FRAME, application.nextRequestId(),
                         GIds::ACTION_CREATE_USER),
         "BUTTON_NEW");
  if (!_found) {
    _out << "<TD> </TD>\n";
    return;
  }
  // The administrator account, the guest account and one's own account stay.
  if (_id != 0 && _id != 1 && _id != _session.user.id) {
    button(_session, _out, buttonStart, "mouseClick(this,document,'",
           MString::format("/?session=%s&page=%d&requestId=%d&User.id=%d", session.getValue(),
                           GIds::PAGE_DELETE_USER, application.nextRequestId(), _id),
           "BUTTON_DELETE");
  }
  button(_session, _out, updateButtonStart, "updateUser(this,parent,'",
         MString::format("/?session=%s&page=%d&requestId=%d&action=%d&User.id=%d",
                         session.getValue(), GIds::PAGE_USER_LIST_FRAME,
                         application.nextRequestId(), GIds::ACTION_UPDATE_USER, _id),
         "BUTTON_UPDATE");
  _out << "<TD> </TD>\n";
  if (_id != 0) {
    button(_session, _out, buttonStart, "mouseClick(this,parent.parent.parent,'",
           MString::format("/?session=%s&page=%d&requestId=%d&action=%d&User.id=%d&%s=%d",
                           session.getValue(), GIds::PAGE_SUBMAIN, application.nextRequestId(),
                           GIds::ACTION_LOGIN, _id, "tab_main", GIds::MODULE_INTRODUCTION),
           "BUTTON_LOGIN");
  }
}

void GUserAdminView::button(GSession& _session, MTextStream& _out, const char* _start,
                            const char* _call, const MString& _url, const char* _key) {
  _out << _start << buttonStyle << hover << "onClick=\"" << _call << _url.getValue() << "')\">"
       << GApplication::get().translate(_session, _key) << "</TD>\n";
}

void GUserAdminView::page_delete(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  if (!GRights::mayAdministerUsers(_session) || _params.getObject("User.id") == nullptr) return;
  int id = paramInt(_params, "User.id");
  // The accounts that can never be deleted here: no question is asked for them.
  if (id == 0 || id == 1 || id == _session.user.id) return;
  GApplication& application = GApplication::get();
  standardHead(_session, _out);
  _out << "<BODY>\n";
  GUser user;
  if (application.getDatabase().getUser(id, user) >= 0) {
    _out << "<HR>\n" << "<TABLE><TR class=\"dialogTitle\"><TD>"
         << application.translate(_session, "TITLE_DELETE_USER") << "</TD></TR></TABLE>\n"
         << "<HR>\n";
    _out << "<P class=\"dialogText\">" << application.translate(_session, "QUESTION_DELETE_USER")
         << " ( " << GHtml::escape(user.firstname.getValue()).getValue() << " "
         << GHtml::escape(user.lastname.getValue()).getValue() << " )?</P>" << "<HR>\n";
    _out << "<TABLE width=\"100%\"><TR>\n";
    MString session = GView::sessionInUrl(_session);
    button(_session, _out, buttonStart, "mouseClick(this,parent,'",
           MString::format("/?session=%s&page=%d&requestId=%d&action=%d&User.id=%d",
                           session.getValue(), GIds::PAGE_USER_LIST_FRAME,
                           application.nextRequestId(), GIds::ACTION_DELETE_USER, id),
           "BUTTON_YES");
    button(_session, _out, buttonStart, "mouseClick(this,parent,'",
           MString::format("/?session=%s&page=%d&requestId=%d&User.id=%d", session.getValue(),
                           GIds::PAGE_USER_LIST_FRAME, application.nextRequestId(), id),
           "BUTTON_NO");
    _out << "<TD> </TD>\n" << "</TR></TABLE>\n";
  }
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserAdminView::page_delete(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
