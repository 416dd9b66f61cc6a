#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "db/GImage.h"
#include "lib/core/MException.h"
#include "lib/imaging/MFile_JPG.h"
#include "lib/imaging/MImage.h"
#include "lib/imaging/MImageResampler.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MServer.h"
#include "lib/platform/MClock.h"
#include "tests/support/CameraDataFixture.h"
#include "tests/support/ExifFixture.h"
#include "tests/support/HttpClient.h"
#include "tests/webapp/WebappTestSupport.h"
#include "views/GUploadMessage.h"
#include "views/GView.h"
#include "webapp/GImageStore.h"
#include "webapp/GUpload.h"

namespace {

const char* const boundary = "----VistrelFormBoundary4kq9Zt";
const char* const multipartType = "multipart/form-data; boundary=----VistrelFormBoundary4kq9Zt";

// The form body the upload page sends: the hidden user field, the file, the button.
std::string formBody(const std::string& _file, const char* _filename = "photo.jpg",
                     const char* _type = "image/jpeg") {
  std::string b = boundary;
  return "--" + b + "\r\nContent-Disposition: form-data; name=\"Image.user\"\r\n\r\n3\r\n" +
         "--" + b + "\r\nContent-Disposition: form-data; name=\"Image.file\"; filename=\"" +
         _filename + "\"\r\nContent-Type: " + _type + "\r\n\r\n" + _file + "\r\n" + "--" + b +
         "\r\nContent-Disposition: form-data; name=\"add_image\"\r\n\r\nUpload\r\n" + "--" + b +
         "--\r\n";
}

std::vector<std::string> filesIn(const std::string& _dir) {
  std::vector<std::string> names;
  DIR* dir = opendir(_dir.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

std::string storeName(int _id) {
  char name[32];
  snprintf(name, sizeof name, "%07d.jpg", _id);
  return name;
}

// The servlet behind a real server loop on a loopback port.
class GUploadTest : public webtest::ServletTest {
 protected:
  GUploadTest() {
    application.originalMaxSize = 19000000;
    application.preview1Quality = 30;
    application.preview2Quality = 90;
    prototype.setHandler(&servlet);
    server.reset(new MServer(0, &prototype));
    server->start();
    port = server->getPort();
  }
  ~GUploadTest() override { server.reset(); }

  // An account with the upload right; returns its id.
  int uploader(const char* _username, bool _imageAccept, int _imageLimit = 100) {
    GUser user;
    user.username = _username;
    user.password = GPasswordHash::hash("pw");
    user.enabled = true;
    user.imageUpload = true;
    user.imageAccept = _imageAccept;
    user.imageLimit = _imageLimit;
    return application.database.addUser(user);
  }
  // "full", at its image limit of one image, and "noright", without the upload right.
  void refusedAccounts() {
    int full = uploader("full", false, 1);
    GImage existing;
    existing.user = full;
    application.database.addImage(existing);
    GUser noRight;
    noRight.username = "noright";
    noRight.password = GPasswordHash::hash("pw");
    noRight.enabled = true;
    application.database.addUser(noRight);
  }
  // Logs in over the connection, which holds the session's cookie from then on as a
  // browser does; returns the session's identifier.
  std::string logInOver(testhttp::Connection& _browser, const char* _username) {
    testhttp::Response r =
        _browser.post("/?session=5072913846&page=1&action=16&requestId=1",
                      "application/x-www-form-urlencoded",
                      std::string("username=") + _username + "&password=pw");
    std::string id = r.sessionLink();
    cookies[id] = "vistrel_session=" + r.sessionCookie();
    _browser.setCookie(cookies[id]);
    return id;
  }
  // Session identifier to its cookie.
  std::map<std::string, std::string> cookies;
  testhttp::Response upload(testhttp::Connection& _browser, const std::string& _session,
                            const std::string& _body, const std::string& _type = multipartType) {
    _browser.setCookie(cookies[_session]);
    return _browser.post("/upload?session=" + _session + "&requestId=" +
                             std::to_string(++requestId) + "&action=11&pagenum=1",
                         _type, _body);
  }
  // A JPEG file of that size, made by our own writer, with detail in every corner.
  std::string jpeg(int _width, int _height) {
    MImage image(_width, _height);
    for (int y = 0; y < _height; ++y) {
      for (int x = 0; x < _width; ++x) {
        image.setPixel(x, y, (uint)((x * 7 % 256) << 16 | (y * 3 % 256) << 8 | ((x + y) % 256)));
      }
    }
    std::string path = root.path + "/made.jpg";
    jpegFile.save(path.c_str(), image, 85);
    std::string bytes = root.read("made.jpg");
    root.remove("made.jpg");
    return bytes;
  }
  // Sends the upload on a connection of its own without waiting for the answer; returns
  // the open socket.
  int sendUpload(int _port, const std::string& _session, const std::string& _body) {
    std::string request = "POST /upload?session=" + _session + "&requestId=" +
                          std::to_string(++requestId) + "&action=11&pagenum=1 HTTP/1.1\r\n" +
                          "Host: t\r\nCookie: " + cookies[_session] + "\r\nContent-Type: " + multipartType +
                          "\r\nContent-Length: " + std::to_string(_body.size()) + "\r\n\r\n" +
                          _body;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_GE(fd, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons((uint16_t)_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, connect(fd, (sockaddr*)&address, sizeof address));
    EXPECT_EQ((ssize_t)request.size(), send(fd, request.data(), request.size(), MSG_NOSIGNAL));
    return fd;
  }
  int imageCount() { return application.database.getNumOfImages(); }
  // Every file in the image directories.
  size_t storedFiles() {
    size_t files = 0;
    for (const char* dir : {"original", "preview1", "preview2", "preview2x", "screen"})
      files += filesIn(root.file(std::string("images/") + dir)).size();
    return files;
  }
  void expectNothingStored(int _imagesBefore, const char* _what) {
    EXPECT_EQ(_imagesBefore, imageCount()) << _what;
    EXPECT_EQ(0u, storedFiles()) << _what;
  }
  // Width and height of a stored JPEG file.
  std::pair<int, int> size(const std::string& _relative) {
    MImage image;
    jpegFile.load(root.file(_relative).c_str(), image);
    return {image.getWidth(), image.getHeight()};
  }

  MHttpProcessor prototype;
  std::unique_ptr<MServer> server;
  int port = 0;
  int requestId = 100;
  MFile_JPG jpegFile;
};

}  // namespace

TEST_F(GUploadTest, StoresTheSentFileAndBothPreviews) {
  int waits = uploader("waits", true);
  int direct = uploader("direct", false);
  testhttp::Connection waitsBrowser(port);
  testhttp::Connection directBrowser(port);
  std::string waitsSession = logInOver(waitsBrowser, "waits");
  std::string directSession = logInOver(directBrowser, "direct");
  struct Case {
    bool imageAccept;
    int width, height;
    int w1, h1, w2, h2;  // the previews asked 120 and 240 pixels high
  };
  const Case cases[] = {
      {true, 1600, 1200, 160, 120, 320, 240},
      {false, 100, 50, 240, 120, 480, 240},  // small originals are scaled up
      {false, 50, 400, 15, 120, 30, 240},
      {true, 2000, 3, 4096, 120, 4096, 240},  // a panorama's are at most 4096 wide
  };
  for (const Case& c : cases) {
    std::string file = jpeg(c.width, c.height);
    int expectedId = imageCount();  // nothing was deleted: the next record
    testhttp::Response r = upload(c.imageAccept ? waitsBrowser : directBrowser,
                                  c.imageAccept ? waitsSession : directSession, formBody(file));
    ASSERT_EQ(200, r.status) << c.width;
    EXPECT_EQ(std::string::npos, r.body.find("Operation failed!")) << r.body;

    GImage record;
    ASSERT_EQ(expectedId, application.database.getImage(expectedId, record)) << c.width;
    EXPECT_EQ(c.imageAccept ? waits : direct, record.user);
    EXPECT_EQ(c.imageAccept ? GIMAGE_WAITING : GIMAGE_ACCEPTED, record.status);
    EXPECT_EQ(c.width, record.width);
    EXPECT_EQ(c.height, record.height);
    EXPECT_EQ((int)file.size(), record.size);
    EXPECT_STREQ("photo", record.name.getValue()) << "the file name without its extension";
    EXPECT_STREQ("", record.date.getValue()) << "no camera data";
    // The original is exactly the file that was sent, without form parts around it.
    EXPECT_TRUE(root.read("images/original/" + storeName(expectedId)) == file) << c.width;
    EXPECT_EQ(std::make_pair(c.w1, c.h1), size("images/preview1/" + storeName(expectedId)));
    EXPECT_EQ(std::make_pair(c.w2, c.h2), size("images/preview2/" + storeName(expectedId)));
    EXPECT_EQ(1u, filesIn(root.file("images/original")).size() - (size_t)expectedId)
        << "no temporary file stays";
  }
  EXPECT_EQ(20u, storedFiles());
}

TEST_F(GUploadTest, PreviewsAreTheScaledOriginalInTheConfiguredQualities) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  std::string file = jpeg(640, 480);
  upload(browser, id, formBody(file));
  MImage original;
  jpegFile.load(root.file("images/original/0000000.jpg").c_str(), original);
  struct Case {
    const char* dir;
    int height;
    int quality;
  };
  // The large preview is filtered from the original, the small one from the large one.
  MImage preview = original;
  for (const Case& c : {Case{"preview2", 240, 90}, Case{"preview1", 120, 30}}) {
    MImage larger = preview;
    ASSERT_TRUE(MImageResampler::scale(larger, preview, MImage::previewWidth(640, 480, c.height), c.height));
    std::string expected = root.path + "/expected.jpg";
    jpegFile.save(expected.c_str(), preview, c.quality);
    EXPECT_TRUE(root.read("expected.jpg") == root.read(std::string("images/") + c.dir + "/0000000.jpg"))
        << c.dir;
  }
}

TEST_F(GUploadTest, TheRecordHasTheUprightSizeAndABombStoresNothing) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  // Stored on its side (64 x 48), marked by its camera as to be turned right for viewing.
  std::string turned = testexif::withOrientation(jpeg(64, 48), 6);
  ASSERT_FALSE(turned.empty());
  upload(browser, id, formBody(turned));
  GImage record;
  ASSERT_EQ(0, application.database.getImage(0, record));
  EXPECT_EQ(48, record.width);
  EXPECT_EQ(64, record.height);
  EXPECT_TRUE(root.read("images/original/0000000.jpg") == turned) << "the original as sent";
  EXPECT_EQ(std::make_pair(MImage::previewWidth(48, 64, 120), 120), size("images/preview1/0000000.jpg"));
  EXPECT_EQ(std::make_pair(MImage::previewWidth(48, 64, 240), 240), size("images/preview2/0000000.jpg"));
  EXPECT_EQ(std::make_pair(MImage::previewWidth(48, 64, 480), 480), size("images/preview2x/0000000.jpg"));
  // Smaller than a screen: upright at its own size.
  EXPECT_EQ(std::make_pair(48, 64), size("images/screen/0000000.jpg"));

  // The header of a small file claiming 14000 x 14000 pixels: refused before decoding.
  std::string bomb = jpeg(64, 48);
  size_t sof = bomb.find("\xFF\xC0");
  ASSERT_NE(std::string::npos, sof);
  bomb.replace(sof + 5, 4, "\x36\xB0\x36\xB0");
  upload(browser, id, formBody(bomb));
  EXPECT_EQ(1, imageCount());
  EXPECT_EQ(5u, storedFiles());
}

TEST_F(GUploadTest, TheRecordStartsWithTheFilesNameAndCameraData) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  const std::string uber = "\xC3\x9C" "berlingen";
  std::string file = testcamera::withSegment(
      testcamera::withSegment(jpeg(64, 48), 0xE1,
                              testcamera::exifSegment(testcamera::exifDates("2024:05:17 06:12:40", ""))),
      0xED,
      testcamera::photoshopSegment(testcamera::iptcUtf8Mark() + testcamera::iptcKeyword(uber) +
                                   testcamera::iptcKeyword("harbour") +
                                   testcamera::iptcCaption("Boats at dawn")));
  testhttp::Response r = upload(browser, id, formBody(file, ("Lake " + uber + ".jpg").c_str()));
  ASSERT_EQ(200, r.status);
  GImage record;
  ASSERT_EQ(0, application.database.getImage(0, record));
  EXPECT_EQ("Lake " + uber, std::string(record.name.getValue()));
  EXPECT_STREQ("17.05.2024", record.date.getValue());
  EXPECT_EQ(uber + ", harbour", std::string(record.keywords.getValue()));
  EXPECT_STREQ("Boats at dawn", record.description.getValue());
  EXPECT_EQ(64, record.width);
  EXPECT_TRUE(root.read("images/original/0000000.jpg") == file) << "the original as sent";
}

