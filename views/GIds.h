#ifndef VISTREL_GIDS_H
#define VISTREL_GIDS_H

// The numbers that travel in the URLs: every page id (the `page` parameter) and every action
// (the `action` parameter) has its one name here, and the code writes and compares only the
// names (tests/layers/check_ids.py keeps it so). The numbers themselves stay as they are:
// browsers hold them in bookmarks and in the pages they have open.
//
// A page id belongs to one view: the hundreds name the view (0 the main view, 100 the user's
// own pages, 300 the user administration, 400 the image folders, 600 the introduction and
// the image files, 700 the search, 900 the folder administration, 1000 the acceptance, 1100
// the server's status, 1200 the links for people without an account), and
// the view that owns a page answers it (see webapp/GServlet's chain of views).
//
// Three kinds of page have a prefix of their own:
//   MODULE_  a page the main menu loads into the right-hand frame; also the value of the
//            `tab_main` parameter and view-state key, which names the module shown;
//   TAB_     a page a module's tab bar loads into the module's lower frame; also the value of
//            the module's tab parameter and view-state key;
//   PAGE_    every other page: frame sets, menus, grids, detail pages, dialogs and files.
class GIds {
 public:
  // The main view: the outer frame set, the frame set of title, top bar, area and status bar
  // (the login page while nobody is logged in), and its frames.
  static constexpr int PAGE_MAIN = 0;
  static constexpr int PAGE_SUBMAIN = 1;
  static constexpr int PAGE_TITLE = 2;
  static constexpr int PAGE_TOP_MENU = 3;
  static constexpr int PAGE_MAIN_MENU = 4;
  static constexpr int PAGE_MAIN_AREA = 5;
  static constexpr int PAGE_STATUS_BAR = 6;

  // The user's own pages: the account and the own images.
  static constexpr int MODULE_MY_INFORMATION = 100;
  static constexpr int PAGE_USER_MENU = 106;
  static constexpr int TAB_ACCOUNT = 107;
  static constexpr int PAGE_OWN_IMAGE_DETAIL = 108;
  static constexpr int TAB_OWN_IMAGES = 109;
  static constexpr int PAGE_OWN_IMAGE_GRID = 110;
  // The question before an own image is deleted.
  static constexpr int PAGE_DELETE_IMAGE = 111;

  // The user administration: list, form and the question before a deletion.
  static constexpr int MODULE_USER_ADMINISTRATION = 300;
  static constexpr int PAGE_USER_LIST_FRAME = 301;
  static constexpr int PAGE_USER_LIST = 302;
  static constexpr int PAGE_USER_LIST_TITLE = 303;
  static constexpr int PAGE_USER_FORM = 304;
  static constexpr int PAGE_DELETE_USER = 305;

  // The image folders: a folder's content (its subfolders, or the images published in it)
  // and the user's own images to publish in it.
  static constexpr int MODULE_IMAGE_FOLDERS = 400;
  static constexpr int PAGE_FOLDER_MENU = 401;
  static constexpr int TAB_FOLDER = 402;
  static constexpr int PAGE_FOLDER_IMAGE_DETAIL = 404;
  static constexpr int PAGE_FOLDER_IMAGE_GRID = 405;
  static constexpr int TAB_PUBLISHING = 406;
  static constexpr int PAGE_PUBLISHING_DETAIL = 407;
  static constexpr int PAGE_PUBLISHING_GRID = 408;

  // The introduction, the image window and the three image files of an image.
  static constexpr int MODULE_INTRODUCTION = 600;
  static constexpr int PAGE_IMAGE_WINDOW = 601;
  static constexpr int PAGE_ORIGINAL = 602;
  static constexpr int PAGE_PREVIEW1 = 603;
  static constexpr int PAGE_PREVIEW2 = 604;
  // The pictures for screens: the large preview at twice its pixels, the screen-sized one.
  static constexpr int PAGE_PREVIEW2X = 605;
  static constexpr int PAGE_SCREEN = 606;

