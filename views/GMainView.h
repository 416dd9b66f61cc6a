#ifndef VISTREL_GMAINVIEW_H
#define VISTREL_GMAINVIEW_H

#include "views/GView.h"

// The outer shell of the user interface (the GIds::PAGE_ ids below 100): the two outer frame
// sets, the login page, the title bar, the top bar with the user's name, help and logout, the
// main menu that switches between the modules, the frame set of menu and module, and the
// status bar with the language choice. The only view the guest session reaches.
class GMainView : public GView {
 public:
  // The parameter by which a refused login tells the login page why it is shown again,
  // and its values.
  static const char* const LOGIN_STATE;
  static const char* const LOGIN_FAILED;
  static const char* const LOGIN_THROTTLED;
  // Too many logins at the moment (all of them, or from the address for the guest button).
  static const char* const LOGIN_BUSY;
  // After a log-out, and after a session ended by itself.
  static const char* const LOGGED_OUT;
  static const char* const EXPIRED;
  // The parameter of the guest button's login (value 1): the guest account, no password.
  static const char* const GUEST_LOGIN;
  // Set by the dispatch on the page that answers a login: the browser's history then keeps
  // the plain address "/", never the login request itself (a form sent again, or a guest
  // login repeated by Back after a log-out) nor the session's identifier.
  static const char* const ENTERED;

  GMainView();
  ~GMainView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_main(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void frame_submain(GSession& _session, MTextStream& _out, MList& _params,
                     MString& _contentType);
  void page_main_title(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
  void page_top_menu(GSession& _session, MTextStream& _out, MList& _params,
                     MString& _contentType);
  void page_main_menu(GSession& _session, MTextStream& _out, MList& _params,
                      MString& _contentType);
  void frame_main_area(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
  void page_main_statusbar(GSession& _session, MTextStream& _out, MList& _params,
                           MString& _contentType);
  void page_login(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);

  // The document that any frame of an ended session receives: it replaces the whole window
  // with the login page, which tells why (_state, a LOGIN_STATE value).
  static void breakOut(MTextStream& _out, const char* _state);

 private:
  // The module shown in the right-hand frame: `tab_main` of the request, else of the
  // view-state list, else the introduction, which is then remembered.
  int currentModule(GSession& _session, MList& _params);
};

#endif
