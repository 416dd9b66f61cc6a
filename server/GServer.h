#ifndef VISTREL_GSERVER_H
#define VISTREL_GSERVER_H

#include "lib/core/MInt32.h"
#include "lib/core/MString.h"
#include "lib/platform/MRunable.h"

// The one server object of the process. It owns everything long-lived and is reached
// directly by the other parts through `instance()`.
class GServer : public MRunable {
 public:
  GServer();
  ~GServer() override;

  void configure(const char* _dir);

  void start() override;
  void stop() override;
  void init() override;
  void run() override;
  void done() override;

  // A periodic hook of the waiting loop; nothing to do yet.
  void adminThread();
  // Raises the request counter and returns the new value; the first call returns 1.
  int nextRequestId();

  const MString& getDirectory() const { return directory; }
  // The process-wide server object; main constructs it before it looks at the command line.
  static GServer& instance();

  int getPort() const { return port.getValue(); }
  const MString& getServerTitle() const { return serverTitle; }

 private:
  MInt32 port;
  MString directory;
  MInt32 sessionTimeout;
  MString defaultLanguage;
  MString serverTitle;
  MInt32 originalMaxSize;
  MInt32 preview1Quality;
  MInt32 preview2Quality;
  int requestCounter;
  // Set by stop, never cleared: a stop that arrives before the thread has started running
  // must still end it.
  std::atomic<bool> stopRequested;
};


#endif
