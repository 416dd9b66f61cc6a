#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tests/views/ImageViewTestSupport.h"
#include "views/GImagePages.h"
#include "views/GRights.h"

using imagetest::contains;
using imagetest::countOf;
using imagetest::detailOrdinals;
using imagetest::Params;
using imagetest::singlePageBar;
using viewtest::head;
using viewtest::hover;

namespace {

typedef GImageMember::Group Group;

class GImagePagesTest : public imagetest::ImageViewTest {
 protected:
  std::string write(bool _grid, Group _group, const Params& _params) {
    MList params;
    params.setObject("session", session.id.getValue());
    for (const auto& param : _params) params.setObject(param.first, param.second);
    viewtest::Page page;
    if (_grid) {
      pages.grid(_group, session, page.out, params);
    } else {
      pages.detail(_group, session, page.out, params);
    }
    return page.text();
  }
  std::string grid(Group _group, const Params& _params = {}) { return write(true, _group, _params); }
  std::string detail(Group _group, const Params& _params = {}) {
    return write(false, _group, _params);
  }

  // The page number that the paging bar shows selected.
  static int selectedPage(const std::string& _page) {
    const std::string marker = "<TD class=\"pageNumSelected\">";
    size_t at = _page.find(marker);
    return at == std::string::npos ? -1 : std::stoi(_page.substr(at + marker.size()));
  }

  // _count entries for _group, seen by the administrator, who owns every image; the
  // folder groups use folder 1.
  void populate(Group _group, int _count) {
    logIn(0);
    int folder = addFolder(0, "Sea", true);
    ASSERT_EQ(1, folder);
    for (int i = 0; i < _count; ++i) {
      switch (_group) {
        case GImageMember::FOLDER_IMAGES: publish(folder, 0, 1); break;
        case GImageMember::PUBLISHING:
        case GImageMember::OWN_IMAGES: addImage(0, 1); break;
        case GImageMember::SEARCH_RESULT:
          // Listed the newest first, as the search lists them.
          session.searchResults.insert(session.searchResults.begin(), addImage(0, 1));
          break;
        case GImageMember::WAITING_IMAGES: addImage(0, 0); break;
        case GImageMember::WAITING_PUBLICATIONS: publish(folder, 0, 1, 0); break;
      }
    }
  }

  // Back to the database before populate: no images 0 to 8, no folder 1, nothing
  // remembered or found.
  void freshDatabase() {
    for (int id = 0; id < 9; ++id) {
      db().deleteImageFolders(id);
      db().deleteImage(id);
    }
    db().deleteFolder(1);
    session.searchResults.clear();
    session.viewState.clear();
  }

  GImagePages pages;
};

const std::string S = "123456789";

// The request numbers differ from URL to URL; the member tables fix everything else.
std::string withoutRequestNumbers(const std::string& _page) {
  return std::regex_replace(_page, std::regex("requestId=[0-9]+"), "requestId=R");
}

}  // namespace

TEST_F(GImagePagesTest, FolderGridOfAnOrdinaryUserInFull) {
  int owner = addUser(0, true);
  int folder = addFolder(0, "Sea", true);
  std::vector<int> images = publish(folder, owner, 3);
  logIn(addUser(0, false));
  auto cell = [&](int _image, int _ordinal, int _request) {
    return "<TD><TABLE width=\"160\" cellspacing=\"0\" cellpadding=\"0\"><TR>"
           "<TD class=\"imageTitle\" colspan=\"1\">Ann Lee</TD>\n"
           "</TR><TR><TD colspan=\"1\" align=\"center\" onClick=\"mouseClick(this,document,'"
           "/?session=" + S + "&page=404&requestId=" + std::to_string(_request) +
           "&Folder.id=1&pagenum=" + std::to_string(_ordinal) + "')\"><IMG src=\"/?session=" + S +
           "&page=603&Image.id=" + std::to_string(_image) + "\" srcset=\"/?session=" + S +
           "&page=604&Image.id=" + std::to_string(_image) + " 2x\" height=\"120\"></TD>\n"
           "</TR><TR><TD class=\"imageStatusbar\">640 x 480</TD>\n</TR></TABLE></TD>\n";
  };
  // The newest publication comes first.
  EXPECT_EQ(head + "<BODY>\n<TABLE cellspacing=\"8\"><TR>" + cell(images[2], 1, 1) +
                cell(images[1], 2, 2) + cell(images[0], 3, 3) + "</TR></TABLE><HR>\n" +
                singlePageBar(false) + "<HR>\n</BODY>\n</HTML>\n",
            grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}}));
}

TEST_F(GImagePagesTest, EmptyGridsWithAndWithoutPagingBar) {
  logIn(0);
  addFolder(0, "Sea", true);
  const std::string empty = "<DIV class=\"message message_empty\" role=\"status\">";
  EXPECT_EQ(head + "<BODY>\n" + empty + "EMPTY_FOLDER</DIV>\n" + singlePageBar(true) +
                "<HR>\n</BODY>\n</HTML>\n",
            grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "4"}}));
  EXPECT_EQ(head + "<BODY bgcolor=white>\n</BODY>\n</HTML>\n", grid(GImageMember::SEARCH_RESULT));
  EXPECT_EQ(head + "<BODY>\n" + empty + "EMPTY_WAITING_IMAGES</DIV>\n" + singlePageBar(true) +
                "<HR>\n</BODY>\n</HTML>\n",
            grid(GImageMember::WAITING_IMAGES));
  // A detail page without image keeps its buttons and paging bar.
  std::string page = detail(GImageMember::WAITING_PUBLICATIONS);
  // Nor does its body focus a form that is not there: the handler would fail.
  EXPECT_EQ(head + "<BODY>\n<TABLE", page.substr(0, head.size() + 13));
  EXPECT_FALSE(contains(page, "<FORM"));
  EXPECT_TRUE(contains(page, "/images/multiview.gif"));
  EXPECT_FALSE(contains(page, "updateButton"));
  EXPECT_EQ(nullptr, session.viewState.getObject("FolderAccept.image"));
}