TEST_F(GUploadTest, SizeLimitCountsTheWholeBody) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  std::string body = formBody(jpeg(64, 48));
  application.originalMaxSize = (int)body.size() - 1;
  upload(browser, id, body);
  expectNothingStored(0, "one byte over the limit");
  application.originalMaxSize = (int)body.size();
  upload(browser, id, body);
  EXPECT_EQ(1, imageCount());
  // The same request again (a resent form) stores nothing more.
  browser.post("/upload?session=" + id + "&requestId=" + std::to_string(requestId) + "&action=11",
               multipartType, body);
  EXPECT_EQ(1, imageCount());
}

TEST_F(GUploadTest, BodiesWithoutAJpegFileStoreNothing) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  std::string file = jpeg(64, 48);
  std::string form = formBody(file);
  struct Case {
    const char* what;
    std::string body;
    std::string type;
  };
  const Case cases[] = {
      {"a text file", formBody("just some text\r\n", "notes.txt", "text/plain"), multipartType},
      {"no file field", "--" + std::string(boundary) + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nb\r\n--" +
                            boundary + "--\r\n", multipartType},
      {"no file chosen", formBody("", ""), multipartType},
      {"the JPEG as a bare body", file, "image/jpeg"},
      {"another boundary", form, "multipart/form-data; boundary=other"},
      {"cut before the file's end", form.substr(0, form.size() / 2), multipartType},
      {"half a JPEG file", formBody(file.substr(0, file.size() / 2)), multipartType},
      {"JPEG start marker, then text", formBody("\xFF\xD8 not an image"), multipartType},
      {"an empty body", "", multipartType},
  };
  for (const Case& c : cases) {
    testhttp::Response r = upload(browser, id, c.body, c.type);
    EXPECT_EQ(200, r.status) << c.what;
    EXPECT_EQ(std::string::npos, r.body.find("Operation failed!")) << c.what;
    expectNothingStored(0, c.what);
  }
}

