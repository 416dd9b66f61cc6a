#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "db/GImage.h"
#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"
#include "tests/webapp/ActionTestSupport.h"

using webtest::Exchange;

namespace {

const char* const boundary = "----VistrelFlowBoundary81";

// A value as a browser's form sends it: blanks as "+", everything else but letters and
// digits as %XX.
std::string formEncode(const std::string& _text) {
  const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char ch : _text) {
    if (isalnum(ch)) {
      out += (char)ch;
    } else if (ch == ' ') {
      out += '+';
    } else {
      out += '%';
      out += hex[ch >> 4];
      out += hex[ch & 15];
    }
  }
  return out;
}

// The same as the page script sends it: blanks as %20.
std::string scriptEncode(const std::string& _text) {
  std::string out = formEncode(_text);
  for (size_t at = out.find('+'); at != std::string::npos; at = out.find('+', at)) {
    out.replace(at, 1, "%20");
  }
  return out;
}

size_t count(const std::string& _text, const std::string& _part) {
  size_t n = 0;
  for (size_t at = _text.find(_part); at != std::string::npos; at = _text.find(_part, at + 1)) ++n;
  return n;
}

// The URL of the first button of a page whose text is _button: what a click loads, or what
// an accept or deny button sends in the background.
std::string buttonUrl(const std::string& _page, const std::string& _button, size_t _from = 0) {
  size_t text = _page.find("')\">" + _button + "</TD>", _from);
  if (text == std::string::npos) return "";
  size_t cell = _page.rfind("<TD", text);
  for (const char* call : {"mouseClick(this,document,'", "decide(this,'"}) {
    size_t start = _page.find(call, cell);
    if (start == std::string::npos || start > text) continue;
    start += strlen(call);
    std::string url = _page.substr(start, text - start);
    return url.substr(0, url.find("'"));
  }
  return "";
}

// The users, sessions and images of the acceptance flows, made through the actions and
// pages a browser would use.
class GSearchAcceptFlowTest : public webtest::ActionTest {
 protected:
  void SetUp() override {
    application.originalMaxSize = 19000000;
    application.preview1Quality = 30;
    application.preview2Quality = 90;
    admin = logIn("admin", "tarbo");
  }

  // The page a GET of the query (with session and a fresh requestId) answers with.
  std::string page(const std::string& _session, const std::string& _query, int _port = 40000) {
    Exchange e;
    get(e, "/?session=" + _session + "&requestId=" + std::to_string(++requestId) + "&" + _query,
        cookieOf(_session), _port);
    return e.body();
  }
  // Follows a URL taken from a page, from the browser at _port, which holds the cookie of
  // the session the URL names.
  std::string follow(const std::string& _url, int _port = 40000) {
    EXPECT_EQ(0u, _url.find("/?")) << _url;
    size_t at = _url.find("session=");
    std::string named = at == std::string::npos ? "" : _url.substr(at + 8, _url.find('&', at) - at - 8);
    Exchange e;
    get(e, _url, cookieOf(named), _port);
    return e.body();
  }

  // An account made by the administrator with the user administration's buttons: new, then
  // saved with the rights given; returns its id.
  int createUser(const std::string& _username, bool _imageAccept, bool _folderAccept) {
    Exchange created;
    act(created, admin, "page=301&action=7");
    int id = std::stoi(param(created, "User.id"));
    act(admin, "page=301&action=8&User.id=" + std::to_string(id) + "&User.username=" + _username +
                   "&User.lastname=" + _username + "&User.firstname=Wanda&User.email="
                   "&User.password1=pw&User.password2=pw&User.enabled=1&User.folderAdmin=0"
                   "&User.type=0&User.imageAccept=" + (_imageAccept ? "1" : "0") +
                   "&User.folderAccept=" + (_folderAccept ? "1" : "0") +
                   "&User.imageDownload=0&User.imageUpload=1&User.imageLimit=10");
    return id;
  }

