#include "views/GFolderAdminView.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "db/GDatabase.h"
#include "db/GUser.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GMessage.h"
#include "views/GRights.h"

namespace {

const char* const buttonStart = "<TD bgColor=\"#808080\"";
const char* const updateButtonStart = "<TD id=\"updateButton\" bgColor=\"#FEFEFE\"";
const char* const buttonStyle = " class=\"pageButton\" bgColor=\"#808080\" ";

// A request parameter, else the remembered value, else 0.
int requestOrState(GSession& _session, MList& _params, const char* _param, const char* _key) {
  if (_params.getObject(_param) != nullptr) return GView::paramInt(_params, _param);
  MObject* remembered = _session.viewState.getObject(_key);
  return remembered != nullptr ? GView::toInt(remembered) : 0;
}

int listedParent(GSession& _session, MList& _params) {
  return requestOrState(_session, _params, "Folder.parent", "FolderAdminView.parent");
}

int selectedFolder(GSession& _session, MList& _params) {
  return requestOrState(_session, _params, "Folder.id", "FolderAdminView.folder");
}

// A copy of the request's parameters for the links of a page. An action still among them was
// not carried out (a reload repeats its requestId); a link must not carry it out later.
void copyForLinks(MList& _params, MList& _copy) {
  _copy = _params;
  GView::forgetAction(_copy);
}

const char* folderIcon(GFolder& _folder) {
  if (_folder.imageFolder) {
    return _folder.enabled ? "/images/folder_images.gif" : "/images/folder_images_disabled.gif";
  }
  return _folder.enabled ? "/images/folder.gif" : "/images/folder_disabled.gif";
}

}  // namespace

GFolderAdminView::GFolderAdminView() {}

GFolderAdminView::~GFolderAdminView() {}