TEST_F(GUploadTest, OnlyLoggedInUsersWithTheRightAndRoomUpload) {
  refusedAccounts();
  int gone = uploader("gone", false);

  std::string body = formBody(jpeg(64, 48));
  testhttp::Connection browser(port);
  std::string fullSession = logInOver(browser, "full");
  std::string noRightSession = logInOver(browser, "noright");
  std::string goneSession = logInOver(browser, "gone");
  application.database.deleteUser(gone);
  // The session still believes in its right; the stored account decides.
  servlet.getSessions().getSession(noRightSession.c_str())->user.imageUpload = true;

  for (const std::string& session : {std::string("5072913846"), fullSession, noRightSession, goneSession}) {
    testhttp::Response r = upload(browser, session, body);
    EXPECT_EQ(200, r.status) << session;
    EXPECT_EQ(1, imageCount()) << session;
    EXPECT_EQ(0u, storedFiles()) << session;
  }
}

TEST_F(GUploadTest, AFailureHalfWayLeavesNothingAndTheServerGoesOn) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  std::string body = formBody(jpeg(320, 240));
  // Each case blocks one step after the record was added: the rename into the originals
  // (a directory stands where the original goes), or one of the previews (a plain file
  // stands where its directory should be).
  struct Case {
    const char* what;
    std::string blocked;
    bool directory;
  };
  const Case cases[] = {
      {"rename", "images/original/0000000.jpg", true},
      {"small preview", "images/preview1", false},
      {"large preview", "images/preview2", false},
      {"screen-sized picture", "images/screen", false},
  };
  for (const Case& c : cases) {
    std::string path = root.file(c.blocked);
    if (c.directory) {
      mkdir(path.c_str(), 0755);
    } else {
      rmdir(path.c_str());
      root.write(c.blocked, "not a directory");
    }
    testhttp::Response r = upload(browser, id, body);
    EXPECT_EQ(200, r.status) << c.what;
    EXPECT_NE(std::string::npos, r.body.find("GUpload::")) << c.what;
    EXPECT_NE(std::string::npos, r.body.find("Operation failed!")) << c.what;
    EXPECT_EQ(0, imageCount()) << c.what;
    std::vector<std::string> originals = filesIn(root.file("images/original"));
    EXPECT_EQ(c.directory ? 1u : 0u, originals.size()) << c.what;  // the blocking directory
    for (const char* dir : {"images/preview1", "images/preview2", "images/preview2x", "images/screen"}) {
      EXPECT_EQ(0u, filesIn(root.file(dir)).size()) << c.what << " " << dir;
    }
    if (c.directory) {
      rmdir(path.c_str());
    } else {
      root.remove(c.blocked);
      mkdir(path.c_str(), 0755);
    }
  }
  // The server goes on, and the next upload succeeds.
  upload(browser, id, body);
  EXPECT_EQ(1, imageCount());
  EXPECT_EQ(5u, storedFiles());
}