TEST_F(GImagePagesTest, FolderGridFiltersByRoleAndMarksTheStatusForAdministrators) {
  int owner = addUser(0, true);
  int folder = addFolder(0, "Sea", true);
  publish(folder, owner, 3, 1);
  publish(folder, owner, 5, 0);
  publish(folder, owner, 2, 2);

  logIn(addUser(0, false));
  std::string page = grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}});
  EXPECT_EQ(3u, countOf(page, "<TD class=\"imageTitle\" colspan=\"1\">"));
  EXPECT_EQ(singlePageBar(false), page.substr(page.find("<TABLE  width"), singlePageBar(false).size()));

  logIn(0);
  page = grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}});
  EXPECT_EQ(8u, countOf(page, "<TD class=\"imageTitle_"));
  EXPECT_EQ(2u, countOf(page, "imageTitle_denied"));
  EXPECT_EQ(5u, countOf(page, "imageTitle_wait"));
  EXPECT_EQ(1u, countOf(page, "imageTitle_accepted"));
  EXPECT_TRUE(contains(withoutRequestNumbers(page),
                       "'/?requestId=R&Folder.id=1&page=402&pagenum=2&session=" + S + "')\"> > </TD>\n"));
  page = grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "2"}});
  EXPECT_EQ(2u, countOf(page, "imageTitle_accepted"));
}

TEST_F(GImagePagesTest, AdministratorsButtonsFollowThePublicationsStatus) {
  struct Case {
    int status;
    std::string cells;
  };
  // Accept and deny look different and are decided in the background.
  auto button = [](int _request, int _action, const char* _text) {
    bool accept = _action == 5;
    return std::string("<TD class=\"") + (accept ? "acceptButton" : "denyButton") +
           "\" bgColor=\"#808080\"" + hover + "onClick=\"decide(this,'/?session=" + S +
           "&page=402&requestId=" + std::to_string(_request) + "&action=" + std::to_string(_action) +
           "&Folder.id=1&Image.id=0&pagenum=1','" + (accept ? "_accepted" : "_denied") + "')\">" +
           _text + "</TD>\n";
  };
  const Case cases[] = {
      {0, button(2, 5, "BUTTON_ACCEPT") + button(3, 6, "BUTTON_DENY")},
      {1, button(2, 6, "BUTTON_DENY") +
              "<TD class=\"imageStatusbar_accepted\">LABEL_ACCEPTED</TD>\n"},
      {2, button(2, 5, "BUTTON_ACCEPT") + "<TD class=\"imageStatusbar_denied\">LABEL_DENIED</TD>\n"},
  };
  logIn(0);
  addFolder(0, "Sea", true);
  int image = addImage(addUser(0, true), 1);
  for (const Case& c : cases) {
    db().deleteFolderImage(1, image);
    db().addFolderImage(1, image, (GImageStatus)c.status);
    application.requestCounter = 0;
    std::string page = grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}});
    std::string suffix = GImageMember::statusSuffix(c.status);
    EXPECT_TRUE(contains(page, "<TD class=\"imageTitle" + suffix + "\" colspan=\"2\">Ann Lee</TD>\n"))
        << c.status;
    EXPECT_TRUE(contains(page, "</TR><TR>" + c.cells + "</TR></TABLE></TD>\n")) << c.status;
  }
}

TEST_F(GImagePagesTest, AGridPageBeyondTheEndShowsTheLastPage) {
  logIn(0);
  int folder = addFolder(0, "Sea", true);
  publish(folder, 0, 16);
  // The last image of page 3 was deleted: page 3 shows page 2, and the request stays
  // remembered.
  std::string page = grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "3"}});
  EXPECT_EQ(2, selectedPage(page));
  EXPECT_EQ((std::vector<int>{9, 10, 11, 12, 13, 14, 15, 16}),
            detailOrdinals(page, "&Folder.id=1&pagenum="));
  EXPECT_EQ(3, session.viewState.getInt("ImageFolderView.page"));
}

TEST_F(GImagePagesTest, PageNumbersFromTheUrlStayInsideTheList) {
  struct Case {
    const char* pagenum;
    int page;
    int ordinal;
  };
  // 20 images: three grid pages, twenty detail pages.
  const Case cases[] = {
      {"2", 2, 2},         {"-5", 1, 1},         {"0", 1, 1},
      {"abc", 1, 1},       {"", 1, 1},           {"99999999999", 1, 1},
      {"2147483647", 3, 20}, {"-2147483648", 1, 1}, {"21", 3, 20},
  };
  populate(GImageMember::OWN_IMAGES, 20);
  for (const Case& c : cases) {
    std::string page = grid(GImageMember::OWN_IMAGES, {{"pagenum", c.pagenum}});
    EXPECT_EQ(c.page, selectedPage(page)) << c.pagenum;
    std::vector<int> ordinals = detailOrdinals(page, "&page=108&pagenum=");
    ASSERT_FALSE(ordinals.empty()) << c.pagenum;
    EXPECT_EQ((c.page - 1) * 8 + 1, ordinals.front()) << c.pagenum;
    EXPECT_LE(ordinals.back(), 20) << c.pagenum;

    page = detail(GImageMember::OWN_IMAGES, {{"pagenum", c.pagenum}});
    EXPECT_EQ(c.ordinal, selectedPage(page)) << c.pagenum;
    EXPECT_TRUE(contains(page, "action=13&pagenum=" + std::to_string(c.ordinal) + "&Image.id="))
        << c.pagenum;
  }
}

