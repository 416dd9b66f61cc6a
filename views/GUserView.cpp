#include "views/GUserView.h"

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GImagePages.h"
#include "views/GMessage.h"
#include "views/GRights.h"
#include "views/GShareView.h"
#include "views/GUploadMessage.h"
#include "views/GUserFormMessage.h"

namespace {

int validTab(int _tab) {
  if (_tab == GIds::TAB_MY_LINKS) return GIds::TAB_MY_LINKS;
  return _tab == GIds::TAB_OWN_IMAGES ? GIds::TAB_OWN_IMAGES : GIds::TAB_ACCOUNT;
}

}  // namespace

GUserView::GUserView() {}

GUserView::~GUserView() {}

bool GUserView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_MY_INFORMATION:
      frame_user(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_USER_MENU: page_menu(_session, _out, _params, _contentType); return true;
    case GIds::TAB_ACCOUNT: page_info(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_OWN_IMAGE_DETAIL:
      page_single_image(_session, _out, _params, _contentType);
      return true;
    case GIds::TAB_OWN_IMAGES: page_images(_session, _out, _params, _contentType); return true;
    case GIds::PAGE_OWN_IMAGE_GRID:
      page_multiple_images(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_DELETE_IMAGE:
      page_deleteImage(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GUserView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

int GUserView::allowedTab(GSession& _session, int _tab) {
  if (_tab == GIds::TAB_MY_LINKS) return GIds::TAB_MY_LINKS;
  return _tab == GIds::TAB_OWN_IMAGES && GRights::hasOwnImages(_session) ? GIds::TAB_OWN_IMAGES
                                                                         : GIds::TAB_ACCOUNT;
}

void GUserView::frame_user(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType) try {
  _session.viewState.setObject("tab_main", GIds::MODULE_MY_INFORMATION);
  if (!GRights::hasOwnAccount(_session)) return;
  GApplication& application = GApplication::get();
  MObject* remembered = _session.viewState.getObject("UserView.tab");
  int tab = remembered != nullptr ? validTab(toInt(remembered)) : GIds::TAB_ACCOUNT;
  _session.viewState.setObject("UserView.tab", tab);
  headStart(_out);
  _out << "</HEAD>\n" << "<FRAMESET rows=\"105,90%\" name=\"" << GIds::MODULE_MY_INFORMATION
       << "\" border=\"0\">\n";
  _out << "<FRAME name=\"menu\" src=\""
       << MString::format("/?session=%s&page=%d&requestId=%d", GView::sessionInUrl(_session).getValue(),
                          GIds::PAGE_USER_MENU, application.nextRequestId()).getValue()
       << "\" noresize scrolling=\"no\"></frame>\n";
  // The outcome of the action that reloaded the module (a deletion) is told by its content.
  MString outcome;
  if (_params.getObject(GMessage::PARAM) != nullptr) {
    outcome = MString::format("&%s=%d", GMessage::PARAM, paramInt(_params, GMessage::PARAM));
  }
  _out << "<FRAME name=\"area\" src=\""
       << MString::format("/?session=%s&page=%d&requestId=%d%s", GView::sessionInUrl(_session).getValue(),
                          allowedTab(_session, tab), application.nextRequestId(),
                          outcome.getValue()).getValue()
       << "\" noresize></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GUserView::frame_user(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserView::page_menu(GSession& _session, MTextStream& _out, MList& _params,
                          MString& _contentType) try {
  if (!GRights::hasOwnAccount(_session)) return;
  GApplication& application = GApplication::get();
  int tab = GIds::TAB_ACCOUNT;
  if (_params.getObject("UserView.tab") != nullptr) {
    tab = validTab(paramInt(_params, "UserView.tab"));
  } else if (_session.viewState.getObject("UserView.tab") != nullptr) {
    tab = validTab(toInt(_session.viewState.getObject("UserView.tab")));
  }
  _session.viewState.setObject("UserView.tab", tab);
  int current = allowedTab(_session, tab);

  GUser& user = _session.user;
  standardHead(_session, _out);
  _out << "<BODY class=\"tab\">\n" << "<TABLE><TR class=\"pageTitle\"><TD>"
       << GHtml::escape(user.lastname.getValue()).getValue();
  if (user.lastname.getLength() > 0 && user.firstname.getLength() > 0) _out << ", ";
  _out << GHtml::escape(user.firstname.getValue()).getValue() << "</TD></TR></TABLE>\n"
       << "<HR>\n" << "<TABLE>\n" << "<TR height=\"25\">\n";

  struct Tab {
    int page;
    const char* key;
  };
  const Tab tabs[] = {{GIds::TAB_ACCOUNT, "TAB_USER_INFORMATION"},
                      {GIds::TAB_OWN_IMAGES, "TAB_IMAGES"},
                      {GIds::TAB_MY_LINKS, "TAB_MY_LINKS"}};
  for (const Tab& entry : tabs) {
    if (entry.page == GIds::TAB_OWN_IMAGES && !GRights::hasOwnImages(_session)) continue;
    if (entry.page == current) {
      _out << "<TD class=\"tabSelected\">\n";
    } else {
      MString pageUrl = MString::format("/?session=%s&page=%d&requestId=%d",
                                        GView::sessionInUrl(_session).getValue(), entry.page,
                                        application.nextRequestId());
      MString menuUrl = MString::format("/?session=%s&page=%d&%s=%d&requestId=%d",
                                        GView::sessionInUrl(_session).getValue(),
                                        GIds::PAGE_USER_MENU, "UserView.tab",
                                        entry.page, application.nextRequestId());
      _out << "<TD" << " class=\"tab\" bgColor=\"#C0C0C0\"" << hover
           << "onClick=\"mouseClick2(this,parent.area,'" << pageUrl.getValue() << "',document,'"
           << menuUrl.getValue() << "')\">";
    }
    _out << application.translate(_session, entry.key) << "</TD>\n";
  }
  _out << "</TR>\n" << "</TABLE>\n" << "<HR>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserView::page_menu(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserView::accountInput(GSession& _session, MTextStream& _out, const char* _label,
                             const char* _type, const char* _field, const char* _gap,
                             const MString& _value) {
  _out << "<TD class=\"userAttribute\">" << GApplication::get().translate(_session, _label)
       << "</TD>\n"
       << "<TD class=\"userValue\"><INPUT type=\"" << _type
       << "\" style=\"width: 99%\" class=\"value\" name=\"" << _field << "\" value=\""
       << GHtml::escape(_value.getValue()).getValue() << "\"" << _gap
       << "onKeyUp=\"if (document.User." << _field << ".value != '"
       << GHtml::escapeScript(_value.getValue()).getValue()
       << "') activateUpdateButton();\"></TD>\n";
}

void GUserView::page_info(GSession& _session, MTextStream& _out, MList& _params,
                          MString& _contentType) try {
  if (!GRights::hasOwnAccount(_session)) return;
  GApplication& application = GApplication::get();
  GUser user;
  if (application.getDatabase().getUser(_session.user.id, user) < 0) return;

  standardHead(_session, _out);
  _out << "<BODY bgcolor=white style=\"font-family: Arial;\" "
          "onLoad=\"document.User.lastname.focus();\">\n";
  GMessage::write(_session, _out, _params);
  GUserFormMessage::write(_session, _out, _params);
  _out << "<FORM name=\"User\" class=\"input\">\n" << "<TABLE width=\"100%\">\n" << "<TR>\n";
  accountInput(_session, _out, "LABEL_LAST_NAME", "text", "lastname", "  ", user.lastname);
  _out << "</TR>\n" << "<TR>\n";
  accountInput(_session, _out, "LABEL_FIRST_NAME", "text", "firstname", " ", user.firstname);
  _out << "</TR>\n" << "<TR>\n";
  _out << "<TD class=\"userAttribute\">" << application.translate(_session, "LABEL_USERNAME")
       << "</TD>\n"
       << "<TD class=\"userValue\"><INPUT type=\"text\" readonly style=\"width: 99%\" "
          "class=\"value\" name=\"username\" value=\""
       << GHtml::escape(user.username.getValue()).getValue() << "\"></TD>\n";
  _out << "</TR>\n" << "<TR>\n";
  // Both password fields empty: no page carries the stored password or its hash, and both
  // sent empty keep the password.
  accountInput(_session, _out, "LABEL_PASSWORD", "password", "password1", " ", MString());
  _out << "</TR>\n" << "<TR>\n";
  accountInput(_session, _out, "LABEL_PASSWORD_CONFIRMATION", "password", "password2", " ",
               MString());
  _out << "</TR>\n" << "<TR>\n";
  accountInput(_session, _out, "LABEL_EMAIL_ADDRESS", "text", "email", " ", user.email);
  _out << "</TR>\n";
  if (user.imageUpload) {
    _out << "<TR>\n" << "<TD class=\"userAttribute\">"
         << application.translate(_session, "LABEL_IMAGE_LIMIT") << "</TD>\n"
         << "<TD class=\"userValue\">" << user.imageLimit << "</TD>\n" << "</TR>\n";
  }
  _out << "</TABLE></FORM>\n" << "<HR>\n";
  MString url = MString::format("/?session=%s&page=%d&requestId=%d&action=%d&User.id=%d",
                                GView::sessionInUrl(_session).getValue(), GIds::TAB_ACCOUNT,
                                application.nextRequestId(), GIds::ACTION_UPDATE_OWN_ACCOUNT,
                                user.id);
  _out << "<TABLE><TR><TD id=\"updateButton\" bgColor=\"#FEFEFE\""
       << " class=\"pageButton\" bgColor=\"#808080\" " << hover
       << "onClick=\"updateUser2(this,document,'"
       << url.getValue() << "')\">" << application.translate(_session, "BUTTON_UPDATE")
       << "</TD>\n" << "</TR></TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserView::page_info(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserView::uploadForm(GSession& _session, MTextStream& _out, int _page) {
  GApplication& application = GApplication::get();
  GUser& user = _session.user;
  if (!GRights::mayUpload(_session)) return;
  if (application.getDatabase().getNumOfUserImages(user.id) >= user.imageLimit) return;
  MString url =
      _page == GIds::PAGE_OWN_IMAGE_GRID
          ? MString::format("/?session=%s&page=%d&requestId=%d&action=%d&pagenum=%d&User.id=%d",
                            GView::sessionInUrl(_session).getValue(), GIds::PAGE_OWN_IMAGE_DETAIL,
                            application.nextRequestId(), GIds::ACTION_UPLOAD_IMAGE, 1, user.id)
          : MString::format("/?session=%s&page=%d&requestId=%d&action=%d&pagenum=%d",
                            GView::sessionInUrl(_session).getValue(), GIds::PAGE_OWN_IMAGE_DETAIL,
                            application.nextRequestId(), GIds::ACTION_UPLOAD_IMAGE, 1);
  _out << "<FORM name=\"imageForm\" method=\"POST\" enctype=\"multipart/form-data\" action=\""
       << url.getValue() << "\"";
  // For the script that sends many files one by one: the grid it shows when all are sent,
  // and the words of its summary.
  _out << " data-grid=\""
       << MString::format("/?session=%s&page=%d&pagenum=%d", GView::sessionInUrl(_session).getValue(),
                          GIds::PAGE_OWN_IMAGE_GRID, 1).getValue()
       << "\"";
  const struct {
    const char* attribute;
    const char* key;
  } words[] = {{"data-text-stored", "LABEL_UPLOAD_STORED"},
               {"data-text-waiting", "LABEL_UPLOAD_WAITING"},
               {"data-text-refused", "LABEL_UPLOAD_REFUSED"},
               {"data-text-failed", "MESSAGE_UPLOAD_FAILED"}};
  for (const auto& word : words) {
    _out << " " << word.attribute << "=\"" << application.translate(_session, word.key) << "\"";
  }
  _out << ">\n";
  _out << "<INPUT type=\"hidden\" name=\"Image.user\" value=\"" << user.id << "\">\n";
  _out << "<INPUT class=\"browseButton\" type=\"file\" name=\"Image.file\" size=\"80\"></TD>\n";
  _out << "<INPUT class=\"uploadButton\" type=\"submit\" value=\""
       << application.translate(_session, "BUTTON_UPLOAD") << "\" name=\"add_image\">\n";
  _out << "</FORM>\n";
}

void GUserView::page_single_image(GSession& _session, MTextStream& _out, MList& _params,
                                  MString& _contentType) try {
  if (!GRights::hasOwnAccount(_session)) return;
  imagePages.detail(GImageMember::OWN_IMAGES, _session, _out, _params,
                    [&]() {
                      GShareView::shareShownImage(
                          _session, _out, GImageMember::get(GImageMember::OWN_IMAGES).imageKey);
                      uploadForm(_session, _out, GIds::PAGE_OWN_IMAGE_DETAIL);
                    },
                    [&]() { GUploadMessage::write(_session, _out, _params); });
} M_RETHROW("void GUserView::page_single_image(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserView::page_images(GSession& _session, MTextStream& _out, MList& _params,
                            MString& _contentType) try {
  if (!GRights::hasOwnAccount(_session)) return;
  if (imagePages.showsDetail(GImageMember::OWN_IMAGES, _session)) {
    page_single_image(_session, _out, _params, _contentType);
  } else {
    page_multiple_images(_session, _out, _params, _contentType);
  }
} M_RETHROW("void GUserView::page_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserView::page_multiple_images(GSession& _session, MTextStream& _out, MList& _params,
                                     MString& _contentType) try {
  if (!GRights::hasOwnAccount(_session)) return;
  imagePages.grid(GImageMember::OWN_IMAGES, _session, _out, _params,
                  [&]() { uploadForm(_session, _out, GIds::PAGE_OWN_IMAGE_GRID); });
} M_RETHROW("void GUserView::page_multiple_images(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GUserView::page_deleteImage(GSession& _session, MTextStream& _out, MList& _params,
                                 MString& _contentType) try {
  if (!GRights::hasOwnAccount(_session) || _params.getObject("Image.id") == nullptr) return;
  GApplication& application = GApplication::get();
  GImage image;
  bool readable = application.getDatabase().getImage(paramInt(_params, "Image.id"), image) >= 0;
  standardHead(_session, _out);
  _out << "<BODY>\n";
  if (readable) {
    _out << "<TABLE><TR class=\"dialogTitle\"><TD>"
         << application.translate(_session, "TITLE_DELETE_IMAGE") << "</TD></TR></TABLE>\n"
         << "<HR>\n";
    _out << "<TABLE><TR>\n" << "<TD onClick=\"openImageWindow('"
         << application.getImageWindowUrl(_session, image.id).getValue() << "');\">" << GImagePages::largePreviewTag(_session, image.id).getValue()
         << "</TD>\n" << "</TR></TABLE>\n" << "<HR>\n";
    _out << "<P class=\"dialogText\">" << application.translate(_session, "QUESTION_DELETE_IMAGE")
         << "?</P>" << "<HR>\n" << "<TABLE><TR>\n";
    MString yes = MString::format("/?session=%s&page=%d&requestId=%d&action=%d&Image.id=%d",
                                  GView::sessionInUrl(_session).getValue(),
                                  GIds::MODULE_MY_INFORMATION, application.nextRequestId(),
                                  GIds::ACTION_DELETE_IMAGE, image.id);
    MString no = MString::format("/?session=%s&page=%d&requestId=%d&Image.id=%d",
                                 GView::sessionInUrl(_session).getValue(),
                                 GIds::MODULE_MY_INFORMATION, application.nextRequestId(),
                                 image.id);
    const struct {
      const char* key;
      MString& url;
    } buttons[] = {{"BUTTON_YES", yes}, {"BUTTON_NO", no}};
    for (const auto& button : buttons) {
      _out << "<TD bgColor=\"#808080\"" << " class=\"pageButton\" bgColor=\"#808080\" " << hover
           << "onClick=\"mouseClick(this,document,'" << button.url.getValue() << "')\">"
           << application.translate(_session, button.key) << "</TD>\n";
    }
    _out << "<TD> </TD>\n" << "</TR></TABLE>\n";
  }
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GUserView::page_deleteImage(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
