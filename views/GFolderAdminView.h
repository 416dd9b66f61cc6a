#ifndef VISTREL_GFOLDERADMINVIEW_H
#define VISTREL_GFOLDERADMINVIEW_H

#include "db/GFolder.h"
#include "views/GView.h"

// The folder administration module (GIds::MODULE_FOLDER_ADMINISTRATION): the children of one
// folder (the parent) in a list, the selected child in a form (enabled, image folder, name,
// parent, owner) and the buttons that create a folder under the parent, save the form and
// delete a folder without children. Only users with the folder administration right see
// anything of it. Administrators edit every folder; the others edit the folders they own and
// create folders under folders they own.
//
// The parent and the selection come from `Folder.parent` and `Folder.id` of the request,
// else from the view-state keys `FolderAdminView.parent` and `FolderAdminView.folder`, else 0.
class GFolderAdminView : public GView {
 public:
  GFolderAdminView();
  ~GFolderAdminView() override;

  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_folder(GSession& _session, MTextStream& _out, MList& _params,
                    MString& _contentType);
  void frame_folder_list(GSession& _session, MTextStream& _out, MList& _params,
                         MString& _contentType);
  void page_folder_list(GSession& _session, MTextStream& _out, MList& _params,
                        MString& _contentType);
  void page_folder_list_title(GSession& _session, MTextStream& _out, MList& _params,
                              MString& _contentType);
  void page_folder_info(GSession& _session, MTextStream& _out, MList& _params,
                        MString& _contentType);
  void page_folder_delete(GSession& _session, MTextStream& _out, MList& _params,
                          MString& _contentType);

 private:
  // The links from the root down to the parent _parent, named _name, in the title.
  void pathCells(GSession& _session, MTextStream& _out, int _parent, const MString& _name);
  // The row that leads one level up from the folder _parent.
  void upRow(GSession& _session, MTextStream& _out, GFolder& _parent);
  // One row of the list of children.
  void childRow(GSession& _session, MTextStream& _out, MList& _params, GFolder& _child,
                int _selected);
  // The form of the folder _folder.
  void folderForm(GSession& _session, MTextStream& _out, GFolder& _folder);
  // A choice between no (0) and yes (1).
  void flagCell(GSession& _session, MTextStream& _out, const char* _name, bool _value);
  // The folders _folder may move below, by path.
  void parentCell(GSession& _session, MTextStream& _out, GFolder& _folder);
  // The users who may own _folder: everybody for administrators, else oneself.
  void ownerCell(GSession& _session, MTextStream& _out, GFolder& _folder);
  // The buttons under the form for the listed parent _parent and the selection _selected.
  void folderButtons(GSession& _session, MTextStream& _out, int _parent, int _selected);
  // A button cell: _start opens the cell, _call is the handler up to the URL's quote.
  void button(GSession& _session, MTextStream& _out, const char* _start, const char* _call,
              const MString& _url, const char* _key);
};

#endif
