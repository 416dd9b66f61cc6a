#include "views/GImagePages.h"

#include <climits>
#include <string>
#include <vector>

#include "db/GDatabase.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GInfoView.h"
#include "views/GMessage.h"
#include "views/GRights.h"
#include "views/GUrlPattern.h"

namespace {

const int IMAGES_PER_PAGE = 8;
const int IMAGES_PER_ROW = 4;

const char* text(GSession& _session, const char* _key) {
  return GApplication::get().translate(_session, _key);
}

// The number of the last page of _count entries, _perPage to a page; 1 for none.
int lastPage(int _count, int _perPage) {
  int pages = _count / _perPage + (_count % _perPage != 0 ? 1 : 0);
  return pages > 0 ? pages : 1;
}

// A row of the detail page that shows a value: "<TR><TD class=\"imageAttribute\">" label
// "</TD><TD class=\"imageValue\">" value "</TD></TR>\n".
void valueRow(GSession& _session, MTextStream& _out, const char* _label, const char* _value) {
  _out << "<TR><TD class=\"imageAttribute\">" << text(_session, _label)
       << "</TD><TD class=\"imageValue\">" << _value << "</TD></TR>\n";
}

MString sizeText(GImage& _image) {
  return MString::format("%d x %d / %d bytes", _image.width, _image.height, _image.size);
}

// An input of the edit form whose change makes the update button usable: the value is
// escaped for the attribute, and for the script string it is compared with.
void inputRow(GSession& _session, MTextStream& _out, const char* _label, const char* _input,
              const char* _field, const MString& _value) {
  _out << "<TR><TD class=\"imageAttribute\">" << text(_session, _label) << "</TD>\n"
       << "<TD class=\"imageValue\"><INPUT class=\"value\" " << _input << " type=\"text\" name=\""
       << _field << "\" value=\"" << GHtml::escape(_value.getValue()).getValue()
       << "\" onKeyUp=\"if (document.Image." << _field << ".value != '"
       << GHtml::escapeScript(_value.getValue()).getValue()
       << "') activateUpdateButton();\"></TD></TR>\n";
}

void textAreaRow(GSession& _session, MTextStream& _out, const char* _label, const char* _field,
                 int _rows, const MString& _value) {
  _out << "<TR><TD class=\"imageAttribute\">" << text(_session, _label) << "</TD>\n"
       << "<TD class=\"imageValue\"><TEXTAREA class=\"value\" name=\"" << _field
       << "\" style=\"width: 100%;\" rows=\"" << _rows << "\" onKeyUp=\"if (document.Image."
       << _field << ".value != '" << GHtml::escapeScript(_value.getValue()).getValue()
       << "') activateUpdateButton();\">";
  // The browser drops a line break that comes right after the opening tag: one more keeps a
  // text that starts with one from losing it when the form is saved again.
  const char* value = _value.getValue();
  if (value[0] == '\n' || value[0] == '\r') _out << "\n";
  _out << GHtml::escape(value).getValue() << "</TEXTAREA></TD></TR>\n";
}

}  // namespace

const char* const GImagePages::LIST_PARAM = "list";

GImagePages::GImagePages() {}

GImagePages::~GImagePages() {}

int GImagePages::requestedFolder(GSession& _session, MList& _params) {
  int folder = 0;
  if (_params.getObject("Folder.id") != nullptr) {
    folder = paramInt(_params, "Folder.id");
  } else if (_session.viewState.getObject("Folder.id") != nullptr) {
    folder = toInt(_session.viewState.getObject("Folder.id"));
  }
  return folder > 0 ? folder : 0;
}

int GImagePages::requestedNumber(MList& _params, MObject* _remembered) {
  int number = 1;
  if (_params.getObject("pagenum") != nullptr) {
    number = paramInt(_params, "pagenum");
  } else if (_remembered != nullptr) {
    number = toInt(_remembered);
  }
  return number > 0 ? number : 1;
}

