#include "views/GImageMember.h"

#include <climits>
#include <string>

#include "db/GDatabase.h"
#include "db/GImageFolder.h"
#include "db/GResultList.h"
#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GMessage.h"
#include "views/GRights.h"
#include "views/GUrlPattern.h"

namespace {

const char* const hover = " onmouseover=\"mouseOver(this)\" onmouseout=\"mouseOut(this)\" ";

// Publishing states beyond the three statuses.
const int NOT_PUBLISHED = 3;

GDatabase& database() { return GApplication::get().getDatabase(); }

const char* text(GImageMember::Context& _context, const char* _key) {
  return GApplication::get().translate(_context.session, _key);
}

MString ownerName(GUser& _owner) {
  MString name = GHtml::escape(_owner.firstname.getValue());
  name += " ";
  name += GHtml::escape(_owner.lastname.getValue());
  return name;
}

// The name of the owner _user into _shown, read once per page; _known is that user when the
// caller holds it already. False when the owner cannot be read.
bool readOwner(GImageMember::Context& _context, int _user, GImageMember::Shown& _shown,
               GUser* _known = nullptr) {
  auto known = _context.ownerNames.find(_user);
  if (known == _context.ownerNames.end()) {
    GUser read;
    if (_known == nullptr && database().getUser(_user, read) < 0) return false;
    known = _context.ownerNames.emplace(_user, ownerName(_known != nullptr ? *_known : read)).first;
  }
  _shown.ownerName = known->second;
  return true;
}

MString pixelSize(GImage& _image) {
  std::string text = std::to_string(_image.width) + " x " + std::to_string(_image.height);
  return MString(text.data(), (int)text.size());
}

// The values of a link of _shown that leads to page _page and carries out _action (-1: none).
GUrlPattern::Values valuesOf(GImageMember::Context& _context, GImageMember::Shown& _shown,
                             int _page, int _action) {
  GUrlPattern::Values values;
  values.page = _page;
  values.folder = _shown.folderId;
  values.image = _shown.image.id;
  values.gridPage = _context.gridPage;
  values.action = _action;
  values.user = _context.session.user.id;
  values.owner = _shown.image.user;
  return values;
}

// The link of a grid cell's button: _action through _pattern, back to the member's selector
// page.
MString gridButtonUrl(GImageMember::Context& _context, GImageMember::Shown& _shown, int _action,
                      const char* _pattern) {
  return GUrlPattern::expand(_context.session, _pattern,
                             valuesOf(_context, _shown, _context.member.selectorPage, _action));
}

// A button of a grid cell that carries out _action through the member's _pattern.
void actionButton(GImageMember::Context& _context, GImageMember::Shown& _shown,
                  MTextStream& _out, const char* _textKey, int _action, const char* _pattern) {
  GImageMember::button(_context, _out, _textKey, "document",
                       gridButtonUrl(_context, _shown, _action, _pattern));
}

// The accept or deny button of a grid cell: action _action through _pattern, decided in place.
void decideButton(GImageMember::Context& _context, GImageMember::Shown& _shown,
                  MTextStream& _out, bool _accept, int _action, const char* _pattern) {
  MString url = gridButtonUrl(_context, _shown, _action, _pattern);
  _out << GImageMember::decisionButton(_context, _accept, url, true).getValue();
}

// ---------------------------------------------------------------------------------------
// The lists

// The objects of a list from its last item to its first, or the other way round.
void walk(MList& _list, bool _backwards, std::vector<MObject*>& _entries) {
  if (_backwards) {
    for (MItem* item = _list.getLastItem(); item != nullptr; item = _list.getPrevItem(item)) {
      _entries.push_back(item->object);
    }
  } else {
    for (MItem* item = _list.getFirstItem(); item != nullptr; item = _list.getNextItem(item)) {
      _entries.push_back(item->object);
    }
  }
}

void collectFolderImages(GImageMember::Context& _context, MList& _storage,
                         std::vector<MObject*>& _entries) {
  database().getFolderImages(_context.folder, _storage);
  std::vector<MObject*> all;
  walk(_storage, true, all);
  // Only administrators see the publications that are waiting or were denied. The pictures
  // themselves are accepted ones (the database's choice), which everybody logged in may see.
  for (MObject* entry : all) {
    GImageFolder* link = dynamic_cast<GImageFolder*>(entry);
    if (link == nullptr) continue;
    if (_context.administrator || link->status == GIMAGE_ACCEPTED) _entries.push_back(entry);
  }
}

// The user's images, the newest first.
void collectOwnImages(GImageMember::Context& _context, MList& _storage,
                      std::vector<MObject*>& _entries) {
  _storage.setSortMode(true, false);
  database().getUserImages(_context.session.user.id, _storage);
  walk(_storage, false, _entries);
}

// The parts of the lists above that the database gives by themselves.
int partOfFolderImages(GImageMember::Context& _context, int _first, int _max, MList& _storage,
                       std::vector<MObject*>& _entries) {
  int count = database().getFolderImagesPage(_context.folder, !_context.administrator, _first,
                                             _max, _storage);
  walk(_storage, false, _entries);
  return count;
}

int partOfOwnImages(GImageMember::Context& _context, int _first, int _max, MList& _storage,
                    std::vector<MObject*>& _entries) {
  int count = database().getUserImagesPage(_context.session.user.id, _first, _max, _storage);
  walk(_storage, false, _entries);
  return count;
}

void collectPublishing(GImageMember::Context& _context, MList& _storage,
                       std::vector<MObject*>& _entries) {
  MList links;
  database().getUserImageFolders(_context.session.user.id, links);
  for (MItem* item = links.getFirstItem(); item != nullptr; item = links.getNextItem(item)) {
    GImageFolder* link = dynamic_cast<GImageFolder*>(item->object);
    if (link != nullptr) _context.links[std::make_pair(link->folder, link->image)] = link->status;
  }
  collectOwnImages(_context, _storage, _entries);
}

// The session holds the found ids; an entry is an image holding only its id, which
// resolveFound reads.
int partOfSearchResult(GImageMember::Context& _context, int _first, int _max, MList& _storage,
                       std::vector<MObject*>& _entries) {
  const std::vector<int>& found = _context.session.searchResults;
  GResultList result(_storage, true);
  int count = (int)found.size();
  int first = _first < 0 ? 0 : _first;
  for (int j = first; j < count && j - first < _max; ++j) {
    GImage* image = new GImage();
    image->id = found[(size_t)j];
    result.addRising(j, image);
    _entries.push_back(image);
  }
  return count;
}

void collectSearchResult(GImageMember::Context& _context, MList& _storage,
                         std::vector<MObject*>& _entries) {
  partOfSearchResult(_context, 0, INT_MAX, _storage, _entries);
}

void collectWaitingImages(GImageMember::Context& _context, MList& _storage,
                          std::vector<MObject*>& _entries) {
  database().getImagesByStatus(GIMAGE_WAITING, _storage);
  walk(_storage, false, _entries);
}

int partOfWaitingImages(GImageMember::Context& _context, int _first, int _max, MList& _storage,
                        std::vector<MObject*>& _entries) {
  int count = database().getImagesByStatusPage(GIMAGE_WAITING, _first, _max, _storage);
  walk(_storage, false, _entries);
  return count;
}

void collectWaitingPublications(GImageMember::Context& _context, MList& _storage,
                                std::vector<MObject*>& _entries) {
  database().getWaitingFolderImages(_storage);
  walk(_storage, false, _entries);
}

// ---------------------------------------------------------------------------------------
// Reading an entry

bool resolvePublished(GImageMember::Context& _context, MObject* _entry,
                      GImageMember::Shown& _shown) {
  GImageFolder* link = dynamic_cast<GImageFolder*>(_entry);
  if (link == nullptr || database().getImage(link->image, _shown.image) < 0) return false;
  if (!readOwner(_context, _shown.image.user, _shown)) return false;
  _shown.folderId = _context.folder;
  _shown.linkStatus = link->status;
  return true;
}

bool resolveOwn(GImageMember::Context& _context, MObject* _entry, GImageMember::Shown& _shown) {
  GImage* image = dynamic_cast<GImage*>(_entry);
  if (image == nullptr) return false;
  _shown.image = *image;
  readOwner(_context, _context.session.user.id, _shown, &_context.session.user);
  _shown.folderId = _context.folder;
  return true;
}

// The image's state in the folder: not published without a link; otherwise the image's own
// status while it is not accepted, and the link's once it is.
bool resolvePublishing(GImageMember::Context& _context, MObject* _entry,
                       GImageMember::Shown& _shown) {
  if (!resolveOwn(_context, _entry, _shown)) return false;
  auto link = _context.links.find(std::make_pair(_context.folder, _shown.image.id));
  if (link == _context.links.end()) {
    _shown.state = NOT_PUBLISHED;
  } else if (_shown.image.status != GIMAGE_ACCEPTED) {
    _shown.state = _shown.image.status;
  } else {
    _shown.state = link->second;
  }
  return true;
}

// The search result holds ids; the pages show the stored image.
bool resolveFound(GImageMember::Context& _context, MObject* _entry, GImageMember::Shown& _shown) {
  GImage* image = dynamic_cast<GImage*>(_entry);
  if (image == nullptr || database().getImage(image->id, _shown.image) < 0) return false;
  return readOwner(_context, _shown.image.user, _shown);
}

bool resolveWaitingImage(GImageMember::Context& _context, MObject* _entry,
                         GImageMember::Shown& _shown) {
  GImage* image = dynamic_cast<GImage*>(_entry);
  if (image == nullptr) return false;
  _shown.image = *image;
  return readOwner(_context, _shown.image.user, _shown);
}

// The publication's title is its folder's name; the owner is read but not needed.
bool resolveWaitingPublication(GImageMember::Context& _context, MObject* _entry,
                               GImageMember::Shown& _shown) {
  GImageFolder* link = dynamic_cast<GImageFolder*>(_entry);
  if (link == nullptr || database().getImage(link->image, _shown.image) < 0) return false;
  if (database().getFolder(link->folder, _shown.folder) < 0) return false;
  readOwner(_context, _shown.image.user, _shown);
  _shown.folderId = link->folder;
  _shown.linkStatus = link->status;
  return true;
}

// ---------------------------------------------------------------------------------------
// Titles

const char* const statusLabels[] = {"LABEL_WAIT", "LABEL_ACCEPTED", "LABEL_DENIED"};
const char* const stateLabels[] = {"LABEL_WAIT", "LABEL_PUBLISHED", "LABEL_DENIED",
                                   "LABEL_NOT_PUBLISHED"};

const char* label(GImageMember::Context& _context, const char* const* _labels, int _count,
                  int _value) {
  return _value >= 0 && _value < _count ? text(_context, _labels[_value]) : "";
}

void titleFolderImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                      std::string& _text, const char*& _suffix, int& _span) {
  _text += _shown.ownerName.getValue();
  _suffix = _context.administrator ? GImageMember::statusSuffix(_shown.linkStatus) : "";
  _span = _context.administrator ? 2 : 1;
}