TEST_F(GUploadTest, WithoutItsTemporaryFileTheUploadStoresNothing) {
  uploader("u", false);
  testhttp::Connection browser(port);
  std::string id = logInOver(browser, "u");
  rmdir(root.file("images/original").c_str());
  testhttp::Response r = upload(browser, id, formBody(jpeg(64, 48)));
  EXPECT_EQ(200, r.status);
  EXPECT_EQ(std::string::npos, r.body.find("Operation failed!"));
  expectNothingStored(0, "no directory for the temporary file");
}

// A full disk is told as such, at whatever step it stops the upload, never as a file that
// is no picture, and nothing of the upload stays.
TEST_F(GUploadTest, AFullDiskIsToldAsSuchAndLeavesNothing) {
  uploader("u", false);
  std::string id = logIn("u", "pw");
  GSession* session = servlet.getSessions().getSession(id.c_str());
  ASSERT_NE(nullptr, session);
  std::string body = formBody(jpeg(320, 240));
  // The file that has no room: none, or the nth the upload writes (the original, the small
  // and the large preview), which is made to be the device that is always full.
  struct Case {
    const char* what;
    int bodyError;
    int fullFile;
    GUploadMessage::Outcome outcome;
  } cases[] = {
      {"the body's file, disk full", ENOSPC, 0, GUploadMessage::DISK_FULL},
      {"the body's file, over the quota", EDQUOT, 0, GUploadMessage::DISK_FULL},
      {"the body's file, another failure", EMFILE, 0, GUploadMessage::FAILED},
      {"the original", 0, 1, GUploadMessage::DISK_FULL},
      {"the small preview", 0, 2, GUploadMessage::DISK_FULL},
      {"the large preview", 0, 3, GUploadMessage::DISK_FULL},
      {"nothing", 0, 0, GUploadMessage::STORED},
  };
  for (const Case& c : cases) {
    MHttpRequest request;
    request.method = "POST";
    request.headers.setObject("Content-Type", multipartType);
    request.content.writeData(&body[0], (int)body.size());
    request.contentLength = (int)body.size();
    request.bodyError = c.bodyError;
    // The upload takes the next three numbers for its files.
    int next = application.nextRequestId() + 1;
    if (c.fullFile > 0) {
      ASSERT_EQ(0, symlink("/dev/full", GImageStore::temporaryPath(next + c.fullFile - 1).getValue()));
    }
    GUpload upload;
    testing::internal::CaptureStderr();
    upload.process(*session, request);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(c.outcome, GView::paramInt(request.params, GUploadMessage::PARAM)) << c.what;
    if (c.outcome != GUploadMessage::STORED) expectNothingStored(0, c.what);
  }
  EXPECT_EQ(1, imageCount());
  EXPECT_EQ(5u, storedFiles());
}

