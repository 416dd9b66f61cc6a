#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "lib/core/MInt32.h"
#include "tests/views/ViewTestSupport.h"
#include "views/GView.h"

using viewtest::Page;
using viewtest::ViewTest;

namespace {

const std::string inactive = "<TD class=\"pageNum\" bgColor=\"#E0E0E0\" ";

std::string activeCell(const std::string& _url, const std::string& _close) {
  return "<TD class=\"pageNum\" bgColor=\"#808080\" " + viewtest::hover +
         "onClick=\"mouseClick(this,document,'" + _url + _close;
}

// The (target page, text) of every active cell of a paging bar, in order.
std::vector<std::pair<int, std::string>> links(const std::string& _bar) {
  std::vector<std::pair<int, std::string>> result;
  std::regex cell("pagenum=(\\d+)&[^']*'\\)\">(.*?)</TD>");
  for (auto it = std::sregex_iterator(_bar.begin(), _bar.end(), cell); it != std::sregex_iterator();
       ++it) {
    result.emplace_back(std::stoi((*it)[1]), (*it)[2]);
  }
  return result;
}

class GViewTest : public ViewTest {
 protected:
  std::string bar(int _count, int _pagenum, int _perPage, const char* _buttons = "") {
    Page page;
    MList param;
    param.setObject("page", 405);
    view.pageNumbers(session, page.out, _count, _pagenum, _perPage, param, _buttons);
    return page.text();
  }
  GView view;
};

}  // namespace

TEST_F(GViewTest, JavaScriptWritesTheHeadElements) {
  Page page;
  view.javaScript(session, page.out);
  const size_t start = viewtest::headStart.size();
  EXPECT_EQ(viewtest::head.substr(start, viewtest::head.size() - start - 8), page.text());
}

TEST_F(GViewTest, GetUrlSetsTheSessionAndEncodesTheValues) {
  MList params;
  params.setObject("page", 1);
  params.setObject("session", "old");
  params.setObject("Search.words", "cats & dogs");
  EXPECT_STREQ("/?page=1&session=5072913846&Search.words=cats%20%26%20dogs",
               view.getUrl(session, params).getValue());

  MList withoutSession;
  withoutSession.setObject("page", "4");
  withoutSession.setObject("tab_main", new MInt32(600), true);
  MString url;
  view.getUrl(session, withoutSession, url);
  EXPECT_STREQ("/?page=4&tab_main=600&session=5072913846", url.getValue());
  EXPECT_STREQ("5072913846", withoutSession.getObject("session")->toString().getValue());
}

TEST_F(GViewTest, PagingBarWithoutItemsIsAllInactive) {
  std::string expected = "<TABLE  width=\"100%\"><TR>\n" + inactive + "> << </TD>" + inactive +
                         "> < </TD>" + inactive + "> > </TD>\n" + inactive + "> >> </TD>\n" +
                         "<TD></TD><TD>B</TD><TD></TD>";
  for (int i = 0; i < 10; ++i) expected += inactive + "> </TD>";
  expected += "<TR></TABLE>\n";
  EXPECT_EQ(expected, bar(0, 1, 8, "<TD>B</TD>"));
}

TEST_F(GViewTest, PagingBarOfOnePage) {
  std::string expected = "<TABLE  width=\"100%\"><TR>\n" + inactive + "> << </TD>" + inactive +
                         "> < </TD>" + inactive + "> > </TD>\n" + inactive + "> >> </TD>\n" +
                         "<TD></TD><TD></TD><TD class=\"pageNumSelected\">1</TD>";
  for (int i = 0; i < 9; ++i) expected += inactive + "> </TD>";
  expected += "<TR></TABLE>\n";
  EXPECT_EQ(expected, bar(8, 1, 8));
}

TEST_F(GViewTest, PagingBarCellsInFull) {
  const std::string url = "/?page=405&pagenum=%d&session=5072913846";
  auto at = [&](int _page) { return std::regex_replace(url, std::regex("%d"), std::to_string(_page)); };
  std::string expected = "<TABLE  width=\"100%\"><TR>\n" + activeCell(at(1), "')\"> << </TD>\n") +
                         activeCell(at(1), "')\"> < </TD>\n") +
                         activeCell(at(3), "')\"> > </TD>\n") +
                         activeCell(at(3), "')\"> >> </TD>\n") + "<TD></TD><TD></TD>" +
                         activeCell(at(1), "')\">1</TD>") +
                         "<TD class=\"pageNumSelected\">2</TD>" + activeCell(at(3), "')\">3</TD>");
  for (int i = 0; i < 7; ++i) expected += inactive + "> </TD>";
  expected += "<TR></TABLE>\n";
  EXPECT_EQ(expected, bar(3, 2, 1));
}

