#include "views/GLinkView.h"

#include <string>

#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GSession.h"
#include "views/GUploadMessage.h"

const char* GLinkView::text(const Page& _page, const char* _key) {
  return GApplication::get().translate(*_page.texts, _key);
}

MString GLinkView::address(const Page& _page, const char* _path, const MString& _extra) {
  MString url = _page.base;
  url += _path;
  const char* separator = "?";
  if (_page.language.getLength() > 0) {
    url += "?lang=";
    url += GHtml::urlEncode(_page.language.getValue());
    separator = "&";
  }
  if (_extra.getLength() > 0) {
    url += separator;
    url += _extra;
  }
  return url;
}

void GLinkView::writeHead(const Page& _page, MTextStream& _out, const MString& _title) {
  _out << "<!DOCTYPE html>\n<HTML lang=\""
       << GHtml::escape(GApplication::get().getPageLanguage(*_page.texts)).getValue() << "\">\n"
       << "<HEAD>\n"
       << "<META name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       << "<META name=\"robots\" content=\"noindex\">\n"
       << "<TITLE>" << GHtml::escape(_title.getValue()).getValue() << "</TITLE>\n"
       << "<LINK rel=\"stylesheet\" href=\"/link.css\">\n"
       << "<SCRIPT src=\"/link.js\" defer></SCRIPT>\n"
       << "</HEAD>\n";
}

// The bar on top: the name, the number of pictures and the languages to choose from.
void GLinkView::writeBar(const Page& _page, MTextStream& _out, int _total) {
  _out << "<DIV class=\"linkBar\"><SPAN class=\"linkTitle\">"
       << GHtml::escape(_page.title.getValue()).getValue() << "</SPAN>";
  if (_total >= 0) {
    _out << " <SPAN class=\"linkCount\" id=\"linkCount\">" << text(_page, "LINK_PICTURE_COUNT")
         << " " << _total << "</SPAN>";
  }
  _out << "<SPAN class=\"linkLanguages\">";
  MList& languages = GApplication::get().getLanguages();
  for (MItem* item = languages.getFirstItem(); item != nullptr;
       item = languages.getNextItem(item)) {
    MString code = item->key->toString();
    MString name = item->object->toString();
    _out << " <A href=\"?lang=" << GHtml::urlEncode(code.getValue()).getValue() << "\" hreflang=\""
         << GHtml::escape(code.getValue()).getValue() << "\">"
         << GHtml::escape(name.getValue()).getValue() << "</A>";
  }
  _out << "</SPAN></DIV>\n";
}

void GLinkView::writeGrid(const Page& _page, MTextStream& _out, const std::vector<int>& _ids,
                          int _total, int _first, const Contribution& _contribution) try {
  writeHead(_page, _out, _page.title);
  _out << "<BODY class=\"link\">\n";
  writeBar(_page, _out, _total);
  if (_contribution.offered) writeContribution(_page, _out, _contribution);
  if (_total == 0) {
    _out << "<P class=\"linkEmpty\">" << text(_page, "LINK_EMPTY") << "</P>\n";
  }
  _out << "<DIV class=\"linkGrid\" id=\"linkGrid\">\n";
  // Tens of tiles: one buffer, the parts every tile shares escaped once.
  const std::string base = GHtml::escape(_page.base.getValue()).getValue();
  MString language = address(_page, "", MString());
  const std::string query =
      GHtml::escape(language.getValue() + _page.base.getLength()).getValue();
  std::string tiles;
  tiles.reserve(_ids.size() * (2 * base.size() + query.size() + 64));
  for (int id : _ids) {
    const std::string number = std::to_string(id);
    tiles += "<A href=\"";
    tiles += base;
    tiles += "/v/";
    tiles += number;
    tiles += query;
    tiles += "\"><IMG src=\"";
    tiles += base;
    tiles += "/t/";
    tiles += number;
    tiles += "\" loading=\"lazy\" alt=\"\"></A>\n";
  }
  _out << tiles.c_str();
  _out << "</DIV>\n";
  if (_total > picturesPerPage) {
    _out << "<DIV class=\"linkPages\">";
    for (int first = 0, n = 1; first < _total; first += picturesPerPage, ++n) {
      if (first == _first) {
        _out << " <B>" << n << "</B>";
        continue;
      }
      MString url = address(_page, "", MString::format("n=%d", n));
      _out << " <A href=\"" << GHtml::escape(url.getValue()).getValue() << "\">" << n << "</A>";
    }
    _out << "</DIV>\n";
  }
  _out << "</BODY>\n</HTML>\n";
} M_RETHROW("void GLinkView::writeGrid(const Page& _page,MTextStream& _out,const std::vector<int>& _ids,int _total,int _first)")