int GImagePages::listPart(GImageMember::Context& _context, int _first, int _max,
                          MList& _storage, std::vector<MObject*>& _entries) {
  const GImageMember& member = _context.member;
  _entries.clear();
  if (member.part != nullptr) return member.part(_context, _first, _max, _storage, _entries);
  std::vector<MObject*> all;
  _storage.clear();
  member.collect(_context, _storage, all);
  int count = (int)all.size();
  for (int j = _first; j < count && j - _first < _max; ++j) _entries.push_back(all[(size_t)j]);
  return count;
}

bool GImagePages::showsDetail(GImageMember::Group _group, GSession& _session) {
  return _session.viewState.getObject(GImageMember::get(_group).imageKey) != nullptr;
}

void GImagePages::selector(GImageMember::Group _group, GSession& _session, MTextStream& _out,
                           MList& _params, const Extras& _extras) try {
  if (showsDetail(_group, _session)) {
    detail(_group, _session, _out, _params, _extras);
  } else {
    grid(_group, _session, _out, _params, _extras);
  }
} M_RETHROW("void GImagePages::selector(Group _group,GSession& _session,MTextStream& _out,MList& _params,Extras& _extras)")

void GImagePages::grid(GImageMember::Group _group, GSession& _session, MTextStream& _out,
                       MList& _params, const Extras& _extras) try {
  const GImageMember& member = GImageMember::get(_group);
  if (!member.allows(_session)) return;
  GImageMember::Context context(_session, member);
  if (member.readsFolder) context.folder = requestedFolder(_session, _params);

  // The remembered page of a folder group belongs to the folder it was remembered for.
  MObject* remembered = _session.viewState.getObject(member.gridPageKey);
  if (member.folderKey != nullptr &&
      toInt(_session.viewState.getObject(member.folderKey)) != context.folder) {
    remembered = nullptr;
  }
  int page = requestedNumber(_params, remembered);
  _session.viewState.setObject(member.gridPageKey, page);
  if (member.folderKey != nullptr) _session.viewState.setObject(member.folderKey, context.folder);
  _session.viewState.deleteObject(member.imageKey);

  standardHead(_session, _out);
  _out << member.gridBody;
  GMessage::write(_session, _out, _params);
  MList storage;
  std::vector<MObject*> entries;
  // A page far beyond any list is asked for as the last one that can be counted.
  int asked = page < INT_MAX / IMAGES_PER_PAGE ? page : INT_MAX / IMAGES_PER_PAGE;
  int count = listPart(context, (asked - 1) * IMAGES_PER_PAGE, IMAGES_PER_PAGE, storage, entries);
  // After deletions a remembered page may lie beyond the end: show the last one.
  if (page > lastPage(count, IMAGES_PER_PAGE)) {
    page = lastPage(count, IMAGES_PER_PAGE);
    count = listPart(context, (page - 1) * IMAGES_PER_PAGE, IMAGES_PER_PAGE, storage, entries);
  }
  context.gridPage = page;
  if (count == 0) member.empty(context, _out);

  int first = (page - 1) * IMAGES_PER_PAGE;
  int written = 0;
  for (int j = first; j - first < (int)entries.size(); ++j) {
    GImageMember::Shown shown;
    if (!member.resolve(context, entries[(size_t)(j - first)], shown)) continue;
    if (written % IMAGES_PER_ROW == 0) _out << "<TABLE cellspacing=\"8\"><TR>";
    gridCell(context, shown, j + 1, _out);
    if (++written % IMAGES_PER_ROW == 0) _out << "</TR></TABLE><HR>\n";
  }
  if (written % IMAGES_PER_ROW != 0) _out << "</TR></TABLE><HR>\n";

  if (count > 0 || member.pagingBarWhenEmpty) {
    GUrlPattern::Values values;
    values.page = member.selectorPage;
    values.folder = context.folder;
    values.gridPage = page;
    MList paging;
    GUrlPattern::fill(_session, member.gridPaging, values, paging);
    pageNumbers(_session, _out, count, page, IMAGES_PER_PAGE, paging, "");
    _out << "<HR>\n";
  }
  if (_extras) _extras();
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GImagePages::grid(Group _group,GSession& _session,MTextStream& _out,MList& _params,Extras& _extras)")

void GImagePages::gridCell(GImageMember::Context& _context, GImageMember::Shown& _shown,
                           int _ordinal, MTextStream& _out) try {
  const GImageMember& member = _context.member;
  std::string title;
  const char* suffix = "";
  int span = 2;
  member.title(_context, _shown, title, suffix, span);
  GUrlPattern::Values values;
  values.page = member.detailPage;
  values.folder = _shown.folderId;
  values.image = _shown.image.id;
  values.ordinal = _ordinal;
  MString preview = GApplication::get().getPreview1Url(_context.session, _shown.image.id);

  // The tile is put together in one piece and written at once.
  std::string& cell = _context.tile;
  cell.clear();
  cell.reserve(1024);
  cell += "<TD><TABLE width=\"160\" cellspacing=\"0\" cellpadding=\"0\"><TR>";
  cell += "<TD class=\"imageTitle";
  cell += suffix;
  cell += "\" colspan=\"";
  cell += std::to_string(span);
  cell += "\">";
  cell += title;
  cell += "</TD>\n</TR><TR><TD colspan=\"";
  cell += std::to_string(span);
  cell += "\" align=\"center\" onClick=\"mouseClick(this,document,'";
  GUrlPattern::append(cell, _context.session, member.detailUrl, values);
  cell += "')\"><IMG src=\"";
  cell += preview.getValue();
  // The large preview is the small one at twice its pixels.
  cell += "\" srcset=\"";
  cell += GApplication::get().getPreview2Url(_context.session, _shown.image.id).getValue();
  cell += " 2x\" height=\"120\"></TD>\n</TR><TR>";
  _out << cell;
  member.buttons(_context, _shown, _out);
  _out << "</TR></TABLE></TD>\n";
} M_RETHROW("void GImagePages::gridCell(Context& _context,Shown& _shown,int _ordinal,MTextStream& _out)")

void GImagePages::detail(GImageMember::Group _group, GSession& _session, MTextStream& _out,
                         MList& _params, const Extras& _extras, const Extras& _lead) try {
  const GImageMember& member = GImageMember::get(_group);
  if (!member.allows(_session)) return;
  GImageMember::Context context(_session, member);
  if (member.readsFolder) context.folder = requestedFolder(_session, _params);
  int ordinal = requestedNumber(_params, _session.viewState.getObject(member.ordinalKey));
  if (member.storesOrdinal) _session.viewState.setObject(member.ordinalKey, ordinal);

  MList storage;
  std::vector<MObject*> entries;
  int count = listPart(context, ordinal - 1, 1, storage, entries);
  if (ordinal > lastPage(count, 1)) {
    ordinal = lastPage(count, 1);
    count = listPart(context, ordinal - 1, 1, storage, entries);
  }

  GImageMember::Shown shown;
  bool found = !entries.empty() && member.resolve(context, entries[0], shown);
  standardHead(_session, _out);
  // The body of a member that always edits focuses the edit form: without an image there
  // is no form to focus, and the handler would fail.
  _out << (found || !member.alwaysEditable ? member.detailBody : "<BODY>\n");
  if (_lead) _lead();
  GMessage::write(_session, _out, _params);
  bool editable = false;
  if (found) {
    _session.viewState.setObject(member.imageKey, shown.image.id);
    // Its owner learns why nobody else sees it yet; in the queue itself it goes unsaid.
    if (shown.image.status == GIMAGE_WAITING && _group != GImageMember::WAITING_IMAGES) {
      GMessage::line(_session, _out, GMessage::NOTE, "MESSAGE_IMAGE_WAITING");
    }
    editable = member.alwaysEditable || context.administrator ||
               shown.image.user == _session.user.id;
    MString window = windowUrl(context, shown.image.id, ordinal);
    if (editable) {
      editForm(_session, shown, window, _out);
    } else {
      readOnlyTable(_session, shown, window, _out);
    }
  }

  GUrlPattern::Values values;
  values.folder = context.folder;
  values.image = found ? shown.image.id : -1;
  values.ordinal = ordinal;
  values.gridPage = (ordinal - 1) / IMAGES_PER_PAGE + 1;
  // The same place in the list, in a link to _page that carries out _action (-1: none).
  auto toPage = [&values](int _page, int _action) {
    GUrlPattern::Values link = values;
    link.page = _page;
    link.action = _action;
    return link;
  };
  MString buttons("<TD");
  buttons += " class=\"pageNum\" bgColor=\"#E0E0E0\" ";
  buttons += hover;
  buttons += "onClick=\"mouseClick(this,document,'";
  buttons += GUrlPattern::expand(_session, member.backUrl, toPage(member.gridPage, -1));
  buttons += "')\"><IMG src=\"/images/multiview.gif\"></TD><TD width=\"20\"></TD>\n";
  // Without an image there is nothing to update.
  if (editable) {
    buttons += "<TD class=\"pageButton\" ";
    buttons += hover;
    buttons += " bgColor=\"#FEFEFE\" id=\"updateButton\" onClick=\"updateImage(this,document,'";
    buttons += GUrlPattern::expand(_session, member.updateUrl,
                                   toPage(member.detailPage, GIds::ACTION_UPDATE_IMAGE));
    buttons += "')\">";
    buttons += text(_session, "BUTTON_UPDATE");
    buttons += "</TD>\n";
  }
  if (found && member.decisions != nullptr) {
    context.gridPage = values.gridPage;
    buttons += "<TD width=\"20\"></TD>\n";
    member.decisions(context, shown, buttons);
  }
  MList paging;
  GUrlPattern::fill(_session, member.detailPaging, toPage(member.detailPage, -1), paging);
  pageNumbers(_session, _out, count, ordinal, 1, paging, buttons.getValue());
  _out << "<HR>\n";
  if (_extras) _extras();
  _out << "</BODY>\n" << "</HTML>\n";
} M_RETHROW("void GImagePages::detail(Group _group,GSession& _session,MTextStream& _out,MList& _params,Extras& _extras)")

MString GImagePages::windowUrl(GImageMember::Context& _context, int _imageId, int _ordinal) {
  MString url = GApplication::get().getImageWindowUrl(_context.session, _imageId);
  url += MString::format("&%s=%d&pagenum=%d", LIST_PARAM, _context.member.detailPage, _ordinal);
  if (_context.member.readsFolder) url += MString::format("&Folder.id=%d", _context.folder);
  return url;
}

void GImagePages::neighbourUrls(GSession& _session, MList& _params, MString& _previous,
                                MString& _next, int* _position, int* _count) try {
  _previous = MString();
  _next = MString();
  if (_position != nullptr) *_position = 0;
  if (_count != nullptr) *_count = 0;
  GImageMember::Group group;
  if (!GImageMember::byDetailPage(paramInt(_params, LIST_PARAM), group)) return;
  const GImageMember& member = GImageMember::get(group);
  if (!member.allows(_session)) return;
  GImageMember::Context context(_session, member);
  if (member.readsFolder) context.folder = requestedFolder(_session, _params);
  int ordinal = requestedNumber(_params, nullptr);
  if (ordinal >= INT_MAX - 1) return;
  int first = ordinal >= 2 ? ordinal - 2 : 0;
  MList storage;
  std::vector<MObject*> entries;
  int count = listPart(context, first, 3, storage, entries);
  if (_position != nullptr && ordinal <= count) *_position = ordinal;
  if (_count != nullptr && ordinal <= count) *_count = count;
  for (size_t i = 0; i < entries.size(); ++i) {
    int at = first + (int)i + 1;
    if (at != ordinal - 1 && at != ordinal + 1) continue;
    GImageMember::Shown shown;
    if (!member.resolve(context, entries[i], shown)) continue;
    (at < ordinal ? _previous : _next) = windowUrl(context, shown.image.id, at);
  }
} M_RETHROW("void GImagePages::neighbourUrls(GSession& _session,MList& _params,MString& _previous,MString& _next)")

void GImagePages::imageCell(GSession& _session, GImageMember::Shown& _shown,
                            const MString& _window, bool _clickable, const char* _clickEnd,
                            MTextStream& _out) {
  _out << "<TD width=\"10%\" align=\"center\"";
  if (_clickable) {
    _out << " onClick=\"openImageWindow('" << _window.getValue() << _clickEnd;
  } else {
    _out << ">";
  }
  _out << largePreviewTag(_session, _shown.image.id).getValue() << "</TD>\n";
}

MString GImagePages::largePreviewTag(GSession& _session, int _imageId) {
  GApplication& application = GApplication::get();
  MString tag("<IMG src=\"");
  tag += application.getPreview2Url(_session, _imageId);
  if (GInfoView::hasFile("preview2x", _imageId)) {
    tag += "\" srcset=\"";
    tag += application.getImageFileUrl(_session, GIds::PAGE_PREVIEW2X, _imageId);
    tag += " 2x";
  }
  tag += "\" height=\"240\">";
  return tag;
}

void GImagePages::editForm(GSession& _session, GImageMember::Shown& _shown,
                           const MString& _window, MTextStream& _out) try {
  GImage& image = _shown.image;
  _out << "<FORM name=\"Image\" class=\"input\"><TABLE width=\"100%\" cellspacing=\"8\"><TR>\n";
  imageCell(_session, _shown, _window, true, "');\">", _out);
  _out << "<TD valign=\"top\"><TABLE width=\"100%\">\n";
  valueRow(_session, _out, "LABEL_IMAGE_NUMBER", MString::format("%d", image.id).getValue());
  valueRow(_session, _out, "LABEL_IMAGE_SIZE", sizeText(image).getValue());
  inputRow(_session, _out, "LABEL_IMAGE_DATE", "size=\"10\"", "imageDate", image.date);
  inputRow(_session, _out, "LABEL_IMAGE_NAME", "style=\"width: 100%;\"", "name", image.name);
  textAreaRow(_session, _out, "LABEL_IMAGE_KEYWORDS", "keywords", 3, image.keywords);
  textAreaRow(_session, _out, "LABEL_IMAGE_DESCRIPTION", "description", 5, image.description);
  _out << "</TABLE></TD>\n" << "</TR></TABLE></FORM><HR>\n";
} M_RETHROW("void GImagePages::editForm(GSession& _session,Shown& _shown,MTextStream& _out)")

void GImagePages::readOnlyTable(GSession& _session, GImageMember::Shown& _shown,
                                const MString& _window, MTextStream& _out) try {
  GImage& image = _shown.image;
  // The viewer is for everyone who sees the preview; the original only with the right.
  _out << "<TABLE width=\"100%\" cellspacing=\"8\"><TR>\n";
  imageCell(_session, _shown, _window, true, "')\">", _out);
  _out << "<TD valign=\"top\"><TABLE width=\"100%\">\n";
  valueRow(_session, _out, "LABEL_IMAGE_NUMBER", MString::format("%d", image.id).getValue());
  valueRow(_session, _out, "LABEL_IMAGE_SIZE", sizeText(image).getValue());
  valueRow(_session, _out, "LABEL_IMAGE_OWNER", _shown.ownerName.getValue());
  valueRow(_session, _out, "LABEL_IMAGE_DATE", GHtml::escape(image.date.getValue()).getValue());
  valueRow(_session, _out, "LABEL_IMAGE_NAME", GHtml::escape(image.name.getValue()).getValue());
  valueRow(_session, _out, "LABEL_IMAGE_KEYWORDS",
           GHtml::escape(image.keywords.getValue()).getValue());
  valueRow(_session, _out, "LABEL_IMAGE_DESCRIPTION",
           GHtml::escape(image.description.getValue()).getValue());
  _out << "</TABLE></TD>\n" << "</TR></TABLE><HR>\n";
} M_RETHROW("void GImagePages::readOnlyTable(GSession& _session,Shown& _shown,MTextStream& _out)")
