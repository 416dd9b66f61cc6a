#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "tests/webapp/WebappTestSupport.h"
#include "webapp/GFileDelivery.h"

using webtest::Exchange;

namespace {

class FileRequestTest : public webtest::ServletTest {
 protected:
  FileRequestTest() {
    application.mimeTypes.addObject("txt", "text/plain");
    root.write("web/images/folder.gif", "GIF89a");
    root.write("web/readme", "no extension");
    root.write("web/x.y/z", "after the dot");
    root.write("web/~x.txt", "tilde");
    mkdir(root.file("web/dir.d").c_str(), 0755);
  }

  // The file delivery alone, for a request whose path is _path.
  bool request(const std::string& _path, Exchange& _e) {
    _e.request.path = _path.c_str();
    _e.request.url = _path.c_str();
    return GFileDelivery::serveFile(_e.request, _e.response);
  }
};

}  // namespace

TEST_F(FileRequestTest, ServesFilesOfTheWebDirectoryOnly) {
  struct Case {
    std::string path;
    bool served;
    std::string body;
    const char* contentType;
  };
  const Case cases[] = {
      {"/style.css", true, "body { margin: 0; }\n", "text/css"},
      {"/images/folder.gif", true, "GIF89a", "text/html"},  // gif is not in the MIME list
      {"/../config/config.cfg", false, "", "text/html"},
      {"/images/..%2f..%2fconfig/config.cfg", false, "", "text/html"},
      {"/~x.txt", false, "", "text/html"},
      {"/nosuch.txt", false, "", "text/plain"},  // the type stays set
      {"/readme", false, "", "text/html"},
      {"/", false, "", "text/html"},
      {"/.css", true, "", "text/css"},  // the dot after the first character
      {"/x.y/z", true, "after the dot", "text/html"},  // the extension is "y/z"
      {"/dir.d", false, "", "text/html"},  // a directory is no file
      {"/" + std::string(200, 'a') + ".css", false, "", "text/html"},
      {"/STYLE.CSS", false, "", "text/html"},
  };
  root.write("web/.css", "");
  for (const Case& c : cases) {
    Exchange e;
    EXPECT_EQ(c.served, request(c.path, e)) << c.path;
    EXPECT_EQ(c.body, e.body()) << c.path;
    EXPECT_STREQ(c.contentType, e.response.contentType.getValue()) << c.path;
  }
}

TEST_F(FileRequestTest, LongFilesAndLongExtensions) {
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "line " + std::to_string(i) + "\n";
  root.write("web/big.txt", big);
  Exchange e;
  EXPECT_TRUE(request("/big.txt", e));
  EXPECT_EQ(big, e.body());

  // An extension of 50 characters or more has no MIME type, even one the list knows.
  std::string extension(50, 'e');
  application.mimeTypes.addObject(extension.c_str(), "application/x-long");
  root.write("web/f." + extension, "long");
  Exchange longExtension;
  EXPECT_TRUE(request("/f." + extension, longExtension));
  EXPECT_STREQ("text/html", longExtension.response.contentType.getValue());
  application.mimeTypes.addObject(extension.substr(1).c_str(), "application/x-shorter");
  root.write("web/f." + extension.substr(1), "shorter");
  Exchange shorter;
  EXPECT_TRUE(request("/f." + extension.substr(1), shorter));
  EXPECT_STREQ("application/x-shorter", shorter.response.contentType.getValue());
}