TEST_F(GImagePagesTest, DetailPageLinksBackToItsGridPage) {
  logIn(0);
  int folder = addFolder(0, "Sea", true);
  std::vector<int> images = publish(folder, 0, 12);
  std::string page = detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "9"}});
  EXPECT_TRUE(contains(page, "&page=405&requestId=1&Folder.id=1&pagenum=2')\"><IMG src=\"/images/multiview.gif\">"));
  // The ninth image counted from the newest, and the block 1 to 10 with 9 selected.
  EXPECT_TRUE(contains(page, "name=\"name\" value=\"Sea\""));
  EXPECT_TRUE(contains(page, "&Image.id=" + std::to_string(images[12 - 9]) + "&Folder.id=1')\">BUTTON_UPDATE"));
  EXPECT_EQ(9, selectedPage(page));
  for (int n : {1, 8, 10}) {
    EXPECT_TRUE(contains(page, "&pagenum=" + std::to_string(n) + "&session=" + S + "')\">" +
                                   std::to_string(n) + "</TD>"))
        << n;
  }
  EXPECT_FALSE(contains(page, "')\">11</TD>"));
  EXPECT_EQ(9, session.viewState.getInt("ImageFolderView.pagenum"));
  EXPECT_EQ(images[12 - 9], session.viewState.getInt("ImageFolderView.image"));

  page = detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "8"}});
  EXPECT_TRUE(contains(page, "&Folder.id=1&pagenum=1')\"><IMG src=\"/images/multiview.gif\">"));
}

TEST_F(GImagePagesTest, ReadOnlyDetailPageInFull) {
  int owner = addUser(0, true);
  int folder = addFolder(0, "Sea", true);
  std::vector<int> images = publish(folder, owner, 1);
  logIn(addUser(0, false));
  std::string back = "<TD class=\"pageNum\" bgColor=\"#E0E0E0\" " + hover +
                     "onClick=\"mouseClick(this,document,'/?session=" + S +
                     "&page=405&requestId=1&Folder.id=1&pagenum=1')\">"
                     "<IMG src=\"/images/multiview.gif\"></TD><TD width=\"20\"></TD>\n";
  auto row = [](const char* _label, const std::string& _value) {
    return std::string("<TR><TD class=\"imageAttribute\">") + _label +
           "</TD><TD class=\"imageValue\">" + _value + "</TD></TR>\n";
  };
  std::string id = std::to_string(images[0]);
  EXPECT_EQ(head + "<BODY>\n<TABLE width=\"100%\" cellspacing=\"8\"><TR>\n"
                   "<TD width=\"10%\" align=\"center\" onClick=\"openImageWindow('/?session=" + S +
                "&page=601&Image.id=" + id + "&list=404&pagenum=1&Folder.id=1')\"><IMG src=\"/?session=" + S +
                "&page=604&Image.id=" + id + "\" height=\"240\"></TD>\n"
                "<TD valign=\"top\"><TABLE width=\"100%\">\n" +
                row("LABEL_IMAGE_NUMBER", id) + row("LABEL_IMAGE_SIZE", "640 x 480 / 12345 bytes") +
                row("LABEL_IMAGE_OWNER", "Ann Lee") + row("LABEL_IMAGE_DATE", "2004-05-06") +
                row("LABEL_IMAGE_NAME", "Sea") + row("LABEL_IMAGE_KEYWORDS", "sea sun") +
                row("LABEL_IMAGE_DESCRIPTION", "At the sea") +
                "</TABLE></TD>\n</TR></TABLE><HR>\n" + singlePageBar(false, back) +
                "<HR>\n</BODY>\n</HTML>\n",
            detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "1"}}));

  // Once the large preview at twice its pixels is made, screens with two device pixels per
  // CSS pixel are offered it.
  root.write(MString::format("images/preview2x/%07d.jpg", images[0]).getValue(), "jpg");
  EXPECT_TRUE(contains(detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}}),
                       "<IMG src=\"/?session=" + S + "&page=604&Image.id=" + id + "\" srcset=\"/?session=" +
                           S + "&page=605&Image.id=" + id + " 2x\" height=\"240\">"));
}

TEST_F(GImagePagesTest, OwnersAndAdministratorsEditOthersRead) {
  struct Case {
    Group group;
    int viewer;  // 0 the owner, 1 another user, 2 an administrator
    bool editable;
  };
  const Case cases[] = {
      {GImageMember::FOLDER_IMAGES, 0, true}, {GImageMember::FOLDER_IMAGES, 1, false},
      {GImageMember::FOLDER_IMAGES, 2, true}, {GImageMember::SEARCH_RESULT, 0, true},
      {GImageMember::SEARCH_RESULT, 1, false}, {GImageMember::SEARCH_RESULT, 2, true},
  };
  int owner = addUser(0, true);
  int other = addUser(0, false);
  int admin = addUser(1, false);
  int folder = addFolder(0, "Sea", true);
  int image = publish(folder, owner, 1)[0];
  const int viewers[] = {owner, other, admin};
  for (const Case& c : cases) {
    logIn(viewers[c.viewer]);
    session.searchResults.assign(1, image);
    std::string page = detail(c.group, {{"Folder.id", "1"}});
    EXPECT_EQ(c.editable, contains(page, "<FORM name=\"Image\" class=\"input\">")) << c.group << c.viewer;
    EXPECT_EQ(c.editable, contains(page, "id=\"updateButton\"")) << c.group << c.viewer;
    EXPECT_EQ(!c.editable, contains(page, "LABEL_IMAGE_OWNER</TD><TD class=\"imageValue\">Ann Lee"))
        << c.group << c.viewer;
  }
}

