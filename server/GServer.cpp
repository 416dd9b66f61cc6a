#include "server/GServer.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>

#include "lib/core/MException.h"
#include "lib/platform/MClock.h"
#include "views/GHtml.h"
#include "views/GIds.h"
#include "views/GSession.h"
#include "webapp/GClientAddress.h"
#include "webapp/GImageStore.h"

namespace {

// A language code names a file and a directory: it must stay inside them.
bool isSafeLanguageCode(const char* _code) {
  return strchr(_code, '/') == nullptr && strchr(_code, '\\') == nullptr &&
         strstr(_code, "..") == nullptr;
}

}  // namespace

GServer::GServer()
    : port(9400),
      sessionTimeout(0),
      adminTimeout(480),
      maxSessions(10000),
      maxGuestAccountSessions(200),
      serverTitle("Vistrel 1.0"),
      originalMaxSize(0),
      preview1Quality(0),
      preview2Quality(0),
      spoolBudget((int)MBodySpool::defaultBudget),
      spoolReserve((int)MBodySpool::defaultReserve),
      linkDefaultDays(30),
      linkContributionsPerDay(20),
      requestCounter(0),
      stopRequested(false) {
  httpProcessor.setHandler(&servlet);
}

GServer::~GServer() {
  // The server loop calls the servlet, which is destroyed before the loop: end the loop and
  // the object's own thread first.
  stop();
  while (!server.isFinished() || !isFinished()) sleepFor(0, 10);
}

const char* const GServer::writtenDirectories[4] = {"database", "images", "tmp", "log"};

void GServer::configure(const char* _dir) try {
  directory = _dir;
  loadConfiguration();
  loadLanguages();
  loadMimeList();
  takeConfigurationValues();
  GClientAddress::checkConfiguration();
  servlet.init();
  // Large request bodies wait in files under the root; a process that died may have left
  // some behind.
  MString bodies = MString::format("%s/tmp", directory.getValue());
  mkdir(bodies.getValue(), 0700);
  MHttpProcessor::removeBodyFiles(bodies.getValue());
  httpProcessor.setBodyDirectory(bodies.getValue());
  httpProcessor.getBodySpool().setLimits(spoolBudget.getValue(), spoolReserve.getValue(),
                                         MBodySpool::defaultPerClient);
  GServlet::forEachSecurityHeader(
      [this](const char* _name, const char* _value) { httpProcessor.addStandingHeader(_name, _value); });
  server.configure(port.getValue(), &httpProcessor, bindAddress.getValue());
  // Listing the image store takes most of a large library's start; it runs while the
  // database opens and builds its indexes.
  MString root = directory;
  std::future<GImageStore::Listings> listing =
      std::async(std::launch::async, [root]() { return GImageStore::list(root); });
  database.init(directory.getValue());
  // What a crash may have left half-done in the image store goes before the first request.
  GImageStore::Listings listings = listing.get();
  GImageStore::sweep(listings);
  lackingLargeFiles = GImageStore::lackingLargeFiles(listings);
} M_RETHROW("void GServer::configure(char *_dir)")

void GServer::takeConfigurationValues() try {
  configurationInt("server.port", port);
  MObject* address = configuration.getObject("server.address");
  bindAddress = address != nullptr ? address->toString() : MString();
  MObject* proxy = configuration.getObject("server.proxy");
  proxyAddress = proxy != nullptr ? proxy->toString() : MString();
  MObject* secret = configuration.getObject("server.proxySecret");
  proxySecret = secret != nullptr ? secret->toString() : MString();
  MObject* allow = configuration.getObject("metrics.allow");
  metricsAllow = allow != nullptr ? allow->toString() : MString();
  MObject* logTarget = configuration.getObject("log.access");
  accessLogTarget = logTarget != nullptr ? logTarget->toString() : MString();
  MObject* language = configuration.getObject("session.defaultLanguage");
  defaultLanguage = language != nullptr ? language->toString() : MString();
  configurationInt("session.timeout", sessionTimeout);
  configurationInt("session.adminTimeout", adminTimeout);
  configurationInt("session.max", maxSessions);
  configurationInt("session.guestMax", maxGuestAccountSessions);
  configurationInt("images.original.maxSize", originalMaxSize);
  configurationInt("images.preview1.quality", preview1Quality);
  configurationInt("images.preview2.quality", preview2Quality);
  configurationInt("upload.spoolBudget", spoolBudget);
  configurationInt("upload.freeSpaceReserve", spoolReserve);
  configurationInt("link.defaultDays", linkDefaultDays);
  configurationInt("link.contributionsPerDay", linkContributionsPerDay);
  if (port.getValue() < 0 || port.getValue() > 65535) {
    throw MException("### CONFIG ###",
                     MString::format("The port (%d) is out of range!", port.getValue()).getValue());
  }
} M_RETHROW("void GServer::takeConfigurationValues()")

