#include <gtest/gtest.h>

#include <string>

#include "db/GDatabase.h"
#include "tests/views/ImageViewTestSupport.h"
#include "views/GSearchView.h"

using viewtest::hover;
using viewtest::Page;
using imagetest::countOf;
using imagetest::singlePageBar;

namespace {

class GSearchViewTest : public viewtest::ViewTest {
 protected:
  std::string render(int _page, MList* _params = nullptr) {
    MList own;
    MList& params = _params != nullptr ? *_params : own;
    params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    Page page;
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }
  std::string renderAt(int _page, const char* _pagenum) {
    MList params;
    params.setObject("pagenum", _pagenum);
    return render(_page, &params);
  }

  int addUser(int _type, const char* _first, const char* _last, bool _folderAdmin = false) {
    GUser user;
    user.type = _type;
    user.enabled = true;
    user.firstname = _first;
    user.lastname = _last;
    user.username = _last;
    user.folderAdmin = _folderAdmin;
    return application.database.addUser(user);
  }
  int addImage(int _user, const char* _keywords, GImageStatus _status = GIMAGE_ACCEPTED) {
    GImage image;
    image.user = _user;
    image.status = _status;
    image.keywords = _keywords;
    image.width = 640;
    image.height = 480;
    image.size = 1234;
    image.name = "picture";
    return application.database.addImage(image);
  }
  // What the search action leaves in the session: the words and the images found.
  void searched(const char* _words) {
    session.viewState.setObject("Search.words", _words);
    MList words(_words, ' ');
    std::vector<std::string> list;
    for (MItem* item = words.getFirstItem(); item != nullptr; item = words.getNextItem(item)) {
      list.push_back(item->object->toString().getValue());
    }
    application.database.getImageIdsByKeywords(list, session.searchResults);
    session.viewState.deleteObject("SearchView.page");
    session.viewState.deleteObject("SearchView.image");
  }

  GSearchView view;
};

}  // namespace

TEST_F(GSearchViewTest, FormAndFramesForEveryoneResultOnlyForLoggedIn) {
  int folderAdmin = addUser(0, "Fo", "Lder", true);
  int ordinary = addUser(0, "Or", "Dinary");
  addImage(ordinary, "sea");
  struct Case {
    const char* role;
    int user;  // -1: nobody logged in
  };
  const Case cases[] = {{"administrator", 0}, {"folder administrator", folderAdmin},
                        {"ordinary user", ordinary}, {"guest account", 1}, {"nobody", -1}};
  for (const Case& c : cases) {
    GSession fresh;
    session = fresh;
    if (c.user >= 0) {
      logIn(c.user);
    } else {
      session.id = GSession::guestId;
    }
    searched("sea");
    EXPECT_NE("", render(700)) << c.role;
    EXPECT_EQ(700, session.viewState.getInt("tab_main")) << c.role;
    EXPECT_NE("", render(701)) << c.role;
    for (int p : {702, 703, 704}) {
      std::string page = render(p);
      EXPECT_EQ(c.user >= 0, page != "") << c.role << " " << p;
      EXPECT_EQ(c.user >= 0, page.find("&Image.id=0\"") != std::string::npos) << c.role << " " << p;
    }
  }
}

TEST_F(GSearchViewTest, ClaimsOnlyItsOwnPageIds) {
  logIn(0);
  for (const char* id : {"699", "705", "1000", "-700", "99999999999", "abc", ""}) {
    MList params;
    params.setObject("page", id);
    Page page;
    EXPECT_FALSE(view.process_request(session, page.out, params, contentType)) << id;
    EXPECT_EQ("", page.text()) << id;
  }
}

