#ifndef VISTREL_TESTS_FAKEAPPLICATION_H
#define VISTREL_TESTS_FAKEAPPLICATION_H

#include <string>

#include "db/GDatabase.h"
#include "db/GPasswordHash.h"
#include "lib/core/MArray.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "views/GApplication.h"
#include "views/GSession.h"

// Own namespace: the test programs link several support headers into one binary.
namespace testapp {

// The application as the pages and the dispatch see it, without a server: a root directory,
// languages and translations set by the test, a MIME list and a real database in the root's
// "database" directory (which must exist), without the waits for the disk.
class FakeApplication : public GApplication {
 public:
  explicit FakeApplication(const std::string& _root)
      : directory(_root.c_str()),
        serverTitle("Vistrel 1.0"),
        defaultLanguage("eng"),
        sessionTimeout(600),
        originalMaxSize(0),
        preview1Quality(0),
        preview2Quality(0),
        requestCounter(0) {
    database.setDurable(false);
    // Every fresh database hashes two passwords: at the full cost the tests would spend
    // most of their time there.
    GPasswordHash::setLightCost(true);
    database.init(directory.getValue());
    mimeTypes.setExceptions(false);
  }

  // Adds a language with its display name and translation pairs ("KEY", "text", ...).
  void addLanguage(const char* _code, const char* _name,
                   std::initializer_list<const char*> _pairs = {}) {
    languages.addObject(_code, _name);
    MArray* table = new MArray();
    const char* key = nullptr;
    for (const char* p : _pairs) {
      if (key == nullptr) {
        key = p;
      } else {
        table->addObject(key, p);
        key = nullptr;
      }
    }
    translations.addObject(_code, table, true);
  }

  const MString& getDirectory() override { return directory; }
  const MString& getServerTitle() override { return serverTitle; }
  const MString& getDefaultLanguage() override { return defaultLanguage; }
  int getSessionTimeout() override { return sessionTimeout; }
  int getAdminTimeout() override { return adminTimeout; }
  int getOriginalMaxSize() override { return originalMaxSize; }
  int getPreview1Quality() override { return preview1Quality; }
  int getPreview2Quality() override { return preview2Quality; }
  MList& getLanguages() override { return languages; }
  GDatabase& getDatabase() override { return database; }
  int nextRequestId() override { return ++requestCounter; }

  const char* translate(GSession& _session, const char* _key) override {
    MItem* item = translations.getItem(&_session.language);
    if (item == nullptr) item = translations.getFirstItem();
    if (item == nullptr) return _key;
    MObject* text = static_cast<MArray*>(item->object)->getObject(_key);
    return text != nullptr ? static_cast<MString*>(text)->getValue() : _key;
  }
  MString* getMimeType(const char* _extension) override {
    return static_cast<MString*>(mimeTypes.getObject(_extension));
  }
  const char* getPageLanguage(GSession& _session) override {
    MItem* item = translations.getItem(&_session.language);
    if (item == nullptr) item = translations.getFirstItem();
    return item != nullptr ? static_cast<MString*>(item->key)->getValue() : "";
  }
  MString getImageWindowUrl(GSession& _session, int _id) override { return url(_session, 601, _id); }
  MString getPreview1Url(GSession& _session, int _id) override { return url(_session, 603, _id); }
  MString getPreview2Url(GSession& _session, int _id) override { return url(_session, 604, _id); }
  MString getImageFileUrl(GSession& _session, int _page, int _id) override { return url(_session, _page, _id); }
  MString getProxyAddress() override { return proxyAddress; }
  MString getProxySecret() override { return proxySecret; }

  MString directory;
  MString serverTitle;
  MString defaultLanguage;
  int sessionTimeout;
  // Minutes.
  int adminTimeout = 480;
  int originalMaxSize;
  int preview1Quality;
  int preview2Quality;
  int requestCounter;
  MList languages;
  MArray translations;
  MArray mimeTypes;
  MString proxyAddress;
  MString proxySecret;
  GDatabase database;

 private:
  MString url(GSession& _session, int _page, int _id) {
    return MString::format("/?session=%s&page=%d&Image.id=%d", _session.id.getValue(), _page, _id);
  }
};

}  // namespace testapp

#endif
