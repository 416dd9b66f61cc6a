#include <gtest/gtest.h>

#include <string>

#include "tests/views/ImageViewTestSupport.h"
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

namespace {

// Who may fetch the files of which image: owners, administrators, everybody logged in once
// the image is accepted, and the owner of a folder where its publication waits.
class GImageRightsTest : public imagetest::ImageViewTest {
 protected:
  enum Viewer { ADMIN, OWNER, STRANGER, FOLDER_OWNER, NO_DOWNLOAD, GUEST_ACCOUNT, NOBODY };
  enum Picture { WAITING, ACCEPTED, DENIED, WAITS_IN_FOLDER, MISSING };

  GImageRightsTest() {
    users[ADMIN] = 0;
    users[GUEST_ACCOUNT] = 1;
    users[OWNER] = downloader();
    users[STRANGER] = downloader();
    users[FOLDER_OWNER] = downloader();
    users[NO_DOWNLOAD] = addUser(0, false);
    images[WAITING] = addImage(users[OWNER], GIMAGE_WAITING);
    images[ACCEPTED] = addImage(users[OWNER], GIMAGE_ACCEPTED);
    images[DENIED] = addImage(users[OWNER], GIMAGE_DENIED);
    images[WAITS_IN_FOLDER] = addImage(users[OWNER], GIMAGE_WAITING);
    images[MISSING] = 999;
    GFolder folder;
    folder.parentId = 0;
    folder.name = "Club";
    folder.imageFolder = true;
    folder.enabled = true;
    folder.ownerId = users[FOLDER_OWNER];
    int club = db().addFolder(folder);
    db().addFolderImage(club, images[WAITS_IN_FOLDER], GIMAGE_WAITING);
    // The stranger owns a folder too, where the waiting image was accepted: that gives no
    // right to an image that is not accepted itself.
    folder.ownerId = users[STRANGER];
    db().addFolderImage(db().addFolder(folder), images[WAITING], GIMAGE_ACCEPTED);
    for (int id : images) {
      for (const char* store : {"original", "preview1", "preview2", "preview2x", "screen"}) {
        root.write(MString::format("images/%s/%07d.jpg", store, id).getValue(), std::string("\xFF\xD8") + store);
      }
    }
  }

  int downloader() {
    int id = addUser(0, false);
    GUser user;
    db().getUser(id, user);
    user.imageDownload = true;
    db().updateUser(id, user);
    return id;
  }

  void become(Viewer _viewer) {
    if (_viewer == NOBODY) {
      session.user = GUser();
    } else {
      logIn(users[_viewer]);
    }
  }

  std::string fetch(int _page, Picture _picture) {
    contentType = "text/html";
    testing::internal::CaptureStderr();
    std::string body = render(view, _page, {{"Image.id", std::to_string(images[_picture]).c_str()}});
    testing::internal::GetCapturedStderr();
    return body;
  }

  int users[NOBODY];
  int images[MISSING + 1];
  GInfoView view;
};

}  // namespace

TEST_F(GImageRightsTest, FilesOnlyToThoseWhoMaySeeThem) {
  struct Case {
    Viewer viewer;
    Picture picture;
    bool previews;
    bool original;
  };
  const Case cases[] = {
      {ADMIN, WAITING, true, true},          {ADMIN, DENIED, true, true},
      {OWNER, WAITING, true, true},          {OWNER, DENIED, true, true},
      {STRANGER, WAITING, false, false},     {STRANGER, DENIED, false, false},
      {STRANGER, ACCEPTED, true, true},      {STRANGER, WAITS_IN_FOLDER, false, false},
      {FOLDER_OWNER, WAITS_IN_FOLDER, true, true}, {FOLDER_OWNER, WAITING, false, false},
      {NO_DOWNLOAD, ACCEPTED, true, false},  {NO_DOWNLOAD, WAITING, false, false},
      {GUEST_ACCOUNT, ACCEPTED, true, false}, {GUEST_ACCOUNT, WAITING, false, false},
      {GUEST_ACCOUNT, DENIED, false, false}, {NOBODY, ACCEPTED, false, false},
      {ADMIN, MISSING, false, false},
  };
  for (const Case& c : cases) {
    become(c.viewer);
    // The pictures for screens have the previews' rights.
    for (int page : {GIds::PAGE_PREVIEW1, GIds::PAGE_PREVIEW2, GIds::PAGE_PREVIEW2X, GIds::PAGE_SCREEN}) {
      std::string body = fetch(page, c.picture);
      EXPECT_EQ(c.previews, body.size() > 2) << c.viewer << " " << c.picture << " " << page;
      EXPECT_STREQ(c.previews ? "image/jpeg" : "text/html", contentType.getValue());
    }
    EXPECT_EQ(c.original, fetch(GIds::PAGE_ORIGINAL, c.picture) == "\xFF\xD8original")
        << c.viewer << " " << c.picture;
    // The viewer is for everyone who may see the previews; its Download button only for
    // those who may fetch the original.
    std::string viewer = fetch(GIds::PAGE_IMAGE_WINDOW, c.picture);
    EXPECT_EQ(c.previews, viewer.find("<IMG") != std::string::npos) << c.viewer << " " << c.picture;
    EXPECT_EQ(c.original, viewer.find("downloadButton") != std::string::npos)
        << c.viewer << " " << c.picture;
    EXPECT_EQ(std::string::npos, viewer.find("page=602&Image.id=" + std::to_string(images[c.picture]) + "\" alt"));
  }
}