TEST_F(GImagePagesTest, EachMembersLinksAndBodies) {
  struct Case {
    Group group;
    std::string gridBody, cellLink, button, gridPaging;
    std::string detailBody, back, update, detailPaging;
  };
  const std::string focus = "<BODY onLoad=\"document.Image.imageDate.focus();\">\n";
  const std::string s = "/?session=" + S + "&page=";
  const Case cases[] = {
      {GImageMember::FOLDER_IMAGES, "<BODY>\n",
       s + "404&requestId=R&Folder.id=1&pagenum=1'",
       "decide(this,'" + s + "402&requestId=R&action=6&Folder.id=1&Image.id=8&pagenum=1','_denied')\">BUTTON_DENY",
       "'/?requestId=R&Folder.id=1&page=402&pagenum=2&session=" + S,
       "<BODY>\n", s + "405&requestId=R&Folder.id=1&pagenum=1'",
       s + "404&requestId=R&action=13&pagenum=1&Image.id=8&Folder.id=1'",
       "'/?Folder.id=1&requestId=R&page=404&pagenum=2&session=" + S},
      {GImageMember::PUBLISHING, "<BODY>\n",
       s + "407&pagenum=1&Image.id=8&Folder.id=1'",
       "mouseClick(this,document,'" + s + "406&requestId=R&action=3&Folder.id=1&Image.id=8&User.id=0&pagenum=1')\">BUTTON_PUBLISH",
       "'/?page=406&pagenum=2&Folder.id=1&requestId=R&session=" + S,
       focus, s + "408&pagenum=1&requestId=R&Folder.id=1'",
       s + "407&requestId=R&action=13&pagenum=1&Image.id=8'",
       "'/?Folder.id=1&requestId=R&page=407&pagenum=2&session=" + S},
      {GImageMember::OWN_IMAGES, "<BODY>\n",
       s + "108&pagenum=1&Image.id=8'",
       "mouseClick(this,parent,'" + s + "111&requestId=R&Image.id=8')\">BUTTON_DELETE",
       "'/?requestId=R&page=109&pagenum=2&session=" + S,
       focus, s + "110&pagenum=1&requestId=R'",
       s + "108&requestId=R&action=13&pagenum=1&Image.id=8'",
       "'/?requestId=R&page=108&pagenum=2&session=" + S},
      {GImageMember::SEARCH_RESULT, "<BODY bgcolor=white>\n",
       s + "704&pagenum=1'",
       "<TD class=\"imageStatusbar\">640 x 480</TD>\n",
       "'/?requestId=R&page=702&pagenum=2&session=" + S,
       "<BODY bgcolor=white style=\"font-family: Arial;\">\n", s + "703&pagenum=1&requestId=R'",
       s + "704&requestId=R&action=13&pagenum=1&Image.id=8'",
       "'/?requestId=R&page=704&pagenum=2&session=" + S},
      {GImageMember::WAITING_IMAGES, "<BODY>\n",
       s + "1003&requestId=R&pagenum=1&Image.id=0'",
       "decide(this,'" + s + "1002&requestId=R&action=14&pagenum=1&User.id=0&Image.id=0','_accepted')\">BUTTON_ACCEPT",
       "'/?requestId=R&page=1002&pagenum=2&session=" + S,
       focus, s + "1004&requestId=R&pagenum=1&Image.id=0'",
       s + "1003&action=13&requestId=R&pagenum=1&Image.id=0'",
       "'/?page=1003&requestId=R&pagenum=2&Image.id=0&session=" + S},
      {GImageMember::WAITING_PUBLICATIONS, "<BODY>\n",
       s + "1006&requestId=R&pagenum=1&Image.id=0&Folder.id=1'",
       "decide(this,'" + s + "1005&action=5&requestId=R&pagenum=1&Image.id=0&Folder.id=1','_accepted')\">BUTTON_ACCEPT",
       "'/?requestId=R&page=1005&pagenum=2&session=" + S,
       focus, s + "1007&requestId=R&pagenum=1'",
       s + "1006&action=13&requestId=R&pagenum=1&Image.id=0'",
       "'/?requestId=R&page=1006&pagenum=2&session=" + S},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    // A fresh database for each member.
    freshDatabase();
    populate(c.group, 9);

    std::string page = withoutRequestNumbers(grid(c.group, {{"Folder.id", "1"}}));
    EXPECT_EQ(head + c.gridBody, page.substr(0, head.size() + c.gridBody.size()));
    EXPECT_TRUE(contains(page, "align=\"center\" onClick=\"mouseClick(this,document,'" + c.cellLink + ")\">"));
    EXPECT_TRUE(contains(page, c.button));
    EXPECT_TRUE(contains(page, c.gridPaging + "')\"> > </TD>\n"));

    page = withoutRequestNumbers(detail(c.group, {{"Folder.id", "1"}, {"pagenum", "1"}}));
    EXPECT_EQ(head + c.detailBody, page.substr(0, head.size() + c.detailBody.size()));
    EXPECT_TRUE(contains(page, "onClick=\"mouseClick(this,document,'" + c.back + ")\"><IMG src=\"/images/multiview.gif\">"));
    EXPECT_TRUE(contains(page, "id=\"updateButton\" onClick=\"updateImage(this,document,'" + c.update + ")\">BUTTON_UPDATE</TD>\n"));
    EXPECT_TRUE(contains(page, c.detailPaging + "')\"> > </TD>\n"));
  }
}