void GLinkView::writeViewer(const Page& _page, MTextStream& _out, int _id, int _position,
                            int _total, int _previous, int _next, bool _download,
                            const MString& _fileName, bool _single) try {
  writeHead(_page, _out, _page.title);
  auto neighbour = [&](int _other) {
    if (_other < 0) return MString();
    return address(_page, MString::format("/v/%d", _other).getValue(), MString());
  };
  MString previous = neighbour(_previous);
  MString next = neighbour(_next);
  MString grid = _single ? MString() : address(_page, "", MString());
  _out << "<BODY class=\"link linkViewer\" id=\"linkViewer\" data-previous=\""
       << GHtml::escape(previous.getValue()).getValue() << "\" data-next=\""
       << GHtml::escape(next.getValue()).getValue() << "\" data-grid=\""
       << GHtml::escape(grid.getValue()).getValue() << "\">\n";
  writeBar(_page, _out, -1);
  _out << "<DIV class=\"linkPicture\"><IMG id=\"linkImage\" src=\"" << _page.base.getValue()
       << "/p/" << _id << "\" alt=\"" << GHtml::escape(_fileName.getValue()).getValue()
       << "\"></DIV>\n";
  _out << "<DIV class=\"linkControls\">";
  if (grid.getLength() > 0) {
    _out << "<A class=\"linkButton\" id=\"linkBack\" href=\""
         << GHtml::escape(grid.getValue()).getValue() << "\">" << text(_page, "LINK_BACK")
         << "</A>";
  }
  if (previous.getLength() > 0) {
    _out << "<A class=\"linkButton\" id=\"linkPrevious\" href=\""
         << GHtml::escape(previous.getValue()).getValue() << "\">" << text(_page, "LINK_PREVIOUS")
         << "</A>";
  }
  if (_total > 1) {
    _out << "<SPAN class=\"linkPosition\" id=\"linkPosition\">" << (_position + 1) << " / "
         << _total << "</SPAN>";
  }
  if (next.getLength() > 0) {
    _out << "<A class=\"linkButton\" id=\"linkNext\" href=\""
         << GHtml::escape(next.getValue()).getValue() << "\">" << text(_page, "LINK_NEXT")
         << "</A>";
    _out << "<BUTTON type=\"button\" class=\"linkButton\" id=\"linkSlideshow\">"
         << text(_page, "LINK_SLIDESHOW") << "</BUTTON>";
  }
  if (_download) {
    _out << "<A class=\"linkButton\" id=\"linkDownload\" href=\"" << _page.base.getValue()
         << "/o/" << _id << "\" download=\"" << GHtml::escape(_fileName.getValue()).getValue()
         << ".jpg\">" << text(_page, "BUTTON_DOWNLOAD") << "</A>";
  }
  _out << "</DIV>\n";
  _out << "<P class=\"linkHelp\">" << text(_page, "LINK_VIEWER_HELP") << "</P>\n";
  _out << "</BODY>\n</HTML>\n";
} M_RETHROW("void GLinkView::writeViewer(const Page& _page,MTextStream& _out,int _id,int _position,int _total,int _previous,int _next,bool _download,const MString& _fileName,bool _single)")