TEST_F(GViewTest, PagingBarJumpsByBlocksOfTen) {
  // 760 items at 8 a page are 95 pages.
  std::vector<std::pair<int, std::string>> expected = {
      {11, " << "}, {22, " < "}, {24, " > "}, {31, " >> "}};
  for (int n = 21; n <= 30; ++n) {
    if (n != 23) expected.emplace_back(n, std::to_string(n));
  }
  std::string page23 = bar(760, 23, 8);
  EXPECT_EQ(expected, links(page23));
  EXPECT_NE(std::string::npos, page23.find("<TD class=\"pageNumSelected\">23</TD>"));

  std::string page93 = bar(760, 93, 8);
  expected = {{81, " << "}, {92, " < "}, {94, " > "}, {95, " >> "},
              {91, "91"},   {92, "92"},  {94, "94"},  {95, "95"}};
  EXPECT_EQ(expected, links(page93));
  size_t empty = 0;
  for (size_t p = page93.find(inactive + "> </TD>"); p != std::string::npos;
       p = page93.find(inactive + "> </TD>", p + 1)) {
    ++empty;
  }
  EXPECT_EQ(5u, empty);

  // The first block has no block before it: "<<" leads to page 1.
  EXPECT_EQ((std::pair<int, std::string>(1, " << ")), links(bar(760, 5, 8))[0]);
}

TEST_F(GViewTest, PagingBarLeavesTheLastPageNumberInTheList) {
  MList param;
  param.setObject("page", 405);
  Page page;
  view.pageNumbers(session, page.out, 30, 1, 10, param, "");
  EXPECT_EQ(3, GView::paramInt(param, "pagenum"));
  // No items per page is taken as one, not as a division by zero.
  EXPECT_EQ(links(bar(3, 2, 1)), links(bar(3, 2, 0)));
}

TEST_F(GViewTest, WriteFileCopiesBytesAndReportsMissingFiles) {
  std::string bytes("a\0b\r\nc", 6);
  bytes += std::string(25000, 'x');
  root.write("web/blob.bin", bytes);
  Page page;
  view.writeFile(page.out, root.file("web/blob.bin").c_str());
  EXPECT_EQ(bytes, page.text());

  Page missing;
  testing::internal::CaptureStderr();
  view.writeFile(missing.out, root.file("web/none.html").c_str());
  EXPECT_EQ("GView::writeFile(): Cannot open file (" + root.file("web/none.html") + ")\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ("", missing.text());
}

TEST_F(GViewTest, WriteHtmlFileReadsTheSessionsLanguageDirectory) {
  root.write("web/eng/part.html", "english");
  root.write("web/fra/part.html", "francais");
  root.write("config/part.html", "secret");
  struct Case {
    const char* language;
    const char* expected;
  };
  // Languages that are not configured read the files of the first language in code order
  // and never reach a path of their own.
  const Case cases[] = {{"eng", "english"}, {"fra", "francais"}, {"xyz", "english"},
                        {"../config", "english"}, {"", "english"}};
  for (const Case& c : cases) {
    session.language = c.language;
    Page page;
    view.writeHtmlFile(session, page.out, "part.html");
    EXPECT_EQ(c.expected, page.text()) << c.language;
  }
  session.language = "fra";
  Page missing;
  testing::internal::CaptureStderr();
  view.writeHtmlFile(session, missing.out, "introduction.html");
  EXPECT_EQ("GView::writeFile(): Cannot open file (" + root.path + "/web/fra/introduction.html)\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ("", missing.text());
}

TEST(GView, ParameterReadings) {
  MList params;
  params.setObject("digits", "405");
  params.setObject("negative", "-1");
  params.setObject("empty", "");
  params.setObject("word", "abc");
  params.setObject("mixed", "12x");
  params.setObject("huge", "99999999999");
  params.setObject("sign", "-");
  params.setObject("number", new MInt32(7), true);
  struct Case {
    const char* name;
    int value;
  };
  const Case cases[] = {{"digits", 405}, {"negative", -1}, {"empty", 0},   {"word", -1},
                        {"mixed", -1},   {"huge", -1},     {"sign", -1},   {"number", 7},
                        {"absent", -1}};
  for (const Case& c : cases) EXPECT_EQ(c.value, GView::paramInt(params, c.name)) << c.name;
  EXPECT_STREQ("abc", GView::paramText(params, "word").getValue());
  EXPECT_STREQ("", GView::paramText(params, "absent").getValue());
}