TEST_F(GImagePagesTest, EveryLinkCarriesItsOwnRequestNumber) {
  populate(GImageMember::WAITING_IMAGES, 3);
  std::string page = grid(GImageMember::WAITING_IMAGES);
  std::regex number("requestId=([0-9]+)");
  std::vector<std::string> seen;
  for (auto it = std::sregex_iterator(page.begin(), page.end(), number); it != std::sregex_iterator(); ++it) {
    seen.push_back((*it)[1]);
  }
  // Three cells with a detail link and two buttons each; the single page has no paging links.
  ASSERT_EQ(9u, seen.size());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen.end(), std::adjacent_find(seen.begin(), seen.end()));
}

TEST_F(GImagePagesTest, WhoSeesWhichMember) {
  struct Case {
    Group group;
    bool nobody, user, administrator;
  };
  const Case cases[] = {
      {GImageMember::FOLDER_IMAGES, true, true, true},
      {GImageMember::PUBLISHING, false, true, true},
      {GImageMember::OWN_IMAGES, false, true, true},
      {GImageMember::SEARCH_RESULT, false, true, true},
      {GImageMember::WAITING_IMAGES, false, false, true},
      {GImageMember::WAITING_PUBLICATIONS, false, false, true},
  };
  int user = addUser(0, true);
  for (const Case& c : cases) {
    const std::pair<int, bool> viewers[] = {{-1, c.nobody}, {user, c.user}, {0, c.administrator}};
    for (const auto& viewer : viewers) {
      session.viewState.clear();
      if (viewer.first < 0) {
        session.user = GUser();
      } else {
        logIn(viewer.first);
      }
      EXPECT_EQ(viewer.second, !grid(c.group).empty()) << c.group << " " << viewer.first;
      EXPECT_EQ(viewer.second, !detail(c.group).empty()) << c.group << " " << viewer.first;
      // A refused page leaves the remembered state alone.
      if (!viewer.second) {
        EXPECT_EQ(0, session.viewState.getLength()) << c.group << " " << viewer.first;
      }
    }
  }
}

TEST_F(GImagePagesTest, TheSelectorShowsWhatWasUsedLast) {
  populate(GImageMember::OWN_IMAGES, 10);
  auto selector = [&](const Params& _params) {
    MList params;
    for (const auto& param : _params) params.setObject(param.first, param.second);
    viewtest::Page page;
    pages.selector(GImageMember::OWN_IMAGES, session, page.out, params);
    return page.text();
  };
  EXPECT_TRUE(contains(selector({}), "<TD class=\"imageTitle_accepted\""));
  // The detail page remembers its image and its ordinal (in the grid page's key).
  detail(GImageMember::OWN_IMAGES, {{"pagenum", "10"}});
  EXPECT_EQ(10, session.viewState.getInt("UserView.page"));
  std::string page = selector({});
  EXPECT_TRUE(contains(page, "<FORM name=\"Image\""));
  EXPECT_EQ(10, selectedPage(page));
  // Any grid forgets the image; the remembered ordinal 10 then stands for grid page 2.
  grid(GImageMember::OWN_IMAGES);
  EXPECT_EQ(nullptr, session.viewState.getObject("UserView.image"));
  page = selector({});
  EXPECT_FALSE(contains(page, "<FORM name=\"Image\""));
  EXPECT_EQ(2, selectedPage(page));
}

TEST_F(GImagePagesTest, RememberedStateOfTheFolderAndAcceptanceGroups) {
  logIn(0);
  int first = addFolder(0, "One", true);
  int second = addFolder(0, "Two", true);
  publish(first, 0, 10);
  publish(second, 0, 10);
  grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "2"}});
  EXPECT_EQ(first, session.viewState.getInt("ImageFolderView.folder"));
  // The remembered page belongs to its folder.
  EXPECT_EQ(2, selectedPage(grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}})));
  EXPECT_EQ(1, selectedPage(grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "2"}})));
  EXPECT_EQ(second, session.viewState.getInt("ImageFolderView.folder"));
  EXPECT_EQ(1, selectedPage(grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}})));

  // The waiting images' detail page reads the remembered page but does not write it.
  addImage(0, 0);
  session.viewState.setObject("ImageAccept.pageNum", 5);
  detail(GImageMember::WAITING_IMAGES, {{"pagenum", "1"}});
  EXPECT_EQ(5, session.viewState.getInt("ImageAccept.pageNum"));
  EXPECT_NE(nullptr, session.viewState.getObject("ImageAccept.image"));
  grid(GImageMember::WAITING_IMAGES);
  EXPECT_EQ(nullptr, session.viewState.getObject("ImageAccept.image"));
}