void titlePublishing(GImageMember::Context& _context, GImageMember::Shown& _shown,
                     std::string& _text, const char*& _suffix, int& _span) {
  _text += label(_context, stateLabels, 4, _shown.state);
  _suffix =
      _shown.state == NOT_PUBLISHED ? "_unpublished" : GImageMember::statusSuffix(_shown.state);
  _span = 2;
}

void titleOwnImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                   std::string& _text, const char*& _suffix, int& _span) {
  _text += label(_context, statusLabels, 3, _shown.image.status);
  _suffix = GImageMember::statusSuffix(_shown.image.status);
  _span = 2;
}

void titleFound(GImageMember::Context& _context, GImageMember::Shown& _shown,
                std::string& _text, const char*& _suffix, int& _span) {
  _text += _shown.ownerName.getValue();
  _suffix = "";
  _span = 2;
}

void titleWaitingImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                       std::string& _text, const char*& _suffix, int& _span) {
  _text += _shown.ownerName.getValue();
  _suffix = "_wait";
  _span = 2;
}

void titleWaitingPublication(GImageMember::Context& _context, GImageMember::Shown& _shown,
                             std::string& _text, const char*& _suffix, int& _span) {
  _text += GHtml::escape(_shown.folder.name.getValue()).getValue();
  _suffix = "_wait";
  _span = 2;
}