// The picture is made on a worker: a browser that leaves before the answer loses only the
// answer; the upload is stored whole all the same, and the server goes on.
TEST_F(GUploadTest, ABrowserThatLeavesDuringTheWorkLosesOnlyItsAnswer) {
  uploader("leaves", false);
  testhttp::Connection browser(port);
  std::string session = logInOver(browser, "leaves");
  int before = imageCount();
  int fd = sendUpload(port, session, formBody(jpeg(1600, 1200)));
  close(fd);

  // The record is completed last, with the picture's size, after every file is in place.
  int id = before;
  auto complete = [&]() {
    GImage image;
    return application.database.getImage(id, image) >= 0 && image.size > 0;
  };
  for (int i = 0; i < 1000 && !complete(); ++i) sleepFor(0, 10);
  ASSERT_EQ(before + 1, imageCount());
  for (const char* dir : {"images/original/", "images/preview1/", "images/preview2/", "images/preview2x/", "images/screen/"}) {
    struct stat info;
    EXPECT_EQ(0, stat(root.file(dir + storeName(id)).c_str(), &info)) << dir;
  }
  GImage stored;
  ASSERT_GE(application.database.getImage(id, stored), 0);
  EXPECT_EQ(1600, stored.width);
  EXPECT_GT(stored.size, 0);
  // No temporary file stays, and the next request is served as usual.
  for (const std::string& name : filesIn(root.file("images/original"))) {
    EXPECT_EQ(std::string::npos, name.find("tmp_")) << name;
  }
  EXPECT_EQ(200, browser.get("/?session=" + session + "&page=110").status);
}

