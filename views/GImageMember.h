#ifndef VISTREL_GIMAGEMEMBER_H
#define VISTREL_GIMAGEMEMBER_H

#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GUser.h"
#include "lib/core/MList.h"
#include "lib/core/MTextStream.h"
#include "views/GSession.h"

// One member of the image-page family: a group of images that a view shows as a grid of
// thumbnails and as a detail page of one image, with a selector page choosing between the
// two. The members differ in their list, page ids, view-state keys, links and buttons; this
// table says how (one row per group, its fields named), and GImagePages writes the pages
// from it.
class GImageMember {
 public:
  enum Group {
    FOLDER_IMAGES,          // the images published in a folder
    PUBLISHING,             // the user's own images, published or not in a folder
    OWN_IMAGES,             // the user's own images
    SEARCH_RESULT,          // the images the last search found
    WAITING_IMAGES,         // images waiting for an administrator's acceptance
    WAITING_PUBLICATIONS,   // publications waiting for acceptance
  };
  static constexpr int GROUPS = WAITING_PUBLICATIONS + 1;

  // Who may see the member's pages.
  enum Access { ANYONE, LOGGED_IN, ADMINISTRATOR };

  // What a page of a member works with while it is written.
  struct Context {
    Context(GSession& _session, const GImageMember& _member);
    GSession& session;
    const GImageMember& member;
    bool administrator;
    // The folder of the folder groups (0 for the others).
    int folder;
    // The grid page shown (grids only).
    int gridPage;
    // The statuses of the user's publications by (folder, image): the publishing group's
    // states. (The database keys them by coordinate objects, which compare by identity.)
    std::map<std::pair<int, int>, int> links;
    // The owners' names as shown, by user id: read once per page, since a grid shows few
    // owners many times.
    std::unordered_map<int, MString> ownerNames;
    // Where a grid puts each tile together; kept from tile to tile for its room.
    std::string tile;
  };

  // One entry of the list, with what the pages show of it.
  struct Shown {
    GImage image;
    MString ownerName;  // "first last", escaped for HTML
    GFolder folder;   // the folder of a publication
    int folderId = -1;
    int linkStatus = -1;  // the publication's status, -1 without one
    int state = -1;       // publishing group: 0 waiting, 1 published, 2 denied, 3 not published
  };

  static const GImageMember& get(Group _group);
  // The group whose detail page is _page; false when it is none.
  static bool byDetailPage(int _page, Group& _group);

  // The row's own group: the table is in the order of the groups.
  Group group = FOLDER_IMAGES;
  // The page ids (GIds) of the selector, the grid and the detail page.
  int selectorPage = -1;
  int gridPage = -1;
  int detailPage = -1;
  Access access = ADMINISTRATOR;
  // View-state keys: the grid page, the image shown alone (its presence selects the detail
  // page), the detail page's ordinal (written only when storesOrdinal) and the folder whose
  // grid page is remembered (null when the grid page does not depend on a folder).
  const char* gridPageKey = nullptr;
  const char* imageKey = nullptr;
  const char* ordinalKey = nullptr;
  bool storesOrdinal = false;
  const char* folderKey = nullptr;
  // Whether the folder comes from `Folder.id` (the folder groups).
  bool readsFolder = false;
  bool pagingBarWhenEmpty = false;

  // The URL patterns below (GUrlPattern) name the page they lead to as {page}; the writer
  // fills it with the page id the field's comment gives.
  const char* gridBody = nullptr;
  // The thumbnail's link to the detail page, and the paging bar's parameters (its links
  // lead to the selector page).
  const char* detailUrl = nullptr;
  const char* gridPaging = nullptr;

  const char* detailBody = nullptr;
  // Whether everybody who sees the detail page may edit it; otherwise only the image's
  // owner and administrators may.
  bool alwaysEditable = false;
  // The detail page's button back to the grid page, its update button (to the detail page,
  // carrying out {action}, the update of the image) and its paging bar's parameters (to the
  // detail page).
  const char* backUrl = nullptr;
  const char* updateUrl = nullptr;
  const char* detailPaging = nullptr;

  // The entries of the member's list in walking order and after its filter; they point
  // into _storage or into the session.
  void (*collect)(Context& _context, MList& _storage, std::vector<MObject*>& _entries) = nullptr;
  // One part of the same list where the database gives it without the whole list (null
  // otherwise): the entries from number _first on, at most _max; returns the number of all.
  int (*part)(Context& _context, int _first, int _max, MList& _storage,
              std::vector<MObject*>& _entries) = nullptr;
  // Reads what the pages show of an entry; false when something needed cannot be read.
  bool (*resolve)(Context& _context, MObject* _entry, Shown& _shown) = nullptr;
  // The grid cell's title (HTML, escaped, appended to _text), the suffix of its class and its
  // column span.
  void (*title)(Context& _context, Shown& _shown, std::string& _text, const char*& _suffix,
                int& _span) = nullptr;
  // The grid cell's buttons and status cell; they lead back to the selector page.
  void (*buttons)(Context& _context, Shown& _shown, MTextStream& _out) = nullptr;
  // What the grid says instead of cells when the list is empty.
  void (*empty)(Context& _context, MTextStream& _out) = nullptr;
  // The accept and deny buttons of the detail page (null where it decides nothing); they
  // lead back to the grid.
  void (*decisions)(Context& _context, Shown& _shown, MString& _buttons) = nullptr;

  // Whether the session may see the member's pages.
  bool allows(GSession& _session) const;

  // A button cell of a grid, and a status cell.
  static void button(Context& _context, MTextStream& _out, const char* _textKey,
                     const char* _target, const MString& _url);
  static void statusCell(MTextStream& _out, const char* _suffix, const char* _text);
  // An accept (_accept) or deny button, each in its own look. In a grid (_inPlace) the
  // decision is sent in the background and the tile stays where it is, showing the outcome
  // instead of its buttons, so that no other tile's button moves under the pointer; the
  // grid is new only when it is loaded again. Otherwise the button loads _url.
  static MString decisionButton(Context& _context, bool _accept, const MString& _url,
                                bool _inPlace);
  // The class suffix of an image or link status, "" for an unknown one.
  static const char* statusSuffix(int _status);
};

#endif