// ---------------------------------------------------------------------------------------
// Buttons

const char* const folderActionUrl =
    "/?session={session}&page={page}&requestId={request}&action={action}&Folder.id={folder}"
    "&Image.id={image}&pagenum={gridPage}";

// Administrators decide publications; the others see the picture's size.
void buttonsFolderImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                        MTextStream& _out) {
  if (!_context.administrator) {
    GImageMember::statusCell(_out, "", pixelSize(_shown.image).getValue());
    return;
  }
  switch (_shown.linkStatus) {
    case GIMAGE_WAITING:
      decideButton(_context, _shown, _out, true, GIds::ACTION_ACCEPT_PUBLICATION, folderActionUrl);
      decideButton(_context, _shown, _out, false, GIds::ACTION_DENY_PUBLICATION, folderActionUrl);
      break;
    case GIMAGE_ACCEPTED:
      decideButton(_context, _shown, _out, false, GIds::ACTION_DENY_PUBLICATION, folderActionUrl);
      GImageMember::statusCell(_out, "_accepted", text(_context, "LABEL_ACCEPTED"));
      break;
    case GIMAGE_DENIED:
      decideButton(_context, _shown, _out, true, GIds::ACTION_ACCEPT_PUBLICATION, folderActionUrl);
      GImageMember::statusCell(_out, "_denied", text(_context, "LABEL_DENIED"));
      break;
  }
}