TEST_F(GSearchViewTest, FrameSetInFull) {
  logIn(1);
  EXPECT_EQ(viewtest::frameSetHead + "<FRAMESET rows=\"140,80%\" name=\"700\" border=\"0\">\n"
            "<FRAME name=\"menu\" src=\"/?session=123456789&page=701&requestId=1\" noresize "
            "scrolling=\"no\"></FRAME>\n"
            "<FRAME name=\"area\" src=\"/?session=123456789&page=702&requestId=2\" noresize></FRAME>\n"
            "</FRAMESET>\n</HTML>\n",
            render(700));
}

TEST_F(GSearchViewTest, FrameSetNeverPassesTheRequestsActionOn) {
  // The search that led here was carried out (or refused as a repetition) already.
  logIn(1);
  MList params;
  params.setObject("action", "18");
  params.setObject("requestId", "77");
  params.setObject("words", "sea");
  std::string page = render(700, &params);
  EXPECT_EQ(std::string::npos, page.find("action")) << page;
  EXPECT_EQ(std::string::npos, page.find("sea")) << page;
}

// The form in full, with the words shown as they were typed.
TEST_F(GSearchViewTest, FormShowsTheLastWordsEscaped) {
  logIn(1);
  struct Case {
    const char* words;     // as the search action kept them; nullptr: no search yet
    const char* attribute; // as they stand in the value attribute
  };
  const Case cases[] = {
      {nullptr, ""},
      {"Sea Sun", "Sea Sun"},
      {"\"><SCRIPT>alert('x')</SCRIPT>", "&quot;&gt;&lt;SCRIPT&gt;alert(&#39;x&#39;)&lt;/SCRIPT&gt;"},
      {"a&b=c %41 &amp;", "a&amp;b=c %41 &amp;amp;"},
      {"it's \"quoted\"", "it&#39;s &quot;quoted&quot;"},
  };
  for (const Case& c : cases) {
    session.viewState.deleteObject("Search.words");
    if (c.words != nullptr) session.viewState.setObject("Search.words", c.words);
    application.requestCounter = 0;
    const std::string expected =
        viewtest::head +
        "<BODY style=\"font-family: Arial;\" onLoad=\"document.Search.words.focus();\">\n"
        "<TABLE><TR class=\"pageTitle\"><TD>MENU_SEARCH_IMAGES</TD></TR></TABLE>\n"
        "<FORM name=\"Search\" class=\"input\" method=\"GET\" action=\"/\" target=\"_parent\">\n"
        "<INPUT name=\"session\" value=\"123456789\" type=\"hidden\">\n"
        "<INPUT name=\"page\" value=\"700\" type=\"hidden\">\n"
        "<INPUT name=\"action\" value=\"18\" type=\"hidden\">\n"
        "<INPUT name=\"requestId\" value=\"1\" type=\"hidden\">\n"
        "<HR>\n<TABLE width=\"100%\">\n<TR>\n"
        "<TD width=\"120\" class=\"searchLabel\">LABEL_SEARCH_WORDS</TD>\n"
        "<TD><INPUT class=\"searchValue\" type=\"text\" style=\"width:99%;\" name=\"words\" value=\"" +
        std::string(c.attribute) + "\">\n</TR>\n</TABLE>\n<HR>\n"
        "<TABLE>\n<TR>\n"
        "<TD class=\"pageButton\" id=\"searchButton\" bgColor=\"#808080\" width=\"100\"" + hover +
        "onClick=\"search(this,parent,'/?session=123456789&page=700&action=18&requestId=2')\"+ >"
        "BUTTON_SEARCH</TD>\n</TR>\n</TABLE>\n<HR>\n</FORM>\n</BODY>\n</HTML>\n";
    EXPECT_EQ(expected, render(701)) << (c.words ? c.words : "none");
  }
}

