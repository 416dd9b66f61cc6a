#include <malloc.h>
#include <pwd.h>
#include <strings.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/core/MException.h"
#include "lib/platform/MClock.h"
#include "server/CService.h"
#include "server/GServer.h"

namespace {

MString rootDirectory;
bool dumpMode = false;
// Set by an interrupt or termination signal in console mode; the waiting loop then stops
// the server, so the process ends cleanly.
volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

// Set by SIGHUP: the logs are opened again (after logrotate moved them).
volatile sig_atomic_t reopenRequested = 0;

void onHangUp(int) { reopenRequested = 1; }

void printBanner() {
  const char* stars = "************************************************************";
  printf("\n%s\n", stars);
  printf("                     Vistrel 1.0\n");
  printf("%s\n\n", stars);
  printf(" - Directory          : %s\n", rootDirectory.getValue());
  printf(" - Server port        : %d\n", GServer::instance().getPort());
  printf("\n%s\n", stars);
  printf("%s\n", stars);
  fflush(stdout);
}

int serviceReturnZero() { return 0; }

int serviceStopServer() {
  GServer::instance().stop();
  return 0;
}

void serviceReportError(int, const char* _context, const char* _message) {
  fprintf(stderr, "%s: %s\n", _context, _message);
}

// What the service's unit lets the server do: run as the system user VISTREL_SERVICE_USER
// (vistrel when unset; scripts/make-root.sh --service makes it), write the directories the
// server writes, and bind the configured port, which takes a capability below 1024. Warns
// when the user does not exist yet or the configuration cannot be read (the unit is then
// made for a port from 1024 on).
MServiceControl::Access serviceAccess() {
  MServiceControl::Access access;
  const char* user = getenv("VISTREL_SERVICE_USER");
  access.user = user != nullptr && *user != 0 ? user : "vistrel";
  for (const char* directory : GServer::writtenDirectories)
    access.writable.push_back(std::string(rootDirectory.getValue()) + "/" + directory);
  if (getpwnam(access.user.c_str()) == nullptr) {
    fprintf(stderr, "The user (%s) does not exist yet: scripts/make-root.sh <root> <build> --service makes it!\n",
            access.user.c_str());
  }
  GServer& s = GServer::instance();
  try {
    s.setDirectory(rootDirectory.getValue());
    s.loadConfiguration();
    s.takeConfigurationValues();
    access.lowPort = s.getPort() > 0 && s.getPort() < 1024;
  } catch (const MException&) {
    fprintf(stderr, "The configuration of (%s) cannot be read: the unit is made for a port from 1024 on!\n",
            rootDirectory.getValue());
  }
  return access;
}

}  // namespace

int serviceStartFunction() try {
  GServer& s = GServer::instance();
  if (dumpMode) {
    // Only the database is opened: no configuration is read and no port is opened.
    s.dumpDatabase(rootDirectory.getValue(), "vistrel_db.html");
    return 0;
  }
  s.configure(rootDirectory.getValue());
  printBanner();
  s.start();
  // adminThread once a second; the stop flag of the signals is looked at more often, so
  // that an interrupt ends the process promptly.
  for (int tick = 0; !s.isFinished(); tick = (tick + 1) % 10) {
    if (stopRequested) {
      stopRequested = 0;
      s.stop();
    }
    if (reopenRequested) {
      reopenRequested = 0;
      s.getServlet().getOperations().reopenLogs();
    }
    if (tick == 0) s.adminThread();
    sleepFor(0, 100);
  }
  return 0;
} M_RETHROW("int serviceStartFunction()")

int main(int argc, char** argv) {
  // Each connection's two ring buffers (40000 bytes) and every large page body come from
  // their own mappings, which go back to the system when freed: after a flood of
  // connections the process returns to its size instead of keeping a heap grown for it.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024);
  GServer::instance();  // the one server object exists before the command line is looked at
  signal(SIGHUP, onHangUp);
  if (argc != 2 && argc != 3) {
    fprintf(stderr, "USAGE: vistrel <directory> [-install|-uninstall]\n");
    return -1;
  }
  try {
    rootDirectory = argv[1];
    if (argc == 3) {
      const char* option = argv[2];
      if (strcasecmp(option, "-dump") == 0) {
        dumpMode = true;
      } else if (strcasecmp(option, "-install") == 0) {
        serviceCallbacks.serviceError = serviceReportError;
        MString commandLine = MString::format("%s/bin/vistrel %s -service", argv[1], argv[1]);
        int r = service_create("Vistrel", commandLine.getValue(), serviceAccess());
        fprintf(stderr, r == 0 ? "Service (%s) installed!\n" : "Service (%s) installation failed!\n",
                "Vistrel");
        return 0;
      } else if (strcasecmp(option, "-uninstall") == 0) {
        serviceCallbacks.serviceError = serviceReportError;
        int r = service_delete("Vistrel");
        fprintf(stderr,
                r == 0 ? "Service (%s) uninstalled!\n" : "Service (%s) uninstallation failed!\n",
                "Vistrel");
        return 0;
      } else if (strcasecmp(option, "-service") == 0) {
        serviceCallbacks = {serviceReturnZero, serviceStartFunction, serviceStopServer,
                            serviceReturnZero, serviceReturnZero, serviceReportError};
        return service_start("Vistrel");
      }
    }
    signal(SIGINT, onStopSignal);
    signal(SIGTERM, onStopSignal);
    return serviceStartFunction();
  } catch (const MException& _e) {
    MException e(_e);
    e.print(stdout, 0);
    fflush(stdout);
    return -1;
  }
}
