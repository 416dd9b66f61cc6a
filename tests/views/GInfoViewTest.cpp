#include <gtest/gtest.h>

#include <string>

#include "tests/views/ViewTestSupport.h"
#include "views/GInfoView.h"

using viewtest::Page;

namespace {

class GInfoViewTest : public viewtest::ViewTest {
 protected:
  GInfoViewTest() {
    root.write("images/original/0000042.jpg", std::string("\xFF\xD8original", 10));
    root.write("images/preview1/0000042.jpg", std::string("\xFF\xD8small", 7));
    root.write("images/preview2/0000042.jpg", std::string("\xFF\xD8large", 7));
  }

  // Page _page for image _image ("" for a request without Image.id).
  std::string render(int _page, const char* _image = "42") {
    MList params;
    params.setObject("session", session.id.getValue());
    params.setObject("page", _page);
    if (*_image != 0) params.setObject("Image.id", _image);
    Page page;
    contentType = "text/html";
    EXPECT_TRUE(view.process_request(session, page.out, params, contentType)) << _page;
    return page.text();
  }

  GInfoView view;
};

const std::string windowHead =
    "<HTML>\n<HEAD>\n<TITLE>Vistrel 1.0</TITLE>\n</HEAD>\n<BODY style=\"margin=0\">\n";

}  // namespace

TEST_F(GInfoViewTest, IntroductionCopiesTheLanguagesFile) {
  logIn(0);
  EXPECT_EQ("<HTML><BODY>Welcome</BODY></HTML>\n", render(600));
  EXPECT_EQ(600, session.viewState.getInt("tab_main"));

  // The French directory has no introduction: an empty page and a note on standard error.
  session.language = "fra";
  testing::internal::CaptureStderr();
  EXPECT_EQ("", render(600));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("/web/fra/introduction.html"));
}

TEST_F(GInfoViewTest, ImageWindowShowsTheOriginalOnlyWithTheDownloadRight) {
  logIn(0);  // the administrator may download
  EXPECT_EQ(windowHead + "<IMG src=\"/?session=123456789&page=602&Image.id=42\">\n</BODY>\n</HTML>\n",
            render(601));
  EXPECT_EQ(windowHead + "</BODY>\n</HTML>\n", render(601, ""));
  logIn(1);  // the guest account may not
  EXPECT_EQ(windowHead + "</BODY>\n</HTML>\n", render(601));
}

TEST_F(GInfoViewTest, ImageFilesByRight) {
  struct Case {
    int user;  // -1: nobody logged in
    int page;
    const char* image;
    std::string body;
    const char* contentType;
  };
  const Case cases[] = {
      {0, 602, "42", std::string("\xFF\xD8original", 10), "image/jpeg"},
      {0, 603, "42", std::string("\xFF\xD8small", 7), "image/jpeg"},
      {0, 604, "42", std::string("\xFF\xD8large", 7), "image/jpeg"},
      {1, 602, "42", "", "text/html"},  // no download right
      {1, 603, "42", std::string("\xFF\xD8small", 7), "image/jpeg"},
      {1, 604, "42", std::string("\xFF\xD8large", 7), "image/jpeg"},
      {0, 603, "", "", "text/html"},  // no image named
      {-1, 603, "42", "", "text/html"},
      {-1, 604, "42", "", "text/html"},
      {0, 603, "7", "", "image/jpeg"},  // a missing file: empty, but still a JPEG answer
      {0, 602, "../../config/config", "", "image/jpeg"},  // no number: no file of its own
  };
  for (const Case& c : cases) {
    if (c.user >= 0) {
      logIn(c.user);
    } else {
      session.user = GUser();
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.body, render(c.page, c.image)) << c.user << " " << c.page << " " << c.image;
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(c.contentType, contentType.getValue()) << c.user << " " << c.page;
  }
}