void buttonsPublishing(GImageMember::Context& _context, GImageMember::Shown& _shown,
                       MTextStream& _out) {
  const char* const url =
      "/?session={session}&page={page}&requestId={request}&action={action}&Folder.id={folder}"
      "&Image.id={image}&User.id={user}&pagenum={gridPage}";
  if (_shown.state == NOT_PUBLISHED) {
    actionButton(_context, _shown, _out, "BUTTON_PUBLISH", GIds::ACTION_PUBLISH_IMAGE, url);
  } else {
    // Withdrawing asks first: the button stands where Publish stood a moment before.
    MString target = gridButtonUrl(_context, _shown, GIds::ACTION_UNPUBLISH_IMAGE, url);
    MString question = text(_context, "QUESTION_UNPUBLISH_IMAGE");
    question += "?";
    _out << "<TD class=\"imageButton\" bgColor=\"#808080\"" << hover
         << "onClick=\"askFirst(this,document,'" << target.getValue() << "','"
         << GHtml::escapeScript(question.getValue()).getValue() << "')\">"
         << text(_context, "BUTTON_UNPUBLISH") << "</TD>\n";
  }
  const char* suffix = _shown.state == NOT_PUBLISHED ? "_unpublished"
                                                      : GImageMember::statusSuffix(_shown.state);
  GImageMember::statusCell(_out, suffix, "");
}

// The owner deletes (after a question that replaces the whole module); an administrator
// working in a session opened as the owner also accepts and denies.
void buttonsOwnImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                     MTextStream& _out) {
  auto deleteButton = [&]() {
    MString url = GUrlPattern::expand(
        _context.session, "/?session={session}&page={page}&requestId={request}&Image.id={image}",
        valuesOf(_context, _shown, GIds::PAGE_DELETE_IMAGE, -1));
    GImageMember::button(_context, _out, "BUTTON_DELETE", "parent", url);
  };
  if (_context.session.returnSessionId.getLength() == 0) {
    deleteButton();
    _out << "<TD class=\"imageStatusbar" << GImageMember::statusSuffix(_shown.image.status)
         << "\" bgColor=\"#C0C0C0\">" << "</TD>\n";
    return;
  }
  const char* const url =
      "/?session={session}&page={page}&requestId={request}&action={action}&pagenum={gridPage}"
      "&User.id={owner}&Image.id={image}";
  switch (_shown.image.status) {
    case GIMAGE_WAITING:
      decideButton(_context, _shown, _out, true, GIds::ACTION_ACCEPT_IMAGE, url);
      decideButton(_context, _shown, _out, false, GIds::ACTION_DENY_IMAGE, url);
      break;
    case GIMAGE_ACCEPTED:
      decideButton(_context, _shown, _out, false, GIds::ACTION_DENY_IMAGE, url);
      deleteButton();
      break;
    case GIMAGE_DENIED:
      decideButton(_context, _shown, _out, true, GIds::ACTION_ACCEPT_IMAGE, url);
      deleteButton();
      break;
  }
}

void buttonsFound(GImageMember::Context& _context, GImageMember::Shown& _shown,
                  MTextStream& _out) {
  GImageMember::statusCell(_out, "", pixelSize(_shown.image).getValue());
}

void buttonsWaitingImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                         MTextStream& _out) {
  const char* const url =
      "/?session={session}&page={page}&requestId={request}&action={action}&pagenum={gridPage}"
      "&User.id={owner}&Image.id={image}";
  decideButton(_context, _shown, _out, true, GIds::ACTION_ACCEPT_IMAGE, url);
  decideButton(_context, _shown, _out, false, GIds::ACTION_DENY_IMAGE, url);
}

