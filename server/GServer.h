#ifndef VISTREL_GSERVER_H
#define VISTREL_GSERVER_H

#include <atomic>
#include <vector>

#include "db/GDatabase.h"
#include "lib/core/MArray.h"
#include "lib/core/MInt32.h"
#include "lib/core/MList.h"
#include "lib/core/MString.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MServer.h"
#include "lib/platform/MRunable.h"
#include "views/GApplication.h"
#include "webapp/GPreviewCatchUp.h"
#include "webapp/GServlet.h"

// The one server object of the process. It owns everything long-lived: the configuration
// values and tables, the database, the server loop with its HTTP processor, and the servlet
// that handles every request. The pages and the dispatch reach it as their GApplication.
//
// Configuration lives in four kinds of files under "<root>/config", each in the bracket line
// format ("[key][value]", '#' comments): config.cfg, languages.cfg (language code to display
// name), one translations.<code> per language, and mime.cfg (extension to MIME type). They
// are read once by configure and kept for the life of the process.
class GServer : public MRunable, public GApplication {
 public:
  GServer();
  ~GServer() override;

  // Loads the configuration files, takes the configuration values, prepares the servlet,
  // binds and listens on the port, and opens or creates the database.
  void configure(const char* _dir);
  // The root directory the loaders read from; configure sets it too.
  void setDirectory(const char* _dir) { directory = _dir; }
  void loadConfiguration();
  // Loads the languages and the translation table of each.
  void loadLanguages();
  void loadTranslations(const char* _language, MArray& _translations);
  void loadMimeList();
  // The values of config.cfg into their fields: port, addresses, default language, the
  // session time-outs and limits, upload limit, the two preview qualities, the spool budget
  // and the free-space reserve of request bodies. An integer key that is absent keeps the
  // field's value, an empty one gives 0.
  void takeConfigurationValues();

  // The database of _dir written as one HTML document to _filename; nothing else is read.
  void dumpDatabase(const char* _dir, const char* _filename);

  // The server loop's thread, then the server object's own thread.
  void start() override;
  // Ends the server loop and the server object's thread; does not wait.
  void stop() override;
  void init() override;
  void run() override;
  void done() override;

  // A periodic hook of the waiting loop, about once a second: writes the logs' lines.
  void adminThread();

  // The process-wide server object; main constructs it before it looks at the command line.
  static GServer& instance();

  // The directories under the root that the server writes, and nothing else: the record
  // files, the image store (an upload's temporary files among them) and the files of large
  // request bodies, and the logs. The service's unit keeps everything else read-only.
  static const char* const writtenDirectories[4];

  int getPort() const { return port.getValue(); }
  // The port the server loop is bound to (the free port chosen for a configured 0).
  int getBoundPort() { return server.getPort(); }
  MArray& getConfiguration() { return configuration; }
  MArray& getTranslations() { return translations; }
  MArray& getMimeTypes() { return mimeTypes; }
  GServlet& getServlet() { return servlet; }

  // GApplication.
  const MString& getDirectory() override { return directory; }
  const MString& getServerTitle() override { return serverTitle; }
  const MString& getDefaultLanguage() override { return defaultLanguage; }
  int getSessionTimeout() override { return sessionTimeout.getValue(); }
  int getAdminTimeout() override { return adminTimeout.getValue(); }
  int getMaxSessions() override { return maxSessions.getValue(); }
  int getMaxGuestAccountSessions() override { return maxGuestAccountSessions.getValue(); }
  MString getProxyAddress() override { return proxyAddress; }
  MString getProxySecret() override { return proxySecret; }
  MString getMetricsAllow() override { return metricsAllow; }
  MString getAccessLogTarget() override { return accessLogTarget; }
  std::map<std::string, int> getConnectionStages() override { return server.getConnectionStages(); }
  GServerStatus getServerStatus() override { return servlet.serverStatus(); }
  int getOriginalMaxSize() override { return originalMaxSize.getValue(); }
  int getPreview1Quality() override { return preview1Quality.getValue(); }
  int getPreview2Quality() override { return preview2Quality.getValue(); }
  int getLinkDefaultDays() override { return linkDefaultDays.getValue(); }
  int getLinkContributionsPerDay() override { return linkContributionsPerDay.getValue(); }
  MList& getLanguages() override { return languages; }
  GDatabase& getDatabase() override { return database; }
  // Raises the request counter and returns the new value; the first call returns 1.
  int nextRequestId() override;
  // The text of _key in the session's language. A language without a table is shown the
  // table of the first language in code order; a key the table lacks is shown as itself.
  const char* translate(GSession& _session, const char* _key) override;
  // Exact, case-sensitive look-up of an extension without the dot.
  MString* getMimeType(const char* _extension) override;
  const char* getPageLanguage(GSession& _session) override;
  MString getImageWindowUrl(GSession& _session, int _image_id) override;
  MString getPreview1Url(GSession& _session, int _image_id) override;
  MString getPreview2Url(GSession& _session, int _image_id) override;
  MString getImageFileUrl(GSession& _session, int _page, int _image_id) override {
    return imageUrl(_session, _page, _image_id);
  }

 private:
  // The table shown to the session: its own language's, or the first in code order.
  MArray* translationTable(GSession& _session, MString* _code);
  // An integer configuration value: absent keeps _field, empty gives 0, a decimal number
  // (with an optional minus sign) gives its value; anything else fails.
  void configurationInt(const char* _key, MInt32& _field);
  MString imageUrl(GSession& _session, int _page, int _image_id);

  MInt32 port;
  // The local address to listen on; empty: every interface.
  MString bindAddress;
  // A reverse proxy whose X-Forwarded-For is believed; empty: none.
  MString proxyAddress;
  // What the proxy sends in X-Vistrel-Proxy to prove it is the proxy; empty: none.
  MString proxySecret;
  MString metricsAllow;
  MString accessLogTarget;
  MString directory;
  MInt32 sessionTimeout;
  MInt32 adminTimeout;
  MInt32 maxSessions;
  MInt32 maxGuestAccountSessions;
  MString defaultLanguage;
  MString serverTitle;
  MInt32 originalMaxSize;
  MInt32 preview1Quality;
  MInt32 preview2Quality;
  // Bytes of request bodies in files at once, and bytes the body directory keeps free
  // (MBodySpool).
  MInt32 spoolBudget;
  MInt32 spoolReserve;
  MInt32 linkDefaultDays;
  MInt32 linkContributionsPerDay;
  MArray configuration;
  MList languages;
  GDatabase database;
  MServer server;
  MHttpProcessor httpProcessor;
  GServlet servlet;
  MArray translations;
  MArray mimeTypes;
  int requestCounter;
  // Set by stop, never cleared: a stop that arrives before the thread has started running
  // must still end it.
  std::atomic<bool> stopRequested;
  // The images found at configure that lack the pictures for screens, and their making,
  // begun by start. Last, so that it ends before what it uses.
  std::vector<int> lackingLargeFiles;
  GPreviewCatchUp catchUp;
};

#endif