  // The keyword search and its result.
  static constexpr int MODULE_SEARCH = 700;
  static constexpr int PAGE_SEARCH_FORM = 701;
  static constexpr int PAGE_SEARCH_RESULT = 702;
  static constexpr int PAGE_SEARCH_RESULT_GRID = 703;
  static constexpr int PAGE_SEARCH_RESULT_DETAIL = 704;

  // The folder administration: list, form and the question before a deletion.
  static constexpr int MODULE_FOLDER_ADMINISTRATION = 900;
  static constexpr int PAGE_FOLDER_LIST_FRAME = 901;
  static constexpr int PAGE_FOLDER_LIST = 902;
  static constexpr int PAGE_FOLDER_LIST_TITLE = 903;
  static constexpr int PAGE_FOLDER_FORM = 904;
  static constexpr int PAGE_DELETE_FOLDER = 905;

  // The acceptance: the images and the publications waiting for a decision.
  static constexpr int MODULE_IMAGE_ACCEPTANCE = 1000;
  static constexpr int PAGE_ACCEPTANCE_MENU = 1001;
  static constexpr int TAB_WAITING_IMAGES = 1002;
  static constexpr int PAGE_WAITING_IMAGE_DETAIL = 1003;
  static constexpr int PAGE_WAITING_IMAGE_GRID = 1004;
  static constexpr int TAB_WAITING_PUBLICATIONS = 1005;
  static constexpr int PAGE_WAITING_PUBLICATION_DETAIL = 1006;
  static constexpr int PAGE_WAITING_PUBLICATION_GRID = 1007;

  // The server's status, for administrators.
  static constexpr int MODULE_SERVER_STATUS = 1100;

  // Links for people without an account (GShareView): the list of one's links (a tab of
  // the user's own pages), the form that makes a link, the question before one is ended.
  static constexpr int TAB_MY_LINKS = 1200;
  static constexpr int PAGE_SHARE_FORM = 1201;
  static constexpr int PAGE_END_LINK = 1202;

  // The actions (webapp/GActions carries them out, before the page is written).
  static constexpr int ACTION_CREATE_FOLDER = 0;
  static constexpr int ACTION_UPDATE_FOLDER = 1;
  static constexpr int ACTION_DELETE_FOLDER = 2;
  static constexpr int ACTION_PUBLISH_IMAGE = 3;
  static constexpr int ACTION_UNPUBLISH_IMAGE = 4;
  static constexpr int ACTION_ACCEPT_PUBLICATION = 5;
  static constexpr int ACTION_DENY_PUBLICATION = 6;
  static constexpr int ACTION_CREATE_USER = 7;
  // By the user administration, and by users on their own account page.
  static constexpr int ACTION_UPDATE_USER = 8;
  static constexpr int ACTION_UPDATE_OWN_ACCOUNT = 9;
  static constexpr int ACTION_DELETE_USER = 10;
  static constexpr int ACTION_UPLOAD_IMAGE = 11;
  static constexpr int ACTION_DELETE_IMAGE = 12;
  static constexpr int ACTION_UPDATE_IMAGE = 13;
  static constexpr int ACTION_ACCEPT_IMAGE = 14;
  static constexpr int ACTION_DENY_IMAGE = 15;
  // A login by a visitor, or an administrator opening a session as another user.
  static constexpr int ACTION_LOGIN = 16;
  static constexpr int ACTION_LOG_OUT = 17;
  static constexpr int ACTION_SEARCH = 18;
  static constexpr int ACTION_CHANGE_LANGUAGE = 19;
  // Links for people without an account (webapp/GShareActions).
  static constexpr int ACTION_MAKE_LINK = 20;
  static constexpr int ACTION_EXTEND_LINK = 21;
  static constexpr int ACTION_END_LINK = 22;
};

#endif