// The detail pages of the two queues decide too, and go back to the grid page (_pattern),
// where the decided entry has left the queue.
void decideOnDetail(GImageMember::Context& _context, GImageMember::Shown& _shown,
                    MString& _buttons, const char* _pattern, int _accept, int _deny) {
  for (int action : {_accept, _deny}) {
    GUrlPattern::Values values = valuesOf(_context, _shown, _context.member.gridPage, action);
    _buttons += GImageMember::decisionButton(
        _context, action == _accept, GUrlPattern::expand(_context.session, _pattern, values),
        false);
  }
}

void decideWaitingImage(GImageMember::Context& _context, GImageMember::Shown& _shown,
                        MString& _buttons) {
  decideOnDetail(_context, _shown, _buttons,
                 "/?session={session}&page={page}&requestId={request}&action={action}"
                 "&pagenum={gridPage}&User.id={owner}&Image.id={image}",
                 GIds::ACTION_ACCEPT_IMAGE, GIds::ACTION_DENY_IMAGE);
}

void buttonsWaitingPublication(GImageMember::Context& _context, GImageMember::Shown& _shown,
                               MTextStream& _out) {
  const char* const url =
      "/?session={session}&page={page}&action={action}&requestId={request}&pagenum={gridPage}"
      "&Image.id={image}&Folder.id={folder}";
  decideButton(_context, _shown, _out, true, GIds::ACTION_ACCEPT_PUBLICATION, url);
  decideButton(_context, _shown, _out, false, GIds::ACTION_DENY_PUBLICATION, url);
}

void decideWaitingPublication(GImageMember::Context& _context, GImageMember::Shown& _shown,
                              MString& _buttons) {
  decideOnDetail(_context, _shown, _buttons,
                 "/?session={session}&page={page}&action={action}&requestId={request}"
                 "&pagenum={gridPage}&Image.id={image}&Folder.id={folder}",
                 GIds::ACTION_ACCEPT_PUBLICATION, GIds::ACTION_DENY_PUBLICATION);
}

// ---------------------------------------------------------------------------------------
// Empty lists

// An empty folder points those who may publish to the tab where they do.
void emptyFolder(GImageMember::Context& _context, MTextStream& _out) {
  MString hint;
  if (GRights::mayPublish(_context.session)) {
    hint = " ";
    hint += text(_context, "EMPTY_FOLDER_PUBLISH");
  }
  GMessage::line(_context.session, _out, GMessage::EMPTY, "EMPTY_FOLDER", hint.getValue());
}

void emptyOwnImages(GImageMember::Context& _context, MTextStream& _out) {
  GMessage::line(_context.session, _out, GMessage::EMPTY, "EMPTY_OWN_IMAGES");
}

// Only after a search: before the first one there is nothing to report. The words are
// repeated as they were searched for.
void emptySearchResult(GImageMember::Context& _context, MTextStream& _out) {
  MObject* words = _context.session.viewState.getObject("Search.words");
  if (words == nullptr || words->toString().getLength() == 0) return;
  MString repeated = " <SPAN class=\"searchWords\">";
  repeated += GHtml::escape(words->toString().getValue());
  repeated += "</SPAN>";
  GMessage::line(_context.session, _out, GMessage::EMPTY, "EMPTY_SEARCH", repeated.getValue());
}

void emptyWaitingImages(GImageMember::Context& _context, MTextStream& _out) {
  GMessage::line(_context.session, _out, GMessage::EMPTY, "EMPTY_WAITING_IMAGES");
}

void emptyWaitingPublications(GImageMember::Context& _context, MTextStream& _out) {
  GMessage::line(_context.session, _out, GMessage::EMPTY, "EMPTY_WAITING_PUBLICATIONS");
}

// ---------------------------------------------------------------------------------------
// The table

constexpr const char* focusBody = "<BODY onLoad=\"document.Image.imageDate.focus();\">\n";