bool GFolderAdminView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                       MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_FOLDER_ADMINISTRATION:
      frame_folder(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_FOLDER_LIST_FRAME:
      frame_folder_list(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_FOLDER_LIST:
      page_folder_list(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_FOLDER_LIST_TITLE:
      page_folder_list_title(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_FOLDER_FORM:
      page_folder_info(_session, _out, _params, _contentType);
      return true;
    case GIds::PAGE_DELETE_FOLDER:
      page_folder_delete(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GFolderAdminView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GFolderAdminView::frame_folder(GSession& _session, MTextStream& _out, MList& _params,
                                    MString& _contentType) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  _session.viewState.setObject("tab_main", GIds::MODULE_FOLDER_ADMINISTRATION);
  frame_folder_list(_session, _out, _params, _contentType);
} M_RETHROW("void GFolderAdminView::frame_folder(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GFolderAdminView::frame_folder_list(GSession& _session, MTextStream& _out, MList& _params,
                                         MString& _contentType) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  headStart(_out);
  _out << "</HEAD>\n" << "<FRAMESET rows=\"125,90%,225\" name=\"frame_folder_list\" border=\"0\">\n";
  MList param;
  copyForLinks(_params, param);
  param.setObject("page", GIds::PAGE_FOLDER_LIST_TITLE);
  _out << "<FRAME name=\"title\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize scrolling=\"no\" marginheight=\"0\" marginwidth=\"10\"></frame>\n";
  param.setObject("page", GIds::PAGE_FOLDER_LIST);
  _out << "<FRAME name=\"list\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize  marginheight=\"0\" marginwidth=\"10\"></frame>\n";
  param.setObject("page", GIds::PAGE_FOLDER_FORM);
  _out << "<FRAME name=\"info\" src=\"" << getUrl(_session, param).getValue()
       << "\" noresize></frame>\n";
  _out << "</FRAMESET>\n" << "</HTML>\n";
} M_RETHROW("void GFolderAdminView::frame_folder_list(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GFolderAdminView::page_folder_list_title(GSession& _session, MTextStream& _out,
                                              MList& _params, MString& _contentType) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  GApplication& application = GApplication::get();
  int parent = listedParent(_session, _params);
  GFolder folder;
  MString name = application.getDatabase().getFolder(parent, folder) >= 0
                     ? GHtml::escape(folder.name.getValue())
                     : MString(application.translate(_session, "TITLE_FOLDERS"));
  standardHead(_session, _out);
  _out << "<BODY style=\"margin-top: 10;\">\n";
  _out << "<TABLE><TR class=\"pageTitle\"><TD>" << name.getValue() << "</TD></TR></TABLE>\n"
       << "<HR>\n" << "<TABLE><TR class=\"folderPath\">\n";
  pathCells(_session, _out, parent, name);
  _out << "</TR></TABLE>\n" << "<HR>";
  _out << "<TABLE width=\"100%\"><TR class=\"folderTitle\">\n" << "<TD width=\"20\"> </TD>"
       << "<TD>" << application.translate(_session, "LABEL_FOLDER_NAME") << "</TD>\n"
       << "</TR></TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GFolderAdminView::page_folder_list_title(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GFolderAdminView::pathCells(GSession& _session, MTextStream& _out, int _parent,
                                 const MString& _name) {
  GApplication& application = GApplication::get();
  MString session = GView::sessionInUrl(_session);
  if (_parent != 0) {
    MString url = MString::format("/?session=%s&page=%d&requestId=%d&Folder.parent=%d",
                                  session.getValue(), GIds::MODULE_FOLDER_ADMINISTRATION,
                                  application.nextRequestId(), GRights::rootFolderId);
    _out << "<TD" << hover << "onClick=\"mouseClick(this,parent,'" << url.getValue()
         << "');\"> / " << application.translate(_session, "TITLE_FOLDERS") << "</TD>";
    MList ancestors;
    application.getDatabase().getParentFolders(_parent, ancestors);
    // The list runs from the parent's own parent upwards; the path is shown from the top.
    for (MItem* item = ancestors.getLastItem(); item != nullptr;
         item = ancestors.getPrevItem(item)) {
      GFolder* ancestor = static_cast<GFolder*>(item->object);
      url = MString::format("/?session=%s&page=%d&requestId=%d&Folder.parent=%d",
                            session.getValue(), GIds::MODULE_FOLDER_ADMINISTRATION,
                            application.nextRequestId(), ancestor->id);
      _out << "<TD> / </TD><TD" << hover << "onClick=\"mouseClick(this,parent,'"
           << url.getValue() << "');\">" << GHtml::escape(ancestor->name.getValue()).getValue()
           << "</TD>\n";
    }
  }
  _out << "<TD> / " << _name.getValue() << "</TD>\n";
}

void GFolderAdminView::page_folder_list(GSession& _session, MTextStream& _out, MList& _params,
                                        MString& _contentType) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  int parent = listedParent(_session, _params);
  int selected = selectedFolder(_session, _params);
  _session.viewState.setObject("FolderAdminView.folder", selected);
  GFolder parentFolder;
  bool parentRead = database.getFolder(parent, parentFolder) >= 0;
  MList children;
  database.getChildFolders(parent, children);

  standardHead(_session, _out);
  _out << "<BODY  style=\"margin-top: 0;\">\n" << "<TABLE width=\"100%\">\n";
  if (parentRead && parentFolder.id != 0) upRow(_session, _out, parentFolder);
  for (MItem* item = children.getFirstItem(); item != nullptr;
       item = children.getNextItem(item)) {
    childRow(_session, _out, _params, *static_cast<GFolder*>(item->object), selected);
  }
  _out << "</TABLE>\n" << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GFolderAdminView::page_folder_list(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GFolderAdminView::upRow(GSession& _session, MTextStream& _out, GFolder& _parent) {
  MList param;
  param.setObject("session", _session.id.getValue());
  param.setObject("page", GIds::PAGE_FOLDER_LIST_FRAME);
  param.setObject("Folder.parent", _parent.parentId);
  param.setObject("Folder.id", 0);
  _out << "<TR class=\"folderList\" bgColor=\"#F0F0F0\"" << hover
       << "onClick=\"mouseClick(this,parent,'" << getUrl(_session, param).getValue() << "')\">"
       << "<TD width=\"20\" align=\"center\"><IMG src=\"/images/folder.gif\"/></TD>\n"
       << "<TD> .. </TD>\n" << "</TR>\n";
}

void GFolderAdminView::childRow(GSession& _session, MTextStream& _out, MList& _params,
                                GFolder& _child, int _selected) {
  bool isSelected = _child.id == _selected;
  if (isSelected && !_child.imageFolder) {
    // A second click on a selected plain folder opens it.
    MList param;
    param.setObject("session", _session.id.getValue());
    param.setObject("Folder.id", 0);
    param.setObject("Folder.parent", _child.id);
    param.setObject("page", GIds::PAGE_FOLDER_LIST_FRAME);
    _out << "<TR class=\"folderList\" bgColor=\"#C0C0C0\"" << hover
         << "onClick=\"mouseClick(this,parent,'" << getUrl(_session, param).getValue()
         << "')\">";
  } else {
    MList param;
    copyForLinks(_params, param);
    // The outcome that came with the list is told once, not again by each row.
    if (param.getObject(GMessage::PARAM) != nullptr) param.deleteObject(GMessage::PARAM);
    param.setObject("session", _session.id.getValue());
    param.setObject("Folder.id", _child.id);
    param.setObject("Folder.parent", _child.parentId);
    param.setObject("page", GIds::PAGE_FOLDER_FORM);
    MString infoUrl = getUrl(_session, param);
    param.setObject("page", GIds::PAGE_FOLDER_LIST);
    MString listUrl = getUrl(_session, param);
    _out << "<TR class=\"folderList\" bgColor=\"" << (isSelected ? "#C0C0C0" : "#F0F0F0")
         << "\"" << hover << "onClick=\"mouseClick2(this,parent.list,'" << listUrl.getValue()
         << "',parent.info,'" << infoUrl.getValue() << "')\">";
  }
  _out << "<TD width=\"20\" align=\"center\"><IMG src=\"" << folderIcon(_child) << "\"/></TD>\n"
       << "<TD>" << GHtml::escape(_child.name.getValue()).getValue() << "</TD>\n" << "</TR>\n";
}

void GFolderAdminView::page_folder_info(GSession& _session, MTextStream& _out, MList& _params,
                                        MString& _contentType) try {
  if (!GRights::mayAdministerFolders(_session)) return;
  GDatabase& database = GApplication::get().getDatabase();
  standardHead(_session, _out);
  _out << "<BODY onLoad=\"if (document.Folder != null) document.Folder.enabled.focus();\">\n"
       << "<HR>\n";
  GMessage::write(_session, _out, _params);
  int selected = selectedFolder(_session, _params);
  int parent = listedParent(_session, _params);
  _session.viewState.setObject("FolderAdminView.folder", selected);
  _session.viewState.setObject("FolderAdminView.parent", parent);
  GFolder folder;
  if (selected != 0 && database.getFolder(selected, folder) >= 0 &&
      GRights::mayEditFolder(_session, folder.id)) {
    // The form shows where the folder really is, whatever the request said.
    parent = folder.parentId;
    _session.viewState.setObject("FolderAdminView.parent", parent);
    folderForm(_session, _out, folder);
  }
  if (selected == 0 || GRights::mayEditFolder(_session, selected)) {
    folderButtons(_session, _out, parent, selected);
  }
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GFolderAdminView::page_folder_info(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GFolderAdminView::folderForm(GSession& _session, MTextStream& _out, GFolder& _folder) {
  GApplication& application = GApplication::get();
  _out << "<FORM name=\"Folder\" class=\"input\" method=\"GET\" action=\"/\">\n";
  MString continuation = MString::format(
      "%s&page=%d&requestId=%d&Folder.id=%d&Folder.parent=%d", GView::sessionInUrl(_session).getValue(),
      GIds::PAGE_FOLDER_FORM, application.nextRequestId(), _folder.id, _folder.parentId);
  _out << "<INPUT name=\"session\" value=\"" << continuation.getValue()
       << "\" type=\"hidden\">\n";
  _out << "<TABLE width=\"100%\">\n";

  _out << "<TR>\n<TD class=\"folderAttribute\">"
       << application.translate(_session, "LABEL_FOLDER_ENABLED") << "</TD>\n";
  flagCell(_session, _out, "enabled", _folder.enabled);
  _out << "</TR>\n";

  _out << "<TR>\n<TD class=\"folderAttribute\">"
       << application.translate(_session, "LABEL_IMAGE_FOLDER") << "</TD>\n";
  flagCell(_session, _out, "imageFolder", _folder.imageFolder);
  _out << "</TR>\n";

  _out << "<TR>\n<TD class=\"folderAttribute\">"
       << application.translate(_session, "LABEL_FOLDER_NAME") << "</TD>\n";
  _out << "<TD class=\"folderValue\"><INPUT type=\"text\"  style=\"width: 99%\" class=\"value\""
          " name=\"name\" value=\""
       << GHtml::escape(_folder.name.getValue()).getValue()
       << "\" onKeyUp=\"if (document.Folder.name.value != '"
       << GHtml::escapeScript(_folder.name.getValue()).getValue()
       << "') activateUpdateButton();\"></TD>\n";
  _out << "</TR>\n";

  _out << "<TR>\n<TD class=\"folderAttribute\">"
       << application.translate(_session, "LABEL_PARENT_FOLDER") << "</TD>\n";
  parentCell(_session, _out, _folder);
  _out << "</TR>\n";

  _out << "<TR>\n<TD class=\"folderAttribute\">"
       << application.translate(_session, "LABEL_FOLDER_OWNER") << "</TD>\n";
  ownerCell(_session, _out, _folder);
  _out << "</TR>\n";

  _out << "</TABLE>\n" << "</FORM>\n" << "<HR>\n";
}

void GFolderAdminView::flagCell(GSession& _session, MTextStream& _out, const char* _name,
                                bool _value) {
  GApplication& application = GApplication::get();
  _out << "<TD class=\"folderValue\"><SELECT class=\"value\" name=\"" << _name
       << "\" onChange=\"activateUpdateButton();\">\n";
  _out << (_value ? "<OPTION value=\"0\">" : "<OPTION selected value=\"0\">")
       << application.translate(_session, "WORD_NO") << "</OPTION>\n";
  _out << (_value ? "<OPTION selected value=\"1\">" : "<OPTION value=\"1\">")
       << application.translate(_session, "WORD_YES") << "</OPTION>\n";
  _out << "</SELECT></TD>\n";
}

void GFolderAdminView::parentCell(GSession& _session, MTextStream& _out, GFolder& _folder) {
  GDatabase& database = GApplication::get().getDatabase();
  MList folders;
  database.getFolders(folders);
  std::vector<std::pair<std::string, int>> options;
  for (MItem* item = folders.getFirstItem(); item != nullptr; item = folders.getNextItem(item)) {
    GFolder* candidate = static_cast<GFolder*>(item->object);
    // Never below itself or below one of its descendants: that would cut the branch off.
    if (candidate->id == _folder.id || database.isChildFolder(candidate->id, _folder.id)) continue;
    // The current parent is always offered: without it the browser would preselect another
    // folder, and saving would move the folder unasked.
    bool current = candidate->id == _folder.parentId;
    if (!current && candidate->imageFolder) continue;
    if (!current && !GRights::mayEditFolder(_session, *candidate)) continue;
    options.emplace_back(database.getFolderPath(candidate->id).getValue(), candidate->id);
  }
  std::stable_sort(options.begin(), options.end(),
                   [](const std::pair<std::string, int>& _a, const std::pair<std::string, int>& _b) {
                     return strcmp(_a.first.c_str(), _b.first.c_str()) < 0;
                   });
  _out << "<TD class=\"folderValue\"><SELECT class=\"value\" name=\"parent\""
          " onChange=\"activateUpdateButton();\">\n";
  for (const auto& option : options) {
    _out << "<OPTION value=\"" << option.second << "\""
         << (option.second == _folder.parentId ? " selected " : "") << ">"
         << GHtml::escape(option.first.c_str()).getValue() << "</OPTION>\n";
  }
  _out << "</SELECT></TD>\n";
}

void GFolderAdminView::ownerCell(GSession& _session, MTextStream& _out, GFolder& _folder) {
  _out << "<TD class=\"folderValue\"><SELECT class=\"value\" name=\"ownerId\""
          " onChange=\"activateUpdateButton();\">\n";
  MList users;
  if (GRights::mayChooseFolderOwner(_session)) {
    GApplication::get().getDatabase().getUsers(users);
  } else {
    users.addObject(_session.user.id, new GUser(_session.user), true);
  }
  for (MItem* item = users.getFirstItem(); item != nullptr; item = users.getNextItem(item)) {
    GUser* user = static_cast<GUser*>(item->object);
    _out << "<OPTION value=\"" << user->id << "\""
         << (user->id == _folder.ownerId ? " selected " : "") << ">"
         << GView::personName(*user).getValue() << "</OPTION>\n";
  }
  _out << "</SELECT></TD>\n";
}

void GFolderAdminView::folderButtons(GSession& _session, MTextStream& _out, int _parent,
                                     int _selected) {
  GApplication& application = GApplication::get();
  _out << "<TABLE width=\"100%\"><TR>\n";
  MList param;
  param.setObject("page", GIds::PAGE_FOLDER_LIST_FRAME);
  param.setObject("requestId", application.nextRequestId());
  if (GRights::mayEditFolder(_session, _parent)) {
    param.setObject("action", GIds::ACTION_CREATE_FOLDER);
    param.setObject("Folder.parent", _parent);
    param.setObject("Folder.imageFolder", 0);
    param.setObject("Folder.name", application.translate(_session, "TEXT_NEW_FOLDER"));
    button(_session, _out, buttonStart, "mouseClick(this,parent,'", getUrl(_session, param),
           "BUTTON_NEW");
  }
  if (_selected != 0) {
    param.setObject("Folder.id", _selected);
    if (!application.getDatabase().hasChildFolders(_selected)) {
      param.setObject("page", GIds::PAGE_DELETE_FOLDER);
      forgetAction(param);
      button(_session, _out, buttonStart, "mouseClick(this,document,'", getUrl(_session, param),
             "BUTTON_DELETE");
    }
    param.setObject("page", GIds::PAGE_FOLDER_LIST_FRAME);
    param.setObject("action", GIds::ACTION_UPDATE_FOLDER);
    button(_session, _out, updateButtonStart, "updateFolder(this,parent,'",
           getUrl(_session, param), "BUTTON_UPDATE");
  }
  _out << "<TD> </TD>\n" << "</TR></TABLE>\n";
}

void GFolderAdminView::button(GSession& _session, MTextStream& _out, const char* _start,
                              const char* _call, const MString& _url, const char* _key) {
  _out << _start << buttonStyle << hover << "onClick=\"" << _call << _url.getValue() << "')\">"
       << GApplication::get().translate(_session, _key) << "</TD>\n";
}

void GFolderAdminView::page_folder_delete(GSession& _session, MTextStream& _out, MList& _params,
                                          MString& _contentType) try {
  if (!GRights::mayAdministerFolders(_session) || _params.getObject("Folder.id") == nullptr) return;
  int id = paramInt(_params, "Folder.id");
  // Only whoever may edit the folder is asked whether to delete it.
  if (id == 0 || !GRights::mayEditFolder(_session, id)) return;
  GApplication& application = GApplication::get();
  standardHead(_session, _out);
  _out << "<BODY>\n";
  GFolder folder;
  if (application.getDatabase().getFolder(id, folder) >= 0) {
    _out << "<HR>\n" << "<TABLE><TR class=\"dialogTitle\"><TD>"
         << application.translate(_session, "TITLE_DELETE_FOLDER") << "</TD></TR></TABLE>\n"
         << "<HR>\n";
    _out << "<P class=\"dialogText\">"
         << application.translate(_session, "QUESTION_DELETE_FOLDER") << " ( "
         << GHtml::escape(folder.name.getValue()).getValue() << " )?</P>" << "<HR>\n";
    _out << "<TABLE width=\"100%\"><TR>\n";
    MString session = GView::sessionInUrl(_session);
    button(_session, _out, buttonStart, "mouseClick(this,parent,'",
           MString::format("/?session=%s&page=%d&requestId=%d&action=%d&Folder.id=%d"
                           "&Folder.parent=%d",
                           session.getValue(), GIds::PAGE_FOLDER_LIST_FRAME,
                           application.nextRequestId(), GIds::ACTION_DELETE_FOLDER, id,
                           folder.parentId),
           "BUTTON_YES");
    button(_session, _out, buttonStart, "mouseClick(this,parent,'",
           MString::format("/?session=%s&page=%d&requestId=%d&Folder.id=%d&Folder.parent=%d",
                           session.getValue(), GIds::PAGE_FOLDER_LIST_FRAME,
                           application.nextRequestId(), id, folder.parentId),
           "BUTTON_NO");
    _out << "<TD> </TD>\n" << "</TR></TABLE>\n";
  }
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GFolderAdminView::page_folder_delete(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")