TEST_F(GImagePagesTest, EntriesThatCannotBeReadLeaveAGapButKeepTheirPlace) {
  int owner = addUser(0, true);
  int folder = addFolder(0, "Sea", true);
  publish(folder, owner, 1);
  publish(folder, 99, 1);  // an owner that does not exist
  publish(folder, owner, 1);
  logIn(owner);
  std::string page = grid(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}});
  EXPECT_EQ((std::vector<int>{1, 3}), detailOrdinals(page, "&Folder.id=1&pagenum="));
  EXPECT_EQ(1u, countOf(page, "<TABLE cellspacing=\"8\"><TR>"));
  // The detail page of that entry shows no image but still its bar of three.
  page = detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}, {"pagenum", "2"}});
  EXPECT_FALSE(contains(page, "imageAttribute"));
  EXPECT_TRUE(contains(page, "')\">3</TD>"));

  // A publication whose folder is gone has no cell either.
  logIn(0);
  GImage orphan;
  db().addFolderImage(77, db().addImage(orphan), GIMAGE_WAITING);
  page = grid(GImageMember::WAITING_PUBLICATIONS);
  EXPECT_FALSE(contains(page, "imageTitle"));
}

TEST_F(GImagePagesTest, PublishingStateOfEachImage) {
  struct Case {
    int imageStatus;
    int linkStatus;  // -1: not published in the folder
    const char* label;
    const char* suffix;
    const char* button;
  };
  const Case cases[] = {
      {1, -1, "LABEL_NOT_PUBLISHED", "_unpublished", "action=3&"},
      {0, -1, "LABEL_NOT_PUBLISHED", "_unpublished", "action=3&"},
      {1, 0, "LABEL_WAIT", "_wait", "action=4&"},
      {1, 1, "LABEL_PUBLISHED", "_accepted", "action=4&"},
      {1, 2, "LABEL_DENIED", "_denied", "action=4&"},
      {0, 1, "LABEL_WAIT", "_wait", "action=4&"},
      {2, 1, "LABEL_DENIED", "_denied", "action=4&"},
  };
  int folder = addFolder(0, "Sea", true);
  int other = addFolder(0, "Elsewhere", true);
  for (const Case& c : cases) {
    int user = addUser(0, true);
    logIn(user);
    int image = addImage(user, c.imageStatus);
    if (c.linkStatus >= 0) db().addFolderImage(folder, image, (GImageStatus)c.linkStatus);
    db().addFolderImage(other, image, GIMAGE_ACCEPTED);  // another folder's link changes nothing
    std::string page = grid(GImageMember::PUBLISHING, {{"Folder.id", std::to_string(folder).c_str()}});
    SCOPED_TRACE(c.label);
    EXPECT_TRUE(contains(page, std::string("<TD class=\"imageTitle") + c.suffix + "\" colspan=\"2\">" + c.label + "</TD>\n"));
    EXPECT_TRUE(contains(page, std::string("&") + c.button));
    EXPECT_TRUE(contains(page, std::string("<TD class=\"imageStatusbar") + c.suffix + "\"></TD>\n"));
  }
}

TEST_F(GImagePagesTest, WaitingQueuesShowOwnerOrFolder) {
  logIn(0);
  int owner = addUser(0, true, "<i>Ann</i>", "O'Neil & \"Co\"");
  int folder = addFolder(0, "<b>F&F</b>", true);
  addImage(owner, 0);
  publish(folder, owner, 1, 0);
  std::string page = grid(GImageMember::WAITING_IMAGES);
  EXPECT_TRUE(contains(page, "<TD class=\"imageTitle_wait\" colspan=\"2\">&lt;i&gt;Ann&lt;/i&gt; "
                             "O&#39;Neil &amp; &quot;Co&quot;</TD>\n"));
  EXPECT_TRUE(contains(page, "&User.id=" + std::to_string(owner) + "&Image.id=0','_denied')\">BUTTON_DENY"));
  page = grid(GImageMember::WAITING_PUBLICATIONS);
  EXPECT_TRUE(contains(page, "<TD class=\"imageTitle_wait\" colspan=\"2\">&lt;b&gt;F&amp;F&lt;/b&gt;</TD>\n"));
  EXPECT_FALSE(contains(page, "<b>"));
}