constexpr GImageMember folderImages() {
  GImageMember row{};
  row.group = GImageMember::FOLDER_IMAGES;
  row.selectorPage = GIds::TAB_FOLDER;
  row.gridPage = GIds::PAGE_FOLDER_IMAGE_GRID;
  row.detailPage = GIds::PAGE_FOLDER_IMAGE_DETAIL;
  row.access = GImageMember::ANYONE;
  row.gridPageKey = "ImageFolderView.page";
  row.imageKey = "ImageFolderView.image";
  row.ordinalKey = "ImageFolderView.pagenum";
  row.storesOrdinal = true;
  row.folderKey = "ImageFolderView.folder";
  row.readsFolder = true;
  row.pagingBarWhenEmpty = true;
  row.gridBody = "<BODY>\n";
  row.detailUrl =
      "/?session={session}&page={page}&requestId={request}&Folder.id={folder}&pagenum={ordinal}";
  row.gridPaging = "requestId={request}&Folder.id={folder}&page={page}";
  row.detailBody = "<BODY>\n";
  row.alwaysEditable = false;
  row.backUrl =
      "/?session={session}&page={page}&requestId={request}&Folder.id={folder}&pagenum={gridPage}";
  row.updateUrl =
      "/?session={session}&page={page}&requestId={request}&action={action}&pagenum={ordinal}"
      "&Image.id={image}&Folder.id={folder}";
  row.detailPaging = "Folder.id={folder}&requestId={request}&page={page}";
  row.collect = collectFolderImages;
  row.part = partOfFolderImages;
  row.resolve = resolvePublished;
  row.title = titleFolderImage;
  row.buttons = buttonsFolderImage;
  row.empty = emptyFolder;
  return row;
}

constexpr GImageMember publishing() {
  GImageMember row{};
  row.group = GImageMember::PUBLISHING;
  row.selectorPage = GIds::TAB_PUBLISHING;
  row.gridPage = GIds::PAGE_PUBLISHING_GRID;
  row.detailPage = GIds::PAGE_PUBLISHING_DETAIL;
  row.access = GImageMember::LOGGED_IN;
  row.gridPageKey = "ImageFolderView.myImages.page";
  row.imageKey = "ImageFolderView.myImages.image";
  row.ordinalKey = "ImageFolderView.myImages.page";
  row.storesOrdinal = true;
  row.folderKey = "ImageFolderView.myImages.folder";
  row.readsFolder = true;
  row.pagingBarWhenEmpty = true;
  row.gridBody = "<BODY>\n";
  row.detailUrl =
      "/?session={session}&page={page}&pagenum={ordinal}&Image.id={image}&Folder.id={folder}";
  row.gridPaging = "page={page}&pagenum={gridPage}&Folder.id={folder}&requestId={request}";
  row.detailBody = focusBody;
  row.alwaysEditable = true;
  row.backUrl =
      "/?session={session}&page={page}&pagenum={gridPage}&requestId={request}&Folder.id={folder}";
  row.updateUrl =
      "/?session={session}&page={page}&requestId={request}&action={action}&pagenum={ordinal}"
      "&Image.id={image}";
  row.detailPaging = "Folder.id={folder}&requestId={request}&page={page}";
  row.collect = collectPublishing;
  row.resolve = resolvePublishing;
  row.title = titlePublishing;
  row.buttons = buttonsPublishing;
  row.empty = emptyOwnImages;
  return row;
}

constexpr GImageMember ownImages() {
  GImageMember row{};
  row.group = GImageMember::OWN_IMAGES;
  row.selectorPage = GIds::TAB_OWN_IMAGES;
  row.gridPage = GIds::PAGE_OWN_IMAGE_GRID;
  row.detailPage = GIds::PAGE_OWN_IMAGE_DETAIL;
  row.access = GImageMember::LOGGED_IN;
  row.gridPageKey = "UserView.page";
  row.imageKey = "UserView.image";
  row.ordinalKey = "UserView.page";
  row.storesOrdinal = true;
  row.pagingBarWhenEmpty = true;
  row.gridBody = "<BODY>\n";
  row.detailUrl = "/?session={session}&page={page}&pagenum={ordinal}&Image.id={image}";
  row.gridPaging = "requestId={request}&page={page}";
  row.detailBody = focusBody;
  row.alwaysEditable = true;
  row.backUrl = "/?session={session}&page={page}&pagenum={gridPage}&requestId={request}";
  row.updateUrl =
      "/?session={session}&page={page}&requestId={request}&action={action}&pagenum={ordinal}"
      "&Image.id={image}";
  row.detailPaging = "requestId={request}&page={page}";
  row.collect = collectOwnImages;
  row.part = partOfOwnImages;
  row.resolve = resolveOwn;
  row.title = titleOwnImage;
  row.buttons = buttonsOwnImage;
  row.empty = emptyOwnImages;
  return row;
}

