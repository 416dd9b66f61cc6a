#include "views/GView.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GHtml.h"

namespace {

const char* const inactiveCell = " class=\"pageNum\" bgColor=\"#E0E0E0\" ";
const char* const activeCell = " class=\"pageNum\" bgColor=\"#808080\" ";

}  // namespace

const char* const GView::hover = " onmouseover=\"mouseOver(this)\" onmouseout=\"mouseOut(this)\" ";

GView::GView() {}

GView::~GView() {}

bool GView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                            MString& _contentType) {
  return false;
}

void GView::javaScript(GSession& _session, MTextStream& _out) try {
  headElements(_out, GApplication::get().getServerTitle());
} M_RETHROW("void GView::javaScript(GSession& _session,MTextStream& _out)")

void GView::headElements(MTextStream& _out, const MString& _title) {
  _out << "<TITLE>" << _title.getValue() << "</TITLE>\n";
  _out << "<LINK rel=\"stylesheet\" href=\"/style.css\">\n";
  _out << "<SCRIPT language=\"JavaScript\" src=\"/scripts.js\" type=\"text/javascript\"></SCRIPT>\n";
}

void GView::writeFile(MTextStream& _out, const char* _filename) try {
  FILE* file = _filename != nullptr ? fopen(_filename, "rb") : nullptr;
  if (file == nullptr) {
    fprintf(stderr, "GView::writeFile(): Cannot open file (%s)\n", _filename ? _filename : "");
    return;
  }
  try {
    char buffer[10000];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) {
      // A page cut short would be sent as if it were whole.
      if (_out.writeData(buffer, (int)n) != (int)n) {
        throw MException("### FILE ###", "The file does not fit into the page!");
      }
    }
  } catch (const MException&) {
    fclose(file);
    throw;
  }
  fclose(file);
} M_RETHROW("void GView::writeFile(MTextStream& _out,char *_filename)")

void GView::writeHtmlFile(GSession& _session, MTextStream& _out, const char* _filename) try {
  GApplication& application = GApplication::get();
  MString path = MString::format("%s/web/%s/%s", application.getDirectory().getValue(),
                                 application.getPageLanguage(_session), _filename ? _filename : "");
  writeFile(_out, path.getValue());
} M_RETHROW("void GView::writeHtmlFile(GSession& _session,MTextStream& _out,char *_filename)")

namespace {

// The object's text, URL-encoded, appended to _url.
void appendText(std::string& _url, MObject* _object) {
  if (const MString* text = dynamic_cast<const MString*>(_object)) {
    GHtml::appendUrlEncoded(_url, text->getValue());
  } else {
    GHtml::appendUrlEncoded(_url, _object->toString().getValue());
  }
}

}  // namespace

void GView::getUrl(GSession& _session, MList& _param, MString& _url) try {
  _param.setObject("session", _session.id.getValue());
  // Pages carry dozens of links: one growing buffer, texts read in place where they are
  // texts already.
  std::string url("/?");
  url.reserve(256);
  bool first = true;
  for (MItem* item = _param.getFirstItem(); item != nullptr; item = _param.getNextItem(item)) {
    if (!first) url += '&';
    first = false;
    appendText(url, item->key);
    url += '=';
    appendText(url, item->object);
  }
  _url = MString(url.data(), (int)url.size());
} M_RETHROW("void GView::getUrl(GSession& _session,MList& _param,char *_url)")

MString GView::getUrl(GSession& _session, MList& _param) try {
  MString url;
  getUrl(_session, _param, url);
  return url;
} M_RETHROW("MString GView::getUrl(GSession& _session,MList& _param)")

void GView::pageCell(std::string& _bar, const std::string& _url, size_t _mark, int _page,
                     const char* _text) {
  _bar += "<TD";
  _bar += activeCell;
  _bar += hover;
  _bar += "onClick=\"mouseClick(this,document,'";
  if (_mark == std::string::npos) {
    _bar += _url;
  } else {
    _bar.append(_url, 0, _mark);
    _bar += std::to_string(_page);
    _bar.append(_url, _mark + 3, std::string::npos);
  }
  if (_text != nullptr) {
    _bar += _text;
  } else {
    _bar += "')\">";
    _bar += std::to_string(_page);
    _bar += "</TD>";
  }
}

