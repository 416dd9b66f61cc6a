#ifndef VISTREL_GVIEW_H
#define VISTREL_GVIEW_H

#include <string>

#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/core/MTextStream.h"
#include "views/GSession.h"

// Common base of the views, the producers of the HTML documents. A view holds no data: all
// it must remember between requests lives in the session.
//
// Every view offers process_request(_session, _out, _params, _contentType), which writes the
// document whose page id (GIds) the `page` parameter names and returns true when that id
// belongs to the view (also when a guard let it write nothing), and false, writing nothing,
// otherwise. The dispatch asks the views in turn (webapp/GServlet's chain of views).
//
// The base supplies the pieces the views share: the page head, copying files into the page,
// URLs built from a parameter list, the paging bar under image grids and the readings of
// request parameters.
class GView {
 public:
  GView();
  virtual ~GView();

  // The page the request names, when it is one of this view's (see above); the base has none.
  virtual bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                               MString& _contentType);

  // "<HTML>", "<HEAD>" and what every page declares first: that it is laid out for the
  // width of the device (a phone would otherwise shrink a desktop-wide page).
  static void headStart(MTextStream& _out);
  // The elements of a page head: the title, the style sheet and the script file.
  void javaScript(GSession& _session, MTextStream& _out);
  // "<HTML>", and the page head with javaScript: the start of every document with a head.
  void standardHead(GSession& _session, MTextStream& _out);
  // The elements of javaScript under another title (HTML, escaped by the caller).
  void headElements(MTextStream& _out, const MString& _title);
  // Copies a file byte for byte into the page; a file that cannot be opened is reported on
  // standard error and leaves the page as it is.
  void writeFile(MTextStream& _out, const char* _filename);
  // Copies the file _filename of the session's language directory under the web directory.
  void writeHtmlFile(GSession& _session, MTextStream& _out, const char* _filename);
  // "/?" and every parameter of the list as name=value joined by "&", after `session` has
  // been set in the list to the session identifier. Names and values are URL-encoded.
  void getUrl(GSession& _session, MList& _param, MString& _url);
  MString getUrl(GSession& _session, MList& _param);
  // The paging bar of a grid of _count items, _imagesPerPage to a page, showing page
  // _pagenum. The links are built from _param, which must hold the target page; _buttons is
  // HTML placed in the middle of the bar. Leaves the last `pagenum` it set in _param.
  void pageNumbers(GSession& _session, MTextStream& _out, int _count, int _pagenum,
                   int _imagesPerPage, MList& _param, const char* _buttons);

  // Removes `action` from a copy of the request's parameters that goes into the links or
  // frames of a page. The request's action has been carried out or refused already; with
  // the fresh requestId of the links it would otherwise run again.
  static void forgetAction(MList& _params);

  // The session identifier as it goes into a hand-built URL.
  static MString sessionInUrl(GSession& _session);
  // "last, first" of a user, the comma only between two names, escaped for HTML text.
  static MString personName(GUser& _user);

  // A request parameter as an integer: -1 when it is absent or is no decimal number (an
  // optional minus sign and digits that fit an int), 0 when it is empty.
  static int paramInt(MList& _params, const char* _name);
  // A request parameter as text: empty when absent.
  static MString paramText(MList& _params, const char* _name);
  // The integer reading of an object: an MString by the rule of paramInt, any other value
  // by its own toInt.
  static int toInt(MObject* _value);

 protected:
  // The hover handlers of every clickable cell.
  static const char* const hover;

 private:
  // A cell of the paging bar, appended to _bar, that leads to page _page by the link _url
  // whose page number stands at _mark (see pageNumbers); _text closes it, or the page
  // number when null.
  void pageCell(std::string& _bar, const std::string& _url, size_t _mark, int _page,
                const char* _text);
};

#endif