// With every worker busy and the queue full, an upload is not done on the server loop,
// where it would stall everybody: the browser is told to send it again, and nothing of it
// stays. The same request, sent again when there is room, is carried out.
TEST_F(GUploadTest, AFullQueueAsksForTheUploadAgainAndStoresNothing) {
  GServlet full(0);
  full.init();
  MHttpProcessor fullPrototype;
  fullPrototype.setHandler(&full);
  MServer fullServer(0, &fullPrototype);
  fullServer.start();
  uploader("crowded", false);
  testhttp::Connection browser(fullServer.getPort());
  std::string session = logInOver(browser, "crowded");
  ASSERT_FALSE(session.empty());

  std::string body = formBody(jpeg(320, 240));
  testhttp::Response busy = upload(browser, session, body);
  EXPECT_EQ(503, busy.status);
  EXPECT_EQ("5", busy.header("Retry-After"));
  expectNothingStored(0, "queue full");
  EXPECT_TRUE(filesIn(root.file("tmp")).empty());

  // The same request id again, now where a worker takes it.
  --requestId;
  testhttp::Connection other(port);
  std::string again = logInOver(other, "crowded");
  EXPECT_EQ(200, upload(other, again, body).status);
  EXPECT_EQ(1, imageCount());
}

// Stopping the server while uploads are under way or queued: each either is stored whole
// (record and three files) or leaves nothing, and no temporary file stays.
TEST_F(GUploadTest, UploadsInFlightAtShutdownLeaveWholeImagesOrNothing) {
  uploader("late", false);
  std::string session;
  {
    testhttp::Connection browser(port);
    session = logInOver(browser, "late");
  }
  std::string body = formBody(jpeg(1600, 1200));
  std::vector<int> sockets;
  for (int i = 0; i < 6; ++i) sockets.push_back(sendUpload(port, session, body));
  // Until the first is stored, so that the others are under way or waiting.
  for (int i = 0; i < 1000 && imageCount() == 0; ++i) sleepFor(0, 5);
  server.reset();
  servlet.stopWork();
  for (int fd : sockets) close(fd);

  int stored = imageCount();
  EXPECT_GE(stored, 1);
  EXPECT_LE(stored, 6);
  EXPECT_EQ((size_t)stored * 5, storedFiles());
  for (int id = 0; id < stored; ++id) {
    for (const char* dir : {"images/original/", "images/preview1/", "images/preview2/", "images/preview2x/", "images/screen/"}) {
      struct stat info;
      EXPECT_EQ(0, stat(root.file(dir + storeName(id)).c_str(), &info)) << dir << id;
    }
  }
  EXPECT_TRUE(filesIn(root.file("tmp")).empty());
}