TEST_F(GImageRightsTest, TheImageWindowIsAViewerNamedAfterThePicture) {
  GImage image;
  db().getImage(images[ACCEPTED], image);
  image.name = "Pier <at> \"dusk\"";
  db().updateImage(image.id, image);
  int next = images[DENIED];
  become(OWNER);
  std::string id = std::to_string(image.id);
  std::string s = "/?session=" + std::string(session.id.getValue());
  // Opened from the own images' detail page: the arrows step through that list, the newest
  // first (the own images are WAITS_IN_FOLDER, DENIED, ACCEPTED, WAITING).
  std::string page = render(view, GIds::PAGE_IMAGE_WINDOW,
                            {{"Image.id", id.c_str()}, {"list", "108"}, {"pagenum", "3"}});
  const std::string name = "Pier &lt;at&gt; &quot;dusk&quot;";
  const std::string original = s + "&page=602&Image.id=" + id;
  auto bar = [](const char* _download) {
    return std::string("<DIV class=\"viewerBar\">"
                       "<BUTTON type=\"button\" class=\"viewerButton\" id=\"previousButton\" "
                       "title=\"VIEWER_PREVIOUS\">&#8249;</BUTTON>"
                       "<BUTTON type=\"button\" class=\"viewerButton\" id=\"slideshowButton\" "
                       "title=\"VIEWER_SLIDESHOW\">VIEWER_SLIDESHOW</BUTTON>"
                       "<BUTTON type=\"button\" class=\"viewerButton\" id=\"nextButton\" "
                       "title=\"VIEWER_NEXT\">&#8250;</BUTTON>") +
           _download +
           "<BUTTON type=\"button\" class=\"viewerButton\" id=\"closeButton\" "
           "title=\"VIEWER_CLOSE\">&#215;</BUTTON>"
           "<SPAN class=\"viewerHelp\">VIEWER_HELP</SPAN></DIV>\n</BODY>\n</HTML>\n";
  };
  // The screen-sized picture, never the original; the position in the list and the name.
  EXPECT_EQ(viewtest::headStart + "<TITLE>" + name + "</TITLE>\n" +
                "<LINK rel=\"stylesheet\" href=\"/style.css\">\n"
                "<SCRIPT language=\"JavaScript\" src=\"/scripts.js\" type=\"text/javascript\"></SCRIPT>\n"
                "</HEAD>\n<BODY class=\"viewer\" id=\"viewer\" data-previous=\"" + s +
                "&page=601&Image.id=" + std::to_string(next) + "&list=108&pagenum=2\" data-next=\"" + s +
                "&page=601&Image.id=" + std::to_string(images[WAITING]) + "&list=108&pagenum=4\">\n"
                "<IMG id=\"viewerImage\" class=\"fitted\" src=\"" + s + "&page=606&Image.id=" + id +
                "\" alt=\"" + name + "\">\n"
                "<DIV class=\"viewerCaption\"><SPAN class=\"viewerPosition\">3 VIEWER_POSITION_OF 4</SPAN>"
                "<SPAN class=\"viewerName\">" + name + "</SPAN></DIV>\n" +
                bar(("<A class=\"viewerButton\" id=\"downloadButton\" href=\"" + original +
                     "\" download=\"" + name + ".jpg\">BUTTON_DOWNLOAD</A>").c_str()),
            page);
  // Without the download right, and before the screen-sized picture is made: the large
  // preview, nothing to download; without a list, no position and no neighbours.
  become(NO_DOWNLOAD);
  root.remove(MString::format("images/screen/%07d.jpg", image.id).getValue());
  page = fetch(GIds::PAGE_IMAGE_WINDOW, ACCEPTED);
  EXPECT_NE(std::string::npos,
            page.find("<IMG id=\"viewerImage\" class=\"fitted\" src=\"" + s + "&page=604&Image.id=" + id + "\""));
  EXPECT_NE(std::string::npos, page.find("<DIV class=\"viewerCaption\"><SPAN class=\"viewerName\">" + name + "</SPAN>"));
  EXPECT_NE(std::string::npos, page.find("id=\"nextButton\" title=\"VIEWER_NEXT\" disabled>"));
  EXPECT_EQ(std::string::npos, page.find("downloadButton"));
}