constexpr GImageMember searchResult() {
  GImageMember row{};
  row.group = GImageMember::SEARCH_RESULT;
  row.selectorPage = GIds::PAGE_SEARCH_RESULT;
  row.gridPage = GIds::PAGE_SEARCH_RESULT_GRID;
  row.detailPage = GIds::PAGE_SEARCH_RESULT_DETAIL;
  row.access = GImageMember::LOGGED_IN;
  row.gridPageKey = "SearchView.page";
  row.imageKey = "SearchView.image";
  row.ordinalKey = "SearchView.page";
  row.storesOrdinal = true;
  row.pagingBarWhenEmpty = false;
  row.gridBody = "<BODY bgcolor=white>\n";
  row.detailUrl = "/?session={session}&page={page}&pagenum={ordinal}";
  row.gridPaging = "requestId={request}&page={page}";
  row.detailBody = "<BODY bgcolor=white style=\"font-family: Arial;\">\n";
  row.alwaysEditable = false;
  row.backUrl = "/?session={session}&page={page}&pagenum={gridPage}&requestId={request}";
  row.updateUrl =
      "/?session={session}&page={page}&requestId={request}&action={action}&pagenum={ordinal}"
      "&Image.id={image}";
  row.detailPaging = "requestId={request}&page={page}";
  row.collect = collectSearchResult;
  row.part = partOfSearchResult;
  row.resolve = resolveFound;
  row.title = titleFound;
  row.buttons = buttonsFound;
  row.empty = emptySearchResult;
  return row;
}

constexpr GImageMember waitingImages() {
  GImageMember row{};
  row.group = GImageMember::WAITING_IMAGES;
  row.selectorPage = GIds::TAB_WAITING_IMAGES;
  row.gridPage = GIds::PAGE_WAITING_IMAGE_GRID;
  row.detailPage = GIds::PAGE_WAITING_IMAGE_DETAIL;
  row.access = GImageMember::ADMINISTRATOR;
  row.gridPageKey = "ImageAccept.pageNum";
  row.imageKey = "ImageAccept.image";
  row.ordinalKey = "ImageAccept.pageNum";
  row.storesOrdinal = false;
  row.pagingBarWhenEmpty = true;
  row.gridBody = "<BODY>\n";
  row.detailUrl =
      "/?session={session}&page={page}&requestId={request}&pagenum={ordinal}&Image.id={image}";
  row.gridPaging = "requestId={request}&page={page}";
  row.detailBody = focusBody;
  row.alwaysEditable = true;
  row.backUrl =
      "/?session={session}&page={page}&requestId={request}&pagenum={gridPage}&Image.id={image}";
  row.updateUrl =
      "/?session={session}&page={page}&action={action}&requestId={request}&pagenum={ordinal}"
      "&Image.id={image}";
  row.detailPaging = "page={page}&requestId={request}&pagenum={ordinal}&Image.id={image}";
  row.collect = collectWaitingImages;
  row.part = partOfWaitingImages;
  row.resolve = resolveWaitingImage;
  row.title = titleWaitingImage;
  row.buttons = buttonsWaitingImage;
  row.empty = emptyWaitingImages;
  row.decisions = decideWaitingImage;
  return row;
}

constexpr GImageMember waitingPublications() {
  GImageMember row{};
  row.group = GImageMember::WAITING_PUBLICATIONS;
  row.selectorPage = GIds::TAB_WAITING_PUBLICATIONS;
  row.gridPage = GIds::PAGE_WAITING_PUBLICATION_GRID;
  row.detailPage = GIds::PAGE_WAITING_PUBLICATION_DETAIL;
  row.access = GImageMember::ADMINISTRATOR;
  row.gridPageKey = "FolderAccept.pageNum";
  row.imageKey = "FolderAccept.image";
  row.ordinalKey = "FolderAccept.pageNum";
  row.storesOrdinal = true;
  row.pagingBarWhenEmpty = true;
  row.gridBody = "<BODY>\n";
  row.detailUrl =
      "/?session={session}&page={page}&requestId={request}&pagenum={ordinal}&Image.id={image}"
      "&Folder.id={folder}";
  row.gridPaging = "requestId={request}&page={page}";
  row.detailBody = focusBody;
  row.alwaysEditable = true;
  row.backUrl = "/?session={session}&page={page}&requestId={request}&pagenum={gridPage}";
  row.updateUrl =
      "/?session={session}&page={page}&action={action}&requestId={request}&pagenum={ordinal}"
      "&Image.id={image}";
  row.detailPaging = "requestId={request}&page={page}&pagenum={ordinal}";
  row.collect = collectWaitingPublications;
  row.resolve = resolveWaitingPublication;
  row.title = titleWaitingPublication;
  row.buttons = buttonsWaitingPublication;
  row.empty = emptyWaitingPublications;
  row.decisions = decideWaitingPublication;
  return row;
}