// Uploads of one user at the same time: each saw room when it began, but the records are
// added on the workers, where the limit is looked at again. The others store nothing.
TEST_F(GUploadTest, UploadsAtTheSameTimeStayWithinTheImageLimit) {
  uploader("one", false, 1);
  std::string session;
  {
    testhttp::Connection browser(port);
    session = logInOver(browser, "one");
  }
  std::string body = formBody(jpeg(800, 600));
  // Four: as many bodies as one client may have spooled at once (MBodySpool).
  const int uploads = 4;
  std::vector<int> statuses(uploads, 0);
  std::vector<std::thread> browsers;
  for (int i = 0; i < uploads; ++i) {
    std::string target = "/upload?session=" + session + "&requestId=" +
                         std::to_string(++requestId) + "&action=11&pagenum=1";
    browsers.emplace_back([&, i, target]() {
      testhttp::Connection browser(port);
      browser.setCookie(cookies[session]);
      statuses[(size_t)i] = browser.post(target, multipartType, body).status;
    });
  }
  for (std::thread& browser : browsers) browser.join();
  for (int status : statuses) EXPECT_EQ(200, status);
  EXPECT_EQ(1, imageCount());
  EXPECT_EQ(5u, storedFiles());
}

// The page after an upload tells what became of the file, in words and, for the script that
// sends many files, by name in data-upload-outcome.
TEST_F(GUploadTest, ThePageAfterAnUploadTellsItsOutcome) {
  uploader("direct", false);
  uploader("waits", true);
  refusedAccounts();
  MArray* english = static_cast<MArray*>(application.translations.getFirstItem()->object);
  english->addObject("MESSAGE_UPLOAD_TOO_LARGE", "Over %s MB.");
  english->addObject("MESSAGE_UPLOAD_AT_LIMIT", "All %s used.");

  std::string file = jpeg(64, 48);
  const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x40\0\0\0\x30", 24);
  struct Case {
    const char* what;
    const char* who;
    std::string body;
    int maxSize;  // 0: the fixture's limit
    const char* outcome;
    const char* line;
    bool stored;
  };
  const Case cases[] = {
      {"no file chosen", "direct", formBody("", ""), 0, "no-file", "MESSAGE_UPLOAD_NO_FILE", false},
      {"no file field", "direct",
       "--" + std::string(boundary) + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nb\r\n--" +
           boundary + "--\r\n", 0, "no-file", "MESSAGE_UPLOAD_NO_FILE", false},
      {"a PNG named .jpg", "direct", formBody(png, "photo.jpg"), 0, "not-jpeg",
       "MESSAGE_UPLOAD_NOT_JPEG", false},
      {"a JPEG start, then no picture", "direct", formBody("\xFF\xD8 not an image"), 0, "not-jpeg",
       "MESSAGE_UPLOAD_NOT_JPEG", false},
      {"over the size limit", "direct", formBody(file), 2500000, "too-large", "Over 2.5 MB.", false},
      {"at the image limit", "full", formBody(file), 0, "at-limit", "All 1 used.", false},
      {"without the upload right", "noright", formBody(file), 0, "not-allowed",
       "MESSAGE_UPLOAD_NOT_ALLOWED", false},
      {"waits for acceptance", "waits", formBody(file), 0, "waiting", "MESSAGE_UPLOAD_WAITING", true},
      {"stored", "direct", formBody(file), 0, "stored", "MESSAGE_UPLOAD_STORED", true},
  };
  for (const Case& c : cases) {
    std::string body = c.body;
    // Over the limit: the body is padded past it, as a large photo would be.
    if (c.maxSize > 0) body.insert(body.size() - 4, std::string((size_t)c.maxSize, 'x'));
    application.originalMaxSize = c.maxSize > 0 ? c.maxSize : 19000000;
    testhttp::Connection browser(port);
    std::string session = logInOver(browser, c.who);
    int before = imageCount();
    testhttp::Response r = browser.post("/?session=" + session + "&page=108&requestId=" +
                                            std::to_string(++requestId) + "&action=11&pagenum=1",
                                        multipartType, body);
    ASSERT_EQ(200, r.status) << c.what;
    EXPECT_EQ(before + (c.stored ? 1 : 0), imageCount()) << c.what;
    std::string kind = c.stored ? "done" : "refused";
    std::string line = "<DIV class=\"message message_" + kind +
                       "\" role=\"status\" data-upload-outcome=\"" + c.outcome + "\">" + c.line +
                       "</DIV>\n";
    // The line opens the page, before the image it may concern.
    size_t body_at = r.body.find("<BODY");
    ASSERT_NE(std::string::npos, body_at) << c.what << r.body;
    EXPECT_EQ(r.body.find('\n', body_at) + 1, r.body.find(line)) << c.what << "\n" << r.body;
  }
}