void GServer::configurationInt(const char* _key, MInt32& _field) {
  MObject* value = configuration.getObject(_key);
  if (value == nullptr) return;
  MString text = value->toString();
  const char* p = text.getValue();
  if (*p == 0) {
    _field.setValue(0);
    return;
  }
  const char* digits = *p == '-' ? p + 1 : p;
  bool number = *digits != 0;
  for (const char* q = digits; *q != 0; ++q) {
    if (*q < '0' || *q > '9') number = false;
  }
  errno = 0;
  long long parsed = number ? strtoll(p, nullptr, 10) : 0;
  if (!number || errno != 0 || parsed < INT_MIN || parsed > INT_MAX) {
    throw MException("### CONFIG ###",
                     MString::format("The value of the key (%s) is not a number!", _key).getValue());
  }
  _field.setValue((int)parsed);
}

void GServer::loadConfiguration() try {
  MString path = MString::format("%s/config/config.cfg", directory.getValue());
  configuration.load(path.getValue());
} M_RETHROW("void GServer::loadConfiguration()")

void GServer::loadLanguages() try {
  translations.clear();
  MString path = MString::format("%s/config/languages.cfg", directory.getValue());
  languages.load(path.getValue());
  for (MItem* item = languages.getFirstItem(); item != nullptr;
       item = languages.getNextItem(item)) {
    MString code = item->key->toString();
    if (!isSafeLanguageCode(code.getValue())) {
      throw MException("### LANGUAGE ###",
                       MString::format("The language code (%s) is not valid!", code.getValue())
                           .getValue());
    }
    MArray* table = new MArray();
    try {
      loadTranslations(code.getValue(), *table);
      translations.addObject(code.getValue(), table, true);
    } catch (const MException&) {
      delete table;
      throw;
    }
  }
} M_RETHROW("void GServer::loadLanguages()")

void GServer::loadTranslations(const char* _language, MArray& _translations) try {
  MString path = MString::format("%s/config/translations.%s", directory.getValue(),
                                 _language != nullptr ? _language : "");
  _translations.load(path.getValue());
} M_RETHROW("void GServer::loadTranslations(char *_language,MArray& _translations)")

void GServer::loadMimeList() try {
  MString path = MString::format("%s/config/mime.cfg", directory.getValue());
  mimeTypes.load(path.getValue());
} M_RETHROW("void GServer::loadMimeList()")

void GServer::dumpDatabase(const char* _dir, const char* _filename) try {
  directory = _dir;
  database.init(directory.getValue());
  database.htmlDump(_filename);
} M_RETHROW("void GServer::dumpDatabase(char *_dir,char *_filename)")

MArray* GServer::translationTable(GSession& _session, MString* _code) {
  MItem* item = translations.getItem(&_session.language);
  if (item == nullptr) item = translations.getFirstItem();
  if (item == nullptr) return nullptr;
  if (_code != nullptr) *_code = item->key->toString();
  return static_cast<MArray*>(item->object);
}

const char* GServer::translate(GSession& _session, const char* _key) {
  MArray* table = translationTable(_session, nullptr);
  if (table == nullptr || _key == nullptr) return _key;
  MObject* text = table->getObject(_key);
  return text != nullptr ? static_cast<MString*>(text)->getValue() : _key;
}

const char* GServer::getPageLanguage(GSession& _session) {
  MItem* item = translations.getItem(&_session.language);
  if (item == nullptr) item = translations.getFirstItem();
  if (item == nullptr) return "";
  return static_cast<MString*>(item->key)->getValue();
}

MString* GServer::getMimeType(const char* _extension) {
  return static_cast<MString*>(mimeTypes.getObject(_extension));
}

MString GServer::imageUrl(GSession& _session, int _page, int _image_id) {
  // A tile's picture on every grid: made without a format string.
  std::string url;
  url.reserve(80);
  url += "/?session=";
  GHtml::appendUrlEncoded(url, _session.id.getValue());
  url += "&page=";
  url += std::to_string(_page);
  url += "&Image.id=";
  url += std::to_string(_image_id);
  return MString(url.data(), (int)url.size());
}

MString GServer::getImageWindowUrl(GSession& _session, int _image_id) {
  return imageUrl(_session, GIds::PAGE_IMAGE_WINDOW, _image_id);
}

MString GServer::getPreview1Url(GSession& _session, int _image_id) {
  return imageUrl(_session, GIds::PAGE_PREVIEW1, _image_id);
}

MString GServer::getPreview2Url(GSession& _session, int _image_id) {
  return imageUrl(_session, GIds::PAGE_PREVIEW2, _image_id);
}

void GServer::start() try {
  server.start();
  MRunable::start();
  catchUp.start(std::move(lackingLargeFiles), preview2Quality.getValue());
  lackingLargeFiles.clear();
} M_RETHROW("void GServer::start()")

void GServer::stop() try {
  server.stop();
  stopRequested = true;
  running = false;
} M_RETHROW("void GServer::stop()")

void GServer::init() {}

void GServer::run() try {
  running = true;
  // Short steps keep the end of the process within about a second of a stop.
  while (running && !stopRequested) sleepFor(0, 100);
} M_RETHROW("void GServer::run()")

void GServer::done() { finished = true; }

void GServer::adminThread() { servlet.getOperations().flushLogs(); }

int GServer::nextRequestId() {
  // Wraps like the signed 32-bit counter it is, without undefined overflow.
  requestCounter = (int)((uint)requestCounter + 1u);
  return requestCounter;
}

GServer& GServer::instance() {
  static GServer instance;
  return instance;
}