TEST_F(GSearchViewTest, BeforeAnySearchTheResultIsEmptyWithoutPagingBar) {
  logIn(1);
  const std::string empty = viewtest::head + "<BODY bgcolor=white>\n</BODY>\n</HTML>\n";
  EXPECT_EQ(empty, render(702));
  EXPECT_EQ(empty, render(703));
  // A search that found nothing says so, with the words searched for.
  addImage(0, "sea");
  searched("mountain");
  EXPECT_EQ(viewtest::head + "<BODY bgcolor=white>\n"
                "<DIV class=\"message message_empty\" role=\"status\">EMPTY_SEARCH "
                "<SPAN class=\"searchWords\">mountain</SPAN></DIV>\n</BODY>\n</HTML>\n",
            render(702));
}

TEST_F(GSearchViewTest, GridOfOneFoundImageInFull) {
  int owner = addUser(0, "Ann<b>", "O'Neil");
  addImage(owner, "forest", GIMAGE_WAITING);  // 0, not found: it waits
  int found = addImage(owner, "Sea view");    // 1
  logIn(1);
  searched("sea");
  std::string id = std::to_string(found);
  const std::string expected =
      viewtest::head + "<BODY bgcolor=white>\n"
      "<TABLE cellspacing=\"8\"><TR>"
      "<TD><TABLE width=\"160\" cellspacing=\"0\" cellpadding=\"0\"><TR>"
      "<TD class=\"imageTitle\" colspan=\"2\">Ann&lt;b&gt; O&#39;Neil</TD>\n"
      "</TR><TR><TD colspan=\"2\" align=\"center\" onClick=\"mouseClick(this,document,"
      "'/?session=123456789&page=704&pagenum=1')\"><IMG src=\"/?session=123456789&page=603"
      "&Image.id=" + id + "\" srcset=\"/?session=123456789&page=604&Image.id=" + id +
      " 2x\" height=\"120\"></TD>\n"
      "</TR><TR><TD class=\"imageStatusbar\">640 x 480</TD>\n"
      "</TR></TABLE></TD>\n"
      "</TR></TABLE><HR>\n" +
      singlePageBar(false) + "<HR>\n</BODY>\n</HTML>\n";
  EXPECT_EQ(expected, render(703));
  EXPECT_EQ(1, session.viewState.getInt("SearchView.page"));
}

TEST_F(GSearchViewTest, GridShowsTheNewestFirstEightToAPage) {
  int owner = addUser(0, "An", "Owner");
  for (int i = 0; i < 11; ++i) addImage(owner, "sea");
  logIn(owner);
  searched("sea");
  std::string first = render(703);
  EXPECT_EQ(8u, countOf(first, "<TD class=\"imageStatusbar\">"));
  EXPECT_LT(first.find("Image.id=10\""), first.find("Image.id=9\""));
  EXPECT_EQ(std::string::npos, first.find("Image.id=2\""));
  // The paging bar leads on through the search group's selector.
  EXPECT_NE(std::string::npos, first.find("'/?requestId=1&page=702&pagenum=2&session=123456789')"))
      << first;

  struct Case {
    const char* pagenum;
    int shown;
    const char* newest;  // the first thumbnail's image
  };
  // Numbers below 1 count as 1, numbers past the end as the last page.
  const Case cases[] = {{"2", 3, "Image.id=2\""}, {"0", 8, "Image.id=10\""},
                        {"-5", 8, "Image.id=10\""}, {"99999999999", 8, "Image.id=10\""},
                        {"2147483647", 3, "Image.id=2\""}, {"x", 8, "Image.id=10\""}};
  for (const Case& c : cases) {
    std::string page = renderAt(703, c.pagenum);
    EXPECT_EQ((size_t)c.shown, countOf(page, "<TD class=\"imageStatusbar\">")) << c.pagenum;
    size_t firstImage = page.find("page=603&Image.id=");
    ASSERT_NE(std::string::npos, firstImage) << c.pagenum;
    EXPECT_EQ(firstImage + 9, page.find(c.newest, firstImage)) << c.pagenum;
  }
}

