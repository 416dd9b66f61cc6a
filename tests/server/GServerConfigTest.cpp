#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "lib/core/MException.h"
#include "server/GServer.h"
#include "tests/support/TestRoot.h"
#include "views/GSession.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Chain;

Chain chainOf(const MException& _e) {
  Chain chain;
  for (const MException* e = &_e; e != nullptr; e = e->getInner()) {
    chain.emplace_back(e->getLocation().getValue(), e->getMessage().getValue());
  }
  return chain;
}

// Runs _step and returns the chain of the failure it raises (empty when it raises none).
template <typename Step>
Chain failureOf(Step _step) {
  try {
    _step();
  } catch (const MException& _e) {
    return chainOf(_e);
  }
  return Chain();
}

const std::pair<std::string, std::string> failed(const char* _signature) {
  return {_signature, "Operation failed!"};
}

class GServerConfigTest : public testing::Test {
 protected:
  testroot::TestRoot root;
  GServer server;
};

}  // namespace

TEST_F(GServerConfigTest, ConfigurationValuesAndTheirDefaults) {
  struct Case {
    const char* config;
    int port, timeout;
    const char* language;
    int maxSize, quality1, quality2;
  };
  const Case cases[] = {
      {"[session.timeout][600]\n", 9400, 600, "", 0, 0, 0},
      {"[server.port][]\n", 0, 0, "", 0, 0, 0},
      {"#[server.port][80]\n[server.port][0]\n", 0, 0, "", 0, 0, 0},
      {"[server.port][0]\n[session.timeout][-1]\n[session.defaultLanguage][fra]\n"
       "[images.original.maxSize][2000000]\n[images.preview1.quality][75]\n"
       "[images.preview2.quality][85]\n[other.key][ignored]\nno brackets here\n",
       0, -1, "fra", 2000000, 75, 85},
  };
  for (const Case& c : cases) {
    root.write("config/config.cfg", c.config);
    GServer server;
    server.setDirectory(root.path.c_str());
    server.loadConfiguration();
    server.takeConfigurationValues();
    EXPECT_EQ(c.port, server.getPort()) << c.config;
    EXPECT_EQ(c.timeout, server.getSessionTimeout()) << c.config;
    EXPECT_STREQ(c.language, server.getDefaultLanguage().getValue()) << c.config;
    EXPECT_EQ(c.maxSize, server.getOriginalMaxSize()) << c.config;
    EXPECT_EQ(c.quality1, server.getPreview1Quality()) << c.config;
    EXPECT_EQ(c.quality2, server.getPreview2Quality()) << c.config;
  }
}

TEST_F(GServerConfigTest, TheSessionLimitsAndTheirDefaults) {
  struct Case {
    const char* config;
    int adminTimeout, maxSessions, maxGuest;
  };
  const Case cases[] = {
      {"", 480, 10000, 200},
      {"[session.adminTimeout][15]\n[session.max][50]\n[session.guestMax][5]\n", 15, 50, 5},
  };
  for (const Case& c : cases) {
    root.write("config/config.cfg", c.config);
    GServer server;
    server.setDirectory(root.path.c_str());
    server.loadConfiguration();
    server.takeConfigurationValues();
    EXPECT_EQ(c.adminTimeout, server.getAdminTimeout()) << c.config;
    EXPECT_EQ(c.maxSessions, server.getMaxSessions()) << c.config;
    EXPECT_EQ(c.maxGuest, server.getMaxGuestAccountSessions()) << c.config;
  }
}

TEST_F(GServerConfigTest, ValuesThatAreNoNumbersStopTheStartUp) {
  struct Case {
    const char* config;
    const char* message;
  };
  const Case cases[] = {
      {"[server.port][80a]\n", "The value of the key (server.port) is not a number!"},
      {"[session.timeout][ 600]\n", "The value of the key (session.timeout) is not a number!"},
      {"[images.preview1.quality][-]\n",
       "The value of the key (images.preview1.quality) is not a number!"},
      {"[images.original.maxSize][99999999999]\n",
       "The value of the key (images.original.maxSize) is not a number!"},
      {"[server.port][70000]\n", "The port (70000) is out of range!"},
      {"[server.port][-1]\n", "The port (-1) is out of range!"},
  };
  for (const Case& c : cases) {
    root.write("config/config.cfg", c.config);
    GServer server;
    Chain expected = {failed("void GServer::configure(char *_dir)"),
                      failed("void GServer::takeConfigurationValues()"),
                      {"### CONFIG ###", c.message}};
    // Refused before any port is opened.
    EXPECT_EQ(expected, failureOf([&] { server.configure(root.path.c_str()); })) << c.config;
    EXPECT_EQ(0, server.getBoundPort());
  }
}

