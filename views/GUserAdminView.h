#ifndef VISTREL_GUSERADMINVIEW_H
#define VISTREL_GUSERADMINVIEW_H

#include "db/GUser.h"
#include "views/GView.h"

// The user administration module of administrators (GIds::MODULE_USER_ADMINISTRATION): the
// list of all accounts, the form of the selected account with all its fields and rights, and
// the buttons that create, save and delete an account or open a session as it. The selected
// account travels in the URLs as `User.id` (0 when absent). Only administrators see anything
// of it; everybody else gets empty documents.
class GUserAdminView : public GView {
 public:
  GUserAdminView();
  ~GUserAdminView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_userAdmin(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
  void frame_list(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_list(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_list_title(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType);
  void page_info(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  void page_delete(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);

 private:
  // One row of the user list.
  void listRow(GSession& _session, MTextStream& _out, GUser& _user, int _selected);
  // The seven rows of the user form, two label/value pairs each.
  void formRows(GSession& _session, MTextStream& _out, GUser& _user);
  // The buttons under the form; _found tells whether the account _id exists.
  void formButtons(GSession& _session, MTextStream& _out, int _id, bool _found);
  void labelCell(GSession& _session, MTextStream& _out, const char* _key);
  // A text field of the form, which wakes the update button once its value differs.
  void textCell(MTextStream& _out, const char* _type, int _tabindex, const char* _name,
                const MString& _value);
  // A choice between the values 0 and 1 labelled by the texts of _noKey and _yesKey.
  void choiceCell(GSession& _session, MTextStream& _out, int _tabindex, const char* _name,
                  int _value, const char* _noKey, const char* _yesKey);
  // A button cell: _start opens the cell, _call is the handler up to the URL's quote.
  void button(GSession& _session, MTextStream& _out, const char* _start, const char* _call,
              const MString& _url, const char* _key);
};

#endif
