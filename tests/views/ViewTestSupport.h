#ifndef VISTREL_TESTS_VIEWS_VIEWTESTSUPPORT_H
#define VISTREL_TESTS_VIEWS_VIEWTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "lib/core/MDataStream.h"
#include "lib/core/MTextStream.h"
#include "tests/support/FakeApplication.h"
#include "tests/support/TestRoot.h"
#include "views/GSession.h"

// Own namespace: the test programs link several support headers into one binary.
namespace viewtest {

// A page being written: a text stream over a memory stream.
class Page {
 public:
  Page() : out(&data) {}
  std::string text() {
    std::string result;
    data.setReadPos(0);
    char buffer[4096];
    int n;
    while ((n = data.readData(buffer, sizeof buffer)) > 0) result.append(buffer, (size_t)n);
    return result;
  }
  MDataStream data;
  MTextStream out;
};

// A root, an application with the languages eng and fra, and a session of the guest.
class ViewTest : public testing::Test {
 protected:
  ViewTest() : application(root.path) {
    application.addLanguage("eng", "English",
                            {"MENU_HELP", "Help", "MENU_LOGOUT", "Logout", "BUTTON_LOGIN", "Login",
                             "BUTTON_GUEST_LOGIN", "Guest", "LABEL_USERNAME", "User name",
                             "LABEL_PASSWORD", "Password", "MENU_INTRODUCTION", "Introduction"});
    application.addLanguage("fra", "Francais", {"MENU_HELP", "Aide"});
    session.id = "5072913846";
  }

  // The session as the dispatch would hold it after a login of the given account.
  void logIn(int _userId) {
    ASSERT_EQ(_userId, application.database.getUser(_userId, session.user));
    session.id = "123456789";
  }

  testroot::TestRoot root;
  testapp::FakeApplication application;
  GSession session;
  MString contentType{"text/html"};
};

// What every page's head starts with.
inline const std::string headStart =
    "<HTML>\n<HEAD>\n<META name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
inline const std::string head =
    headStart + "<TITLE>Vistrel 1.0</TITLE>\n<LINK rel=\"stylesheet\" href=\"/style.css\">\n"
    "<SCRIPT language=\"JavaScript\" src=\"/scripts.js\" type=\"text/javascript\"></SCRIPT>\n"
    "</HEAD>\n";

// The head of a frame set of a module.
inline const std::string frameSetHead = headStart + "</HEAD>\n";

inline const std::string hover = " onmouseover=\"mouseOver(this)\" onmouseout=\"mouseOut(this)\" ";

}  // namespace viewtest

#endif