  // Uploads a small JPEG file through the own images' upload form; returns the new id.
  int uploadImage(const std::string& _session, int _port) {
    MImage picture(64, 48);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) picture.setPixel(x, y, (uint)(x * 4 << 16 | y * 5 << 8));
    }
    std::string path = root.path + "/made.jpg";
    MFile_JPG().save(path.c_str(), picture, 85);
    std::string file = root.read("made.jpg");
    root.remove("made.jpg");
    std::string b = boundary;
    std::string body =
        "--" + b + "\r\nContent-Disposition: form-data; name=\"Image.file\"; filename=\"a.jpg\""
        "\r\nContent-Type: image/jpeg\r\n\r\n" + file + "\r\n--" + b + "--\r\n";

    int before = db().getNumOfImages();
    Exchange e;
    MHttpRequest& request = e.request;
    request.method = "POST";
    request.version = "HTTP/1.1";
    std::string query = "session=" + _session + "&page=108&requestId=" +
                        std::to_string(++requestId) + "&action=11&pagenum=1";
    request.url = ("/?" + query).c_str();
    request.path = "/";
    MHttpQuery::parse(query.c_str(), request.params);
    request.headers.setObject("Content-Type", (std::string("multipart/form-data; boundary=") + b).c_str());
    request.content.writeData((void*)body.data(), (int)body.size());
    request.contentLength = (int)body.size();
    request.remoteAddress.setAddress("127.0.0.1");
    request.remotePort = _port;
    request.headers.setObject("Cookie", cookieOf(_session).c_str());
    servlet.dispatchRequest(request, e.response);
    webtest::finishLater(servlet, request, e.response);
    EXPECT_EQ(before + 1, db().getNumOfImages()) << e.body();
    return before;  // nothing was deleted: the next record
  }

  // Searches from the search form: with the button (the script sends Search.words to the
  // button's URL) or with the Enter key (the browser sends every field of the form in its
  // order, hidden ones included, to the form's action).
  void search(const std::string& _session, const std::string& _words, bool _enterKey, int _port) {
    std::string form = page(_session, "page=701", _port);
    std::string url;
    if (_enterKey) {
      EXPECT_NE(std::string::npos, form.find("method=\"GET\" action=\"/\" target=\"_parent\""));
      url = "/?";
      for (size_t at = form.find("<INPUT name=\""); at != std::string::npos;
           at = form.find("<INPUT name=\"", at + 1)) {
        size_t nameStart = at + strlen("<INPUT name=\"");
        std::string name = form.substr(nameStart, form.find('"', nameStart) - nameStart);
        size_t valueStart = form.find("value=\"", nameStart) + strlen("value=\"");
        std::string value = unescape(form.substr(valueStart, form.find('"', valueStart) - valueStart));
        url += formEncode(name) + "=" + formEncode(value) + "&";
      }
      url += "words=" + formEncode(_words);
    } else {
      std::string start = "onClick=\"search(this,parent,'";
      size_t at = form.find(start);
      EXPECT_NE(std::string::npos, at) << form;
      at += start.size();
      url = form.substr(at, form.find('\'', at) - at) + "&Search.words=" + scriptEncode(_words);
    }
    std::string frames = follow(url, _port);
    EXPECT_NE(std::string::npos, frames.find("<FRAMESET rows=\"140,80%\" name=\"700\"")) << frames;
  }
  // An attribute value as the browser reads it.
  static std::string unescape(std::string _text) {
    const char* const references[][2] = {
        {"&quot;", "\""}, {"&#39;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (const auto& reference : references) {
      for (size_t at = _text.find(reference[0]); at != std::string::npos;
           at = _text.find(reference[0], at + 1)) {
        _text.replace(at, strlen(reference[0]), reference[1]);
      }
    }
    return _text;
  }

  GImage image(int _id) {
    GImage image;
    db().getImage(_id, image);
    return image;
  }

  std::string admin;
};

}  // namespace