void GView::pageNumbers(GSession& _session, MTextStream& _out, int _count, int _pagenum,
                        int _imagesPerPage, MList& _param, const char* _buttons) try {
  // A grid always shows at least one item to a page; anything less would divide by zero.
  int perPage = _imagesPerPage > 0 ? _imagesPerPage : 1;
  int count = _count > 0 ? _count : 0;
  int pages = count / perPage + (count % perPage != 0 ? 1 : 0);
  int block = (_pagenum - 1) / 10;
  int lastBlock = (pages - 1) / 10;

  // The links differ only in their page number: the URL is made once, with a mark where the
  // number goes ("%01", which no encoded value holds after "pagenum=").
  MObject* given = _param.getObject("pagenum");
  bool hadNumber = given != nullptr;
  MString before = hadNumber ? given->toString() : MString();
  _param.setObject("pagenum", "\x01");
  std::string url = getUrl(_session, _param).getValue();
  size_t mark = url.find("pagenum=%01");
  if (mark != std::string::npos) mark += 8;
  // The list keeps the number of the last link, as if each link had been made from it.
  int linked = -1;
  // The bar is put together in one piece and written at once.
  std::string bar;
  bar.reserve(14 * (url.size() + 120));
  auto cell = [&](int _page, const char* _text) {
    pageCell(bar, url, mark, _page, _text);
    linked = _page;
  };
  auto still = [&](const char* _text) {
    bar += "<TD";
    bar += inactiveCell;
    bar += _text;
  };

  bar += "<TABLE  width=\"100%\"><TR>\n";
  if (_pagenum <= 1) {
    still("> << </TD>");
    still("> < </TD>");
  } else {
    cell(block >= 1 ? (block - 1) * 10 + 1 : 1, "')\"> << </TD>\n");
    cell(_pagenum - 1, "')\"> < </TD>\n");
  }
  if (_pagenum < pages) {
    cell(_pagenum + 1, "')\"> > </TD>\n");
    cell(block < lastBlock ? (block + 1) * 10 + 1 : pages, "')\"> >> </TD>\n");
  } else {
    still("> > </TD>\n");
    still("> >> </TD>\n");
  }
  bar += "<TD></TD>";
  bar += _buttons != nullptr ? _buttons : "";
  bar += "<TD></TD>";
  for (int i = 0; i < 10; ++i) {
    int n = block * 10 + i + 1;
    if (n > pages) {
      still("> </TD>");
    } else if (n == _pagenum) {
      bar += "<TD class=\"pageNumSelected\">";
      bar += std::to_string(n);
      bar += "</TD>";
    } else {
      cell(n, nullptr);
    }
  }
  bar += "<TR></TABLE>\n";
  _out << bar;
  if (linked >= 0) {
    _param.setObject("pagenum", linked);
  } else if (hadNumber) {
    _param.setObject("pagenum", before.getValue());
  } else {
    _param.deleteObject("pagenum");
  }
} M_RETHROW("void GView::pageNumbers(GSession& _session,MTextStream& _out,int _count,int _pagenum,int _imagesPerPage,MList& _param,char *_buttons)")

int GView::toInt(MObject* _value) {
  if (_value == nullptr) return -1;
  if (!_value->isKindOf("MString")) return _value->toInt();
  const char* text = static_cast<MString*>(_value)->getValue();
  if (*text == 0) return 0;
  const char* digits = text[0] == '-' ? text + 1 : text;
  if (*digits == 0) return -1;
  for (const char* p = digits; *p != 0; ++p) {
    if (*p < '0' || *p > '9') return -1;
  }
  errno = 0;
  long long value = strtoll(text, nullptr, 10);
  if (errno != 0 || value < INT_MIN || value > INT_MAX) return -1;
  return (int)value;
}

int GView::paramInt(MList& _params, const char* _name) { return toInt(_params.getObject(_name)); }

MString GView::paramText(MList& _params, const char* _name) {
  MObject* value = _params.getObject(_name);
  return value != nullptr ? value->toString() : MString();
}

void GView::forgetAction(MList& _params) {
  if (_params.getObject("action") != nullptr) _params.deleteObject("action");
}

void GView::headStart(MTextStream& _out) {
  _out << "<HTML>\n" << "<HEAD>\n"
       << "<META name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
}

void GView::standardHead(GSession& _session, MTextStream& _out) {
  headStart(_out);
  javaScript(_session, _out);
  _out << "</HEAD>\n";
}

MString GView::sessionInUrl(GSession& _session) { return GHtml::urlEncode(_session.id.getValue()); }

MString GView::personName(GUser& _user) {
  MString name = GHtml::escape(_user.lastname.getValue());
  if (_user.lastname.getLength() > 0 && _user.firstname.getLength() > 0) name += ", ";
  name += GHtml::escape(_user.firstname.getValue());
  return name;
}