// In the order of the groups.
constexpr GImageMember members[] = {folderImages(), publishing(),    ownImages(),
                                    searchResult(), waitingImages(), waitingPublications()};

// Every group has its row, in its place, with what every member needs.
constexpr bool wellFormed() {
  if (sizeof members / sizeof members[0] != GImageMember::GROUPS) return false;
  for (int i = 0; i < GImageMember::GROUPS; ++i) {
    const GImageMember& row = members[i];
    if (row.group != i || row.selectorPage < 0 || row.gridPage < 0 || row.detailPage < 0) {
      return false;
    }
    for (const char* text : {row.gridPageKey, row.imageKey, row.ordinalKey, row.gridBody,
                             row.detailUrl, row.gridPaging, row.detailBody, row.backUrl,
                             row.updateUrl, row.detailPaging}) {
      if (text == nullptr) return false;
    }
    if (row.collect == nullptr || row.resolve == nullptr || row.title == nullptr ||
        row.buttons == nullptr || row.empty == nullptr) {
      return false;
    }
  }
  return true;
}
static_assert(wellFormed(), "a row of the image table is missing, misplaced or incomplete");

}  // namespace

GImageMember::Context::Context(GSession& _session, const GImageMember& _member)
    : session(_session),
      member(_member),
      administrator(GRights::isAdministrator(_session)),
      folder(0),
      gridPage(1) {}

const GImageMember& GImageMember::get(Group _group) { return members[_group]; }

bool GImageMember::byDetailPage(int _page, Group& _group) {
  for (size_t i = 0; i < sizeof members / sizeof members[0]; ++i) {
    if (members[i].detailPage != _page) continue;
    _group = (Group)i;
    return true;
  }
  return false;
}

bool GImageMember::allows(GSession& _session) const {
  switch (access) {
    case LOGGED_IN: return GRights::isLoggedIn(_session);
    case ADMINISTRATOR: return GRights::mayDecideOnImages(_session);
    default: return true;
  }
}

void GImageMember::button(Context& _context, MTextStream& _out, const char* _textKey,
                          const char* _target, const MString& _url) try {
  _out << "<TD class=\"imageButton\" bgColor=\"#808080\"" << hover << "onClick=\"mouseClick(this,"
       << _target << ",'" << _url.getValue() << "')\">" << text(_context, _textKey) << "</TD>\n";
} M_RETHROW("void GImageMember::button(Context& _context,MTextStream& _out,char *_textKey,char *_target,MString& _url)")

void GImageMember::statusCell(MTextStream& _out, const char* _suffix, const char* _text) try {
  std::string cell = "<TD class=\"imageStatusbar";
  cell += _suffix;
  cell += "\">";
  cell += _text;
  cell += "</TD>\n";
  _out << cell;
} M_RETHROW("void GImageMember::statusCell(MTextStream& _out,char *_suffix,char *_text)")

MString GImageMember::decisionButton(Context& _context, bool _accept, const MString& _url,
                                     bool _inPlace) {
  MString cell = _accept ? "<TD class=\"acceptButton\"" : "<TD class=\"denyButton\"";
  cell += " bgColor=\"#808080\"";
  cell += hover;
  if (_inPlace) {
    cell += "onClick=\"decide(this,'";
    cell += _url;
    cell += _accept ? "','_accepted')\">" : "','_denied')\">";
  } else {
    cell += "onClick=\"mouseClick(this,document,'";
    cell += _url;
    cell += "')\">";
  }
  cell += text(_context, _accept ? "BUTTON_ACCEPT" : "BUTTON_DENY");
  cell += "</TD>\n";
  return cell;
}

const char* GImageMember::statusSuffix(int _status) {
  switch (_status) {
    case GIMAGE_WAITING: return "_wait";
    case GIMAGE_ACCEPTED: return "_accepted";
    case GIMAGE_DENIED: return "_denied";
    default: return "";
  }
}
