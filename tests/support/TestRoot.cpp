#include "tests/support/TestRoot.h"

#include <arpa/inet.h>
#include <ftw.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testroot {

namespace {

int removeEntry(const char* _path, const struct stat*, int, struct FTW*) {
  ::remove(_path);
  return 0;
}

void makeDirs(const std::string& _path) {
  for (size_t i = 1; i <= _path.size(); ++i) {
    if (i == _path.size() || _path[i] == '/') mkdir(_path.substr(0, i).c_str(), 0755);
  }
}

std::string makeTemp(const char* _pattern) {
  std::string pattern = _pattern;
  char* made = mkdtemp(&pattern[0]);
  return made != nullptr ? made : "";
}

}  // namespace

void removeTree(const std::string& _path) {
  if (!_path.empty()) nftw(_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = -1;
  if (bind(fd, (sockaddr*)&address, sizeof address) == 0 &&
      getsockname(fd, (sockaddr*)&address, &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

TestRoot::TestRoot(int _port) : path(makeTemp("/tmp/vistrel-root-XXXXXX")) {
  for (const char* dir : {"config", "web/eng", "web/images", "database", "images/original",
                          "images/preview1", "images/preview2", "images/preview2x",
                          "images/screen"}) {
    makeDirs(path + "/" + dir);
  }
  std::string config = "# test configuration\n";
  if (_port >= 0) config += "[server.port][" + std::to_string(_port) + "]\n";
  config += "[session.timeout][600]\n[session.defaultLanguage][eng]\n";
  write("config/config.cfg", config);
  write("config/languages.cfg", "[eng][English]\n[fra][Francais]\n");
  write("config/translations.eng",
        "[BUTTON_LOGIN][Login]\n[BUTTON_GUEST_LOGIN][Guest]\n[LABEL_USERNAME][User name]\n"
        "[LABEL_PASSWORD][Password]\n[MENU_HELP][Help]\n[MENU_LOGOUT][Logout]\n"
        "[MENU_INTRODUCTION][Introduction]\n[MENU_IMAGE_FOLDERS][Folders]\n"
        "[MENU_SEARCH_IMAGES][Search]\n[MENU_MY_INFORMATION][My data]\n"
        "[MENU_IMAGE_ACCEPTANCE][Acceptance]\n[MENU_USER_ADMINISTRATION][Users]\n"
        "[MENU_FOLDER_ADMINISTRATION][Folder administration]\n");
  write("config/translations.fra", "[BUTTON_LOGIN][Connexion]\n[MENU_HELP][Aide]\n");
  write("config/mime.cfg", "[css][text/css]\n[js][application/javascript]\n[jpg][image/jpeg]\n");
  write("web/style.css", "body { margin: 0; }\n");
  write("web/eng/introduction.html", "<HTML><BODY>Welcome</BODY></HTML>\n");
}

TestRoot::~TestRoot() { removeTree(path); }

void TestRoot::write(const std::string& _relative, const std::string& _content) const {
  std::string name = file(_relative);
  makeDirs(name.substr(0, name.rfind('/')));
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << _content;
}

std::string TestRoot::read(const std::string& _relative) const {
  std::ifstream in(file(_relative), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void TestRoot::remove(const std::string& _relative) const { ::remove(file(_relative).c_str()); }

TempDir::TempDir() : path(makeTemp("/tmp/vistrel-dir-XXXXXX")) {}

TempDir::~TempDir() { removeTree(path); }

}  // namespace testroot