TEST_F(GSearchAcceptFlowTest, UploadWaitsIsAcceptedAndIsThenFoundAlsoByHostileWords) {
  int walkerId = createUser("walker", true, true);
  const int port = 40001;
  std::string walker = logIn("walker", "pw", port);
  ASSERT_NE("<none>", walker);

  int uploaded = uploadImage(walker, port);
  ASSERT_EQ(GIMAGE_WAITING, image(uploaded).status);
  EXPECT_EQ(walkerId, image(uploaded).user);
  // The owner gives it keywords in the detail page of the own images.
  const std::string keywords = "<b>Bold</b> \"quoted\" tom&jerry it's 100%";
  page(walker, "page=108&action=13&pagenum=1&Image.id=" + std::to_string(uploaded) +
                   "&Image.keywords=" + scriptEncode(keywords) + "&Image.name=Beach",
       port);
  ASSERT_STREQ(keywords.c_str(), image(uploaded).keywords.getValue());

  // A waiting image is found by nobody.
  search(walker, "quoted", false, port);
  EXPECT_EQ(0u, count(page(walker, "page=703", port), "<TD class=\"imageStatusbar\">"));

  // The administrator finds it in the queue and accepts it with its button.
  std::string queue = page(admin, "page=1004");
  EXPECT_NE(std::string::npos, queue.find(">Wanda walker</TD>")) << queue;
  std::string accept = buttonUrl(queue, "BUTTON_ACCEPT");
  EXPECT_NE(std::string::npos, accept.find("&action=14&")) << accept;
  std::string after = follow(accept);
  EXPECT_EQ(GIMAGE_ACCEPTED, image(uploaded).status);
  EXPECT_EQ(0u, count(after, "imageTitle_wait")) << after;

  struct Case {
    const char* words;
    bool enterKey;
    const char* shown;  // the words in the search field afterwards
    bool found;
  };
  const Case cases[] = {
      {"quoted", false, "quoted", true},
      {"QUOTED bold", true, "QUOTED bold", true},
      {"\"quoted\" <b>bold", false, "&quot;quoted&quot; &lt;b&gt;bold", true},
      {"tom&jerry it's", true, "tom&amp;jerry it&#39;s", true},
      {"100%", false, "100%", true},
      {"Gr\xC3\xBC\xC3\x9F""e", true, "Gr\xC3\xBC\xC3\x9F""e", false},  // UTF-8 as typed
      {"\"><script>alert(1)</script>", true, "&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;", false},
      {"a=b&page=1&action=10&User.id=2", false, "a=b&amp;page=1&amp;action=10&amp;User.id=2", false},
  };
  for (const Case& c : cases) {
    search(walker, c.words, c.enterKey, port);
    std::string form = page(walker, "page=701", port);
    EXPECT_NE(std::string::npos,
              form.find("name=\"words\" value=\"" + std::string(c.shown) + "\">\n")) << c.words << form;
    EXPECT_EQ(std::string::npos, form.find("<script>")) << c.words;
    std::string grid = page(walker, "page=702", port);
    EXPECT_EQ(c.found ? 1u : 0u, count(grid, "<TD class=\"imageStatusbar\">64 x 48</TD>")) << c.words;
    if (c.found) {
      EXPECT_NE(std::string::npos, grid.find(">Wanda walker</TD>")) << c.words;
    }
  }
  // Words that only look like parameters did nothing but search.
  EXPECT_STREQ("walker", user(walkerId).username.getValue());
}

TEST_F(GSearchAcceptFlowTest, DeniedUploadLeavesTheQueueAndIsNotFound) {
  createUser("walker", true, true);
  std::string walker = logIn("walker", "pw", 40001);
  int first = uploadImage(walker, 40001);
  int second = uploadImage(walker, 40001);
  EXPECT_EQ(GIMAGE_WAITING, image(first).status);
  EXPECT_EQ(GIMAGE_WAITING, image(second).status);
  GImage record = image(second);
  record.keywords = "harbour";
  db().updateImage(second, record);

  std::string queue = page(admin, "page=1004");
  EXPECT_EQ(2u, count(queue, "imageTitle_wait"));
  // The second cell's deny button.
  size_t secondCell = queue.find("page=603&Image.id=" + std::to_string(second) + "\"");
  std::string deny = buttonUrl(queue, "BUTTON_DENY", secondCell);
  EXPECT_NE(std::string::npos, deny.find("&action=15&")) << deny;
  std::string after = follow(deny);
  EXPECT_EQ(GIMAGE_DENIED, image(second).status);
  EXPECT_EQ(GIMAGE_WAITING, image(first).status);
  EXPECT_EQ(1u, count(after, "imageTitle_wait"));

  search(walker, "harbour", true, 40001);
  EXPECT_EQ(0u, count(page(walker, "page=703", 40001), "<TD class=\"imageStatusbar\">"));
}