TEST_F(GImagePagesTest, HostileAttributesAreEscapedEverywhere) {
  int owner = addUser(0, true, "<i>Ann</i>", "O'Neil & \"Co\"");
  int folder = addFolder(0, "Sea", true);
  GImage image;
  image.user = owner;
  image.status = GIMAGE_ACCEPTED;
  image.date = "1'2\"3";
  image.name = "<script>\"a\" & 'b'</script>";
  image.keywords = "k&<>";
  image.description = "line1\nline2 \\ end";
  db().addImage(image);
  db().addFolderImage(folder, image.id, GIMAGE_ACCEPTED);
  session.searchResults.push_back(image.id);

  // The owner's edit form.
  logIn(owner);
  std::string page = detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}});
  EXPECT_TRUE(contains(page, "name=\"name\" value=\"&lt;script&gt;&quot;a&quot; &amp; &#39;b&#39;&lt;/script&gt;\" "
                             "onKeyUp=\"if (document.Image.name.value != '&lt;script&gt;\\&quot;a\\&quot; &amp; "
                             "\\&#39;b\\&#39;&lt;/script&gt;') activateUpdateButton();\">"));
  EXPECT_TRUE(contains(page, "name=\"imageDate\" value=\"1&#39;2&quot;3\" onKeyUp=\"if (document.Image.imageDate.value "
                             "!= '1\\&#39;2\\&quot;3') activateUpdateButton();\">"));
  EXPECT_TRUE(contains(page, "document.Image.keywords.value != 'k&amp;&lt;&gt;') activateUpdateButton();\">"
                             "k&amp;&lt;&gt;</TEXTAREA>"));
  EXPECT_TRUE(contains(page, "document.Image.description.value != 'line1\\x0Aline2 \\\\ end') "
                             "activateUpdateButton();\">line1\nline2 \\ end</TEXTAREA>"));
  EXPECT_FALSE(contains(page, "<script>"));

  // A text that starts with a line break keeps it through the form: the browser drops the one
  // right after the opening tag.
  db().getImage(image.id, image);
  image.description = "\nindented";
  db().updateImage(image.id, image);
  page = detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}});
  EXPECT_TRUE(contains(page, "activateUpdateButton();\">\n\nindented</TEXTAREA>"));
  EXPECT_TRUE(contains(page, "activateUpdateButton();\">k&amp;&lt;&gt;</TEXTAREA>"));

  // Another user's read-only table, the search result and the folder grid.
  logIn(addUser(0, false));
  for (const std::string& other : {detail(GImageMember::FOLDER_IMAGES, {{"Folder.id", "1"}}),
                                   detail(GImageMember::SEARCH_RESULT)}) {
    EXPECT_TRUE(contains(other, "LABEL_IMAGE_OWNER</TD><TD class=\"imageValue\">&lt;i&gt;Ann&lt;/i&gt; "
                                "O&#39;Neil &amp; &quot;Co&quot;</TD>"));
    EXPECT_TRUE(contains(other, "LABEL_IMAGE_NAME</TD><TD class=\"imageValue\">&lt;script&gt;&quot;a&quot; "
                                "&amp; &#39;b&#39;&lt;/script&gt;</TD>"));
    EXPECT_TRUE(contains(other, "LABEL_IMAGE_DATE</TD><TD class=\"imageValue\">1&#39;2&quot;3</TD>"));
    EXPECT_TRUE(contains(other, "LABEL_IMAGE_KEYWORDS</TD><TD class=\"imageValue\">k&amp;&lt;&gt;</TD>"));
    EXPECT_FALSE(contains(other, "<script>"));
    EXPECT_FALSE(contains(other, "<i>"));
  }
  for (Group group : {GImageMember::FOLDER_IMAGES, GImageMember::SEARCH_RESULT}) {
    page = grid(group, {{"Folder.id", "1"}});
    EXPECT_TRUE(contains(page, "&lt;i&gt;Ann&lt;/i&gt; O&#39;Neil &amp; &quot;Co&quot;</TD>\n")) << group;
    EXPECT_FALSE(contains(page, "<i>")) << group;
  }
}

namespace {

std::string messageLine(const std::string& _kind, const std::string& _text) {
  return "<DIV class=\"message message_" + _kind + "\" role=\"status\">" + _text + "</DIV>\n";
}

// What a page writes right after its BODY tag, _length characters of it.
std::string afterBody(const std::string& _page, size_t _length) {
  size_t body = _page.find("<BODY");
  if (body == std::string::npos) return "";
  body = _page.find('\n', body) + 1;
  return _page.substr(body, _length);
}

}  // namespace