TEST_F(GServerConfigTest, MissingAndRepeatedEntriesStopTheStartUp) {
  const std::string path = root.path;
  struct Case {
    const char* file;
    const char* content;  // nullptr: the file is missing
    Chain chain;
  };
  const std::vector<Case> cases = {
      {"config/config.cfg", nullptr,
       {failed("void GServer::configure(char *_dir)"), failed("void GServer::loadConfiguration()"),
        failed("void MStorage::load(char *_filename)"),
        {"### FILE ###", "Cannot open the file (" + path + "/config/config.cfg)!"}}},
      {"config/mime.cfg", nullptr,
       {failed("void GServer::configure(char *_dir)"), failed("void GServer::loadMimeList()"),
        failed("void MStorage::load(char *_filename)"),
        {"### FILE ###", "Cannot open the file (" + path + "/config/mime.cfg)!"}}},
      {"config/languages.cfg", "[eng][English]\n[deu][Deutsch]\n",
       {failed("void GServer::configure(char *_dir)"), failed("void GServer::loadLanguages()"),
        failed("void GServer::loadTranslations(char *_language,MArray& _translations)"),
        failed("void MStorage::load(char *_filename)"),
        {"### FILE ###", "Cannot open the file (" + path + "/config/translations.deu)!"}}},
      {"config/languages.cfg", "[eng][English]\n[../../etc/passwd][Evil]\n",
       {failed("void GServer::configure(char *_dir)"), failed("void GServer::loadLanguages()"),
        {"### LANGUAGE ###", "The language code (../../etc/passwd) is not valid!"}}},
      {"config/config.cfg", "[server.port][0]\n[server.port][1]\n",
       {failed("void GServer::configure(char *_dir)"), failed("void GServer::loadConfiguration()"),
        failed("void MStorage::load(char *_filename)"),
        failed("void MStorage::addObject(char *_key,char *_value)"),
        {"### KEY ###", "The key (server.port) is not unique (i.e. it is used)!"}}},
  };
  for (const Case& c : cases) {
    testroot::TestRoot fresh;
    if (c.content != nullptr) {
      fresh.write(c.file, c.content);
    } else {
      fresh.remove(c.file);
    }
    Chain chain = c.chain;
    for (auto& level : chain) {
      size_t at = level.second.find(path);
      if (at != std::string::npos) level.second.replace(at, path.size(), fresh.path);
    }
    GServer server;
    Chain got = failureOf([&] { server.configure(fresh.path.c_str()); });
    // The container may add levels of its own below the loader: compare the loader's levels
    // and the cause.
    ASSERT_GE(got.size(), 3u) << c.file;
    EXPECT_EQ(Chain(chain.begin(), chain.begin() + 2), Chain(got.begin(), got.begin() + 2)) << c.file;
    EXPECT_EQ(chain.back(), got.back()) << c.file;
  }
}