void GLinkView::writeMessage(const Page& _page, MTextStream& _out, const char* _heading,
                             const char* _text) try {
  MString heading = text(_page, _heading);
  writeHead(_page, _out, heading);
  _out << "<BODY class=\"link linkMessage\">\n<H1>" << heading.getValue() << "</H1>\n<P>"
       << text(_page, _text) << "</P>\n</BODY>\n</HTML>\n";
} M_RETHROW("void GLinkView::writeMessage(const Page& _page,MTextStream& _out,const char* _heading,const char* _text)")

void GLinkView::writePassword(const Page& _page, MTextStream& _out, const char* _message) try {
  MString heading = text(_page, "LINK_PASSWORD_TITLE");
  writeHead(_page, _out, heading);
  _out << "<BODY class=\"link linkMessage\">\n";
  writeBar(_page, _out, -1);
  _out << "<H1>" << heading.getValue() << "</H1>\n";
  if (_message != nullptr) {
    _out << "<P class=\"linkWarning\" id=\"linkPasswordMessage\">" << text(_page, _message)
         << "</P>\n";
  }
  MString target = address(_page, "", MString());
  _out << "<FORM method=\"post\" class=\"linkPasswordForm\" action=\""
       << GHtml::escape(target.getValue()).getValue() << "\">\n<P>"
       << text(_page, "LINK_PASSWORD_TEXT") << "</P>\n"
       << "<P><INPUT type=\"password\" name=\"password\" id=\"linkPassword\" "
          "autocomplete=\"current-password\" autofocus> <INPUT type=\"submit\" "
          "class=\"linkButton\" value=\""
       << text(_page, "BUTTON_OPEN") << "\"></P>\n</FORM>\n</BODY>\n</HTML>\n";
} M_RETHROW("void GLinkView::writePassword(const Page& _page,MTextStream& _out,const char* _message)")

void GLinkView::writeContribution(const Page& _page, MTextStream& _out,
                                  const Contribution& _contribution) {
  _out << "<DIV class=\"linkContribute\">\n";
  if (_contribution.outcome == OVER_LIMIT) {
    _out << "<P class=\"linkWarning\" data-upload-outcome=\"over-limit\">"
         << text(_page, "LINK_CONTRIBUTION_LIMIT") << "</P>\n";
  } else if (_contribution.outcome != 0) {
    MList told;
    told.setObject(GUploadMessage::PARAM, _contribution.outcome);
    GUploadMessage::write(*_page.texts, _out, told);
  }
  MString name = GHtml::escape(_contribution.contributor.getValue());
  if (_contribution.contributor.getLength() == 0) {
    // First a name: it goes with every picture, and into the address of the upload.
    _out << "<FORM method=\"get\" action=\"" << _page.base.getValue() << "\">";
    if (_page.language.getLength() > 0) {
      _out << "<INPUT type=\"hidden\" name=\"lang\" value=\""
           << GHtml::escape(_page.language.getValue()).getValue() << "\">";
    }
    _out << text(_page, "LINK_CONTRIBUTOR_NAME")
         << " <INPUT type=\"text\" name=\"contributor\" id=\"linkContributor\" maxlength=\"39\" "
            "required> <INPUT type=\"submit\" class=\"linkButton\" value=\""
         << text(_page, "BUTTON_CONTRIBUTE") << "\"></FORM>\n";
  } else {
    MString target = address(_page, "/up", MString::format("contributor=%s",
        GHtml::urlEncode(_contribution.contributor.getValue()).getValue()));
    _out << "<FORM method=\"post\" enctype=\"multipart/form-data\" id=\"linkUpload\" action=\""
         << GHtml::escape(target.getValue()).getValue() << "\">" << text(_page, "LINK_CONTRIBUTE_AS")
         << " " << name.getValue() << ": <INPUT type=\"file\" name=\"file\" id=\"linkFiles\" "
            "accept=\"image/jpeg\" multiple required> <INPUT type=\"submit\" class=\"linkButton\" "
            "value=\""
         << text(_page, "BUTTON_UPLOAD") << "\"> <SPAN id=\"linkProgress\"></SPAN></FORM>\n";
  }
  _out << "</DIV>\n";
}