TEST_F(GSearchAcceptFlowTest, OfferToAnotherUsersFolderWaitsForTheAdministrator) {
  int hostId = createUser("host", false, false);
  int offererId = createUser("offerer", false, true);  // publications need acceptance
  std::string host = logIn("host", "pw", 40001);
  std::string offerer = logIn("offerer", "pw", 40002);
  int folder = addFolder("Harbour <&> \"Pier\"", 0, hostId);
  int kept = addImage(offererId, "boats");
  int refused = addImage(offererId, "boats");
  std::string at = "&Folder.id=" + std::to_string(folder);
  auto visibleTo = [&](const std::string& _session, int _port, int _image) {
    std::string grid = page(_session, "page=405" + at, _port);
    return grid.find("page=603&Image.id=" + std::to_string(_image) + "\"") != std::string::npos;
  };

  // The offerer publishes both from the publishing tab's buttons: they wait.
  for (int id : {kept, refused}) {
    std::string mine = page(offerer, "page=408" + at, 40002);
    size_t cell = mine.find("page=603&Image.id=" + std::to_string(id) + "\"");
    std::string publish = buttonUrl(mine, "BUTTON_PUBLISH", cell);
    ASSERT_NE("", publish) << mine;
    follow(publish, 40002);
    EXPECT_EQ(GIMAGE_WAITING, linkStatus(folder, id));
    EXPECT_FALSE(visibleTo(host, 40001, id));
  }

  std::string queue = page(admin, "page=1007");
  EXPECT_EQ(2u, count(queue, ">Harbour &lt;&amp;&gt; &quot;Pier&quot;</TD>")) << queue;

  // Somebody else sending the administrator's buttons changes nothing.
  std::string acceptUrl = buttonUrl(queue, "BUTTON_ACCEPT",
                                    queue.find("Image.id=" + std::to_string(kept) + "\""));
  for (const std::string& other : {host, offerer}) {
    std::string url = acceptUrl;
    url.replace(url.find("session=") + 8, admin.size(), other);
    follow(url, 40003);
    EXPECT_EQ(GIMAGE_WAITING, linkStatus(folder, kept));
  }

  struct Case {
    int image;
    const char* button;
    const char* action;
    int status;
    bool visible;  // in the folder for its owner afterwards
  };
  const Case cases[] = {{kept, "BUTTON_ACCEPT", "&action=5&", GIMAGE_ACCEPTED, true},
                        {refused, "BUTTON_DENY", "&action=6&", GIMAGE_DENIED, false}};
  size_t waiting = 2;
  for (const Case& c : cases) {
    queue = page(admin, "page=1005");
    size_t cell = queue.find("page=603&Image.id=" + std::to_string(c.image) + "\"");
    ASSERT_NE(std::string::npos, cell) << c.button;
    std::string url = buttonUrl(queue, c.button, cell);
    EXPECT_NE(std::string::npos, url.find(c.action)) << url;
    std::string after = follow(url);
    EXPECT_EQ(c.status, linkStatus(folder, c.image)) << c.button;
    EXPECT_EQ(--waiting, count(after, "imageTitle_wait")) << c.button;
    EXPECT_EQ(std::string::npos, after.find("page=603&Image.id=" + std::to_string(c.image) + "\""))
        << c.button;
    EXPECT_EQ(c.visible, visibleTo(host, 40001, c.image)) << c.button;
  }
}

TEST_F(GSearchAcceptFlowTest, AcceptingTheLastEntryOfAPageShowsThePageBefore) {
  int walkerId = createUser("walker", true, true);
  for (int i = 0; i < 9; ++i) addImage(walkerId, "", GIMAGE_WAITING);
  std::string second = page(admin, "page=1004&pagenum=2");
  EXPECT_EQ(1u, count(second, "imageTitle_wait"));
  std::string after = follow(buttonUrl(second, "BUTTON_ACCEPT"));
  EXPECT_EQ(8u, count(after, "imageTitle_wait")) << after;
  EXPECT_NE(std::string::npos, after.find("<TD class=\"pageNumSelected\">1</TD>"));
}