TEST_F(GServerConfigTest, TranslationsAndTheirFallbacks) {
  root.write("config/languages.cfg", "[fra][Francais]\n[eng][English]\n");
  root.write("config/translations.fra", "[BUTTON_LOGIN][Connexion]\n");
  root.write("config/translations.eng", "[BUTTON_LOGIN][Login]\n[MENU_HELP][Help <b>!</b>]\n");
  server.configure(root.path.c_str());

  // The language choice keeps the file order.
  MList& languages = server.getLanguages();
  ASSERT_EQ(2, languages.getLength());
  EXPECT_STREQ("fra", languages.getFirstItem()->key->toString().getValue());
  EXPECT_STREQ("Francais", languages.getFirstItem()->object->toString().getValue());

  struct Case {
    const char* language;
    const char* key;
    const char* text;
    const char* pageLanguage;
  };
  const Case cases[] = {
      {"fra", "BUTTON_LOGIN", "Connexion", "fra"},
      {"eng", "BUTTON_LOGIN", "Login", "eng"},
      {"eng", "MENU_HELP", "Help <b>!</b>", "eng"},  // texts may hold HTML
      {"fra", "MENU_HELP", "MENU_HELP", "fra"},     // the table lacks it: the key itself
      {"xyz", "BUTTON_LOGIN", "Login", "eng"},      // no table: eng sorts before fra
      {"", "MENU_HELP", "Help <b>!</b>", "eng"},
      {"../eng", "BUTTON_LOGIN", "Login", "eng"},
      {"ENG", "BUTTON_LOGIN", "Login", "eng"},
  };
  for (const Case& c : cases) {
    GSession session;
    session.language = c.language;
    EXPECT_STREQ(c.text, server.translate(session, c.key)) << c.language << " " << c.key;
    EXPECT_STREQ(c.pageLanguage, server.getPageLanguage(session)) << c.language;
  }
}

TEST_F(GServerConfigTest, WithoutLanguagesEveryKeyIsItself) {
  root.write("config/languages.cfg", "# none\n");
  server.configure(root.path.c_str());
  GSession session;
  EXPECT_STREQ("BUTTON_LOGIN", server.translate(session, "BUTTON_LOGIN"));
  EXPECT_STREQ("", server.getPageLanguage(session));
}

TEST_F(GServerConfigTest, MimeTypesMatchExactly) {
  root.write("config/mime.cfg", "[gif][image/gif]\n[css][text/css]\n");
  server.configure(root.path.c_str());
  ASSERT_NE(nullptr, server.getMimeType("gif"));
  EXPECT_STREQ("image/gif", server.getMimeType("gif")->getValue());
  EXPECT_EQ(nullptr, server.getMimeType("GIF"));
  EXPECT_EQ(nullptr, server.getMimeType(""));
  EXPECT_EQ(nullptr, server.getMimeType("jpg"));
}

TEST_F(GServerConfigTest, RequestNumbersAndImageUrls) {
  EXPECT_EQ(1, server.nextRequestId());
  EXPECT_EQ(2, server.nextRequestId());
  GSession session;
  session.id = "123";
  EXPECT_STREQ("/?session=123&page=601&Image.id=42", server.getImageWindowUrl(session, 42).getValue());
  EXPECT_STREQ("/?session=123&page=603&Image.id=42", server.getPreview1Url(session, 42).getValue());
  EXPECT_STREQ("/?session=123&page=604&Image.id=7", server.getPreview2Url(session, 7).getValue());
  EXPECT_EQ(3, server.nextRequestId());
}

TEST_F(GServerConfigTest, ConfigureOpensThePortAndTheDatabase) {
  root.write("config/config.cfg", "[server.port][0]\n[session.defaultLanguage][fra]\n");
  server.configure(root.path.c_str());
  EXPECT_GT(server.getBoundPort(), 0);
  EXPECT_STREQ("fra", server.getServlet().getGuestSession()->language.getValue());
  EXPECT_EQ(416, (int)root.read("database/user.db").size());
  EXPECT_EQ(&server, GApplication::current());
}

TEST_F(GServerConfigTest, ListenAddressAndSessionCap) {
  // Defaults: every interface, 10000 sessions.
  root.write("config/config.cfg", "[server.port][0]\n");
  server.configure(root.path.c_str());
  EXPECT_EQ(10000, server.getServlet().getSessions().getMaxSessions());

  testroot::TestRoot loopback;
  loopback.write("config/config.cfg", "[server.port][0]\n[server.address][127.0.0.1]\n[session.max][3]\n");
  GServer proxied;
  proxied.configure(loopback.path.c_str());
  EXPECT_GT(proxied.getBoundPort(), 0);
  EXPECT_EQ(3, proxied.getServlet().getSessions().getMaxSessions());

  // An address that is none stops the start-up with a message that says so.
  testroot::TestRoot wrong;
  wrong.write("config/config.cfg", "[server.port][0]\n[server.address][localhost:80]\n");
  GServer refused;
  Chain chain = failureOf([&] { refused.configure(wrong.path.c_str()); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ("The address (localhost:80) is no IPv4 address!", chain.back().second);
}