TEST_F(GSearchViewTest, DetailIsEditableForTheOwnerAndAdministratorsOnly) {
  int owner = addUser(0, "An", "Owner");
  int other = addUser(0, "Ot", "Her");
  int folderAdmin = addUser(0, "Fo", "Lder", true);
  int image = addImage(owner, "sea \"<i>\"");
  struct Case {
    const char* role;
    int user;
    bool editable;
  };
  const Case cases[] = {{"owner", owner, true}, {"administrator", 0, true},
                        {"other user", other, false}, {"folder administrator", folderAdmin, false},
                        {"guest account", 1, false}};
  for (const Case& c : cases) {
    GSession fresh;
    session = fresh;
    logIn(c.user);
    searched("sea");
    std::string page = render(704);
    EXPECT_EQ(0u, page.find(viewtest::head + "<BODY bgcolor=white style=\"font-family: Arial;\">\n"))
        << c.role;
    EXPECT_EQ(c.editable, page.find("<FORM name=\"Image\"") != std::string::npos) << c.role;
    EXPECT_EQ(c.editable, page.find("id=\"updateButton\"") != std::string::npos) << c.role;
    if (c.editable) {
      EXPECT_NE(std::string::npos,
                page.find("updateImage(this,document,'/?session=123456789&page=704&requestId=")) << page;
      EXPECT_NE(std::string::npos, page.find("&action=13&pagenum=1&Image.id=" + std::to_string(image) + "')"));
    } else {
      EXPECT_NE(std::string::npos, page.find("LABEL_IMAGE_OWNER</TD><TD class=\"imageValue\">An Owner"));
    }
    // Keywords written into the page never break out of their place.
    EXPECT_EQ(std::string::npos, page.find("<i>")) << c.role;
    EXPECT_NE(std::string::npos, page.find("sea &quot;&lt;i&gt;&quot;")) << c.role;
    // Back to the grid page of the image.
    EXPECT_NE(std::string::npos,
              page.find("mouseClick(this,document,'/?session=123456789&page=703&pagenum=1&requestId="))
        << c.role;
  }
}

TEST_F(GSearchViewTest, SelectorShowsWhatWasLastUsed) {
  int owner = addUser(0, "An", "Owner");
  for (int i = 0; i < 10; ++i) addImage(owner, "sea");
  logIn(owner);
  searched("sea");
  EXPECT_NE(std::string::npos, render(702).find("<BODY bgcolor=white>\n"));
  // The ninth found image alone: the detail page remembers it and its ordinal.
  std::string detail = renderAt(704, "9");
  EXPECT_NE(std::string::npos, detail.find("page=604&Image.id=1\""));
  EXPECT_EQ(1, session.viewState.getInt("SearchView.image"));
  EXPECT_EQ(9, session.viewState.getInt("SearchView.page"));
  EXPECT_NE(std::string::npos, render(702).find("page=604&Image.id=1\""));
  // An ordinal past the end shows the last image; a negative one, or one that is no int,
  // the first.
  EXPECT_NE(std::string::npos, renderAt(704, "2147483647").find("page=604&Image.id=0\""));
  EXPECT_NE(std::string::npos, renderAt(704, "-3").find("page=604&Image.id=9\""));
  EXPECT_NE(std::string::npos, renderAt(704, "4000000000").find("page=604&Image.id=9\""));
  // The grid forgets the single image again.
  render(703);
  EXPECT_EQ(nullptr, session.viewState.getObject("SearchView.image"));
  EXPECT_NE(std::string::npos, render(702).find("<BODY bgcolor=white>\n"));
}

TEST_F(GSearchViewTest, ImagesDeletedSinceTheSearchAreSkipped) {
  int owner = addUser(0, "An", "Owner");
  addImage(owner, "sea");
  int gone = addImage(owner, "sea");
  logIn(owner);
  searched("sea");
  application.database.deleteImage(gone);
  std::string page = render(703);
  EXPECT_EQ(1u, countOf(page, "<TD class=\"imageStatusbar\">"));
  EXPECT_EQ(std::string::npos, page.find("Image.id=" + std::to_string(gone) + "\""));
}
