#ifndef VISTREL_GAPPLICATION_H
#define VISTREL_GAPPLICATION_H

#include <map>
#include <string>

#include "lib/core/MString.h"
#include "views/GServerStatus.h"

class GDatabase;
class GSession;
class MList;

// What the one running server offers to the pages and to the request dispatch: the root
// directory and title, the configuration values, the translations, the MIME list, the request
// counter and the database. The server object implements it; the pages and the dispatch sit
// below the server and reach it only through this interface, which also lets them run in
// tests without a whole server.
//
// Constructing an implementation makes it the current one; destroying it forgets it.
class GApplication {
 public:
  GApplication();
  virtual ~GApplication();
  GApplication(const GApplication&) = delete;
  GApplication& operator=(const GApplication&) = delete;

  // The current implementation, or null when there is none.
  static GApplication* current();
  // The current implementation; fails when there is none.
  static GApplication& get();

  virtual const MString& getDirectory() = 0;
  virtual const MString& getServerTitle() = 0;
  virtual const MString& getDefaultLanguage() = 0;
  // Idle seconds after which a session ends.
  virtual int getSessionTimeout() = 0;
  // Idle minutes after which an administrator's session (and one opened as another user)
  // ends.
  virtual int getAdminTimeout() { return 480; }
  // Most sessions at once besides the shared guest session.
  virtual int getMaxSessions() { return 10000; }
  // Most sessions of the guest account (the login page's guest button) at once.
  virtual int getMaxGuestAccountSessions() { return 200; }
  // The address of a reverse proxy in front of the server, whose X-Forwarded-For names the
  // browser's address; empty when there is none.
  virtual MString getProxyAddress() { return MString(); }
  // The secret the proxy sends along (see webapp/GClientAddress); empty when there is none.
  virtual MString getProxySecret() { return MString(); }
  // Who may read the metrics (metrics.allow) and where the logs go (log.access); see
  // webapp/GOperations. Empty when not configured.
  virtual MString getMetricsAllow() { return MString(); }
  virtual MString getAccessLogTarget() { return MString(); }
  // Client connections by stage (see MServer::getConnectionStages); empty when unknown.
  virtual std::map<std::string, int> getConnectionStages() { return {}; }
  // The server's figures of the moment, for the status page; empty when unknown.
  virtual GServerStatus getServerStatus() { return GServerStatus(); }
  virtual int getOriginalMaxSize() = 0;
  // Links for people without an account: the days a new link lasts unless its maker
  // chooses otherwise (0: it never ends), and the pictures a folder link takes from its
  // visitors in a day.
  virtual int getLinkDefaultDays() { return 30; }
  virtual int getLinkContributionsPerDay() { return 20; }
  virtual int getPreview1Quality() = 0;
  virtual int getPreview2Quality() = 0;
  // The configured languages: code to display name, in configuration order.
  virtual MList& getLanguages() = 0;
  virtual GDatabase& getDatabase() = 0;

  // Raises the request counter and returns the new value.
  virtual int nextRequestId() = 0;
  // The text of _key in the session's language; never null, at worst _key itself.
  virtual const char* translate(GSession& _session, const char* _key) = 0;
  // The MIME type stored for an extension (without the dot), or null.
  virtual MString* getMimeType(const char* _extension) = 0;
  // The language whose per-language web files the session is shown: its own language when
  // that is a configured one, otherwise the language whose texts it is shown instead (the
  // first in code order); empty when no language is configured. Never a text that the
  // browser chose freely, so it is safe inside a file path.
  virtual const char* getPageLanguage(GSession& _session) = 0;

  // "/?session=%s&page=%d&Image.id=%d" for the image window (GIds::PAGE_IMAGE_WINDOW) and
  // the small and large preview files (GIds::PAGE_PREVIEW1, GIds::PAGE_PREVIEW2).
  virtual MString getImageWindowUrl(GSession& _session, int _image_id) = 0;
  virtual MString getPreview1Url(GSession& _session, int _image_id) = 0;
  virtual MString getPreview2Url(GSession& _session, int _image_id) = 0;
  // The same for any page of an image (GIds::PAGE_PREVIEW2X, GIds::PAGE_SCREEN).
  virtual MString getImageFileUrl(GSession& _session, int _page, int _image_id) = 0;

 private:
  static GApplication* instance;
};

#endif