TEST_F(GImagePagesTest, EmptyListsSayWhy) {
  addFolder(0, "Sea", true);
  const int guest = GRights::guestAccountId;
  int user = addUser(0, true);
  struct Case {
    Group group;
    int viewer;
    const char* words;  // the remembered search words, null for none
    std::string line;   // empty: no line at all
  };
  const std::string searchWords =
      "EMPTY_SEARCH <SPAN class=\"searchWords\">&lt;b&gt;sea&lt;/b&gt; &amp; &quot;sky&quot;</SPAN>";
  const Case cases[] = {
      // Those who may publish are pointed to the tab where they do.
      {GImageMember::FOLDER_IMAGES, user, nullptr, "EMPTY_FOLDER EMPTY_FOLDER_PUBLISH"},
      {GImageMember::FOLDER_IMAGES, 0, nullptr, "EMPTY_FOLDER"},
      {GImageMember::FOLDER_IMAGES, guest, nullptr, "EMPTY_FOLDER"},
      {GImageMember::PUBLISHING, user, nullptr, "EMPTY_OWN_IMAGES"},
      {GImageMember::OWN_IMAGES, user, nullptr, "EMPTY_OWN_IMAGES"},
      // Before the first search there is nothing to report.
      {GImageMember::SEARCH_RESULT, user, nullptr, ""},
      {GImageMember::SEARCH_RESULT, user, "", ""},
      {GImageMember::SEARCH_RESULT, user, "<b>sea</b> & \"sky\"", searchWords},
      {GImageMember::WAITING_IMAGES, 0, nullptr, "EMPTY_WAITING_IMAGES"},
      {GImageMember::WAITING_PUBLICATIONS, 0, nullptr, "EMPTY_WAITING_PUBLICATIONS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.group) + " viewer " + std::to_string(c.viewer));
    logIn(c.viewer);
    session.viewState.clear();
    if (c.words != nullptr) session.viewState.setObject("Search.words", c.words);
    std::string page = grid(c.group, {{"Folder.id", "1"}});
    if (c.line.empty()) {
      EXPECT_FALSE(contains(page, "message"));
    } else {
      std::string expected = messageLine("empty", c.line);
      EXPECT_EQ(expected, afterBody(page, expected.size()));
    }
  }
  // A list with entries says nothing of the kind.
  logIn(user);
  addImage(user, 1);
  EXPECT_FALSE(contains(grid(GImageMember::OWN_IMAGES), "message"));
}

TEST_F(GImagePagesTest, OutcomesAndTheWaitingNoteStandAtTheTop) {
  int user = addUser(0, true);
  logIn(user);
  int waiting = addImage(user, 0);
  const std::string focus = "<BODY onLoad=\"document.Image.imageDate.focus();\">\n";
  // The owner learns why nobody else sees the image yet, after the outcome of the save.
  std::string page = detail(GImageMember::OWN_IMAGES, {{"message", "1"}});
  EXPECT_EQ(head + focus + messageLine("done", "MESSAGE_SAVED") +
                messageLine("note", "MESSAGE_IMAGE_WAITING") + "<FORM",
            page.substr(0, page.find("<FORM") + 5));
  page = grid(GImageMember::OWN_IMAGES, {{"message", "2"}});
  const std::string deleted = messageLine("done", "MESSAGE_DELETED");
  EXPECT_EQ(deleted, afterBody(page, deleted.size()));

  // An accepted image has no note; in the queue the waiting goes without saying.
  db().acceptImage(waiting);
  EXPECT_FALSE(contains(detail(GImageMember::OWN_IMAGES), "message"));
  db().denyImage(waiting);
  addImage(user, 0);
  logIn(0);
  EXPECT_FALSE(contains(detail(GImageMember::WAITING_IMAGES), "message"));
}

TEST_F(GImagePagesTest, QueueDetailPagesDecideAndGoBackToTheGrid) {
  struct Case {
    Group group;
    std::string accept, deny;
  };
  const std::string s = "/?session=" + S + "&page=";
  auto cell = [](const char* _class, const std::string& _url, const char* _text) {
    return std::string("<TD class=\"") + _class + "\" bgColor=\"#808080\"" + hover +
           "onClick=\"mouseClick(this,document,'" + _url + "')\">" + _text + "</TD>\n";
  };
  const Case cases[] = {
      {GImageMember::WAITING_IMAGES,
       cell("acceptButton", s + "1004&requestId=R&action=14&pagenum=2&User.id=0&Image.id=8", "BUTTON_ACCEPT"),
       cell("denyButton", s + "1004&requestId=R&action=15&pagenum=2&User.id=0&Image.id=8", "BUTTON_DENY")},
      {GImageMember::WAITING_PUBLICATIONS,
       cell("acceptButton", s + "1007&action=5&requestId=R&pagenum=2&Image.id=8&Folder.id=1", "BUTTON_ACCEPT"),
       cell("denyButton", s + "1007&action=6&requestId=R&pagenum=2&Image.id=8&Folder.id=1", "BUTTON_DENY")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    freshDatabase();
    populate(c.group, 9);
    std::string page = withoutRequestNumbers(detail(c.group, {{"pagenum", "9"}}));
    EXPECT_TRUE(contains(page, "BUTTON_UPDATE</TD>\n<TD width=\"20\"></TD>\n" + c.accept + c.deny));
  }
  // The other detail pages decide nothing.
  for (Group group : {GImageMember::FOLDER_IMAGES, GImageMember::OWN_IMAGES}) {
    EXPECT_FALSE(contains(detail(group, {{"Folder.id", "1"}}), "acceptButton")) << group;
  }
}

TEST_F(GImagePagesTest, TheImageWindowStepsThroughTheListItWasOpenedFrom) {
  populate(GImageMember::SEARCH_RESULT, 3);
  // The search result is walked from its last entry: ordinals 1, 2, 3 are images 2, 1, 0.
  std::string page = detail(GImageMember::SEARCH_RESULT, {{"pagenum", "2"}});
  EXPECT_TRUE(contains(page, "onClick=\"openImageWindow('/?session=" + S +
                                 "&page=601&Image.id=1&list=704&pagenum=2');\">"));
  struct Case {
    Params params;
    std::string previous, next;
  };
  const std::string w = "/?session=" + S + "&page=601&Image.id=";
  const Case cases[] = {
      {{{"list", "704"}, {"pagenum", "2"}}, w + "2&list=704&pagenum=1", w + "0&list=704&pagenum=3"},
      {{{"list", "704"}, {"pagenum", "1"}}, "", w + "1&list=704&pagenum=2"},
      {{{"list", "704"}, {"pagenum", "3"}}, w + "1&list=704&pagenum=2", ""},
      {{{"list", "704"}, {"pagenum", "2147483647"}}, "", ""},
      // No list, or one that is no detail page, or one the session may not see: no steps.
      {{{"pagenum", "2"}}, "", ""},
      {{{"list", "601"}, {"pagenum", "2"}}, "", ""},
      {{{"list", "1003"}, {"pagenum", "1"}}, "", ""},
  };
  logIn(addUser(0, true));
  for (const Case& c : cases) {
    MList params;
    for (const auto& param : c.params) params.setObject(param.first, param.second);
    MString previous("x"), next("x");
    pages.neighbourUrls(session, params, previous, next);
    EXPECT_EQ(c.previous, previous.getValue()) << c.params.size();
    EXPECT_EQ(c.next, next.getValue()) << c.params.size();
  }
  // The folder groups name their folder.
  logIn(0);
  int folder = addFolder(0, "Harbour", true);
  publish(folder, 0, 2);
  MList params;
  params.setObject("list", "404");
  params.setObject("pagenum", "1");
  params.setObject("Folder.id", std::to_string(folder).c_str());
  MString previous, next;
  pages.neighbourUrls(session, params, previous, next);
  EXPECT_EQ(w + "3&list=404&pagenum=2&Folder.id=" + std::to_string(folder), next.getValue());
}
