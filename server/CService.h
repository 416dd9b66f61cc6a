#ifndef VISTREL_CSERVICE_H
#define VISTREL_CSERVICE_H

#include "lib/platform/MServiceControl.h"

// The service unit: registers and removes the service, connects a running process to the
// service manager, reports the service's state and passes its controls (stop, pause,
// continue) to the application through a table of callbacks that main fills. It knows
// nothing of the web server.

// The callback table, in this order.
struct ServiceCallbacks {
  int (*serviceInit)();      // 0: started; otherwise the exit code of an at once stopped service
  int (*serviceRun)();       // the service body; returns when the service has finished
  int (*serviceStop)();      // 0: the stop was accepted
  int (*servicePause)();     // 0: paused
  int (*serviceContinue)();  // 0: running again
  void (*serviceError)(int _code, const char* _context, const char* _message);
};

// The service status record as it is reported.
struct ServiceStatus {
  unsigned int serviceType;
  unsigned int currentState;
  unsigned int controlsAccepted;
  unsigned int win32ExitCode;
  unsigned int serviceSpecificExitCode;
  unsigned int checkPoint;
  unsigned int waitHint;
};

enum {
  SERVICE_STOPPED = 1,
  SERVICE_START_PENDING = 2,
  SERVICE_RUNNING = 4,
  SERVICE_PAUSED = 7,
  SERVICE_ACCEPT_STOP = 1,
  SERVICE_CONTROL_STOP = 1,
  SERVICE_CONTROL_PAUSE = 2,
  SERVICE_CONTROL_CONTINUE = 3,
  SERVICE_CONTROL_INTERROGATE = 4
};

extern ServiceCallbacks serviceCallbacks;
extern ServiceStatus serviceStatus;

// Registers the service that runs _commandLine with the access of _access (the account,
// the paths it may write, a low port). 0 on success, -1 when the service manager cannot be
// opened, -2 when creation failed.
int service_create(const char* _name, const char* _commandLine,
                   const MServiceControl::Access& _access);
// 0 on success, -1 manager not opened, -2 no such service, -3 deletion failed.
int service_delete(const char* _name);
// Runs until the service has ended: 0, or -1 when the process was not started by the
// service manager (or the service body ended by a failure).
int service_start(const char* _name);
// The service's main function and the control handler.
void serviceStart(int _argc, char** _argv);
void serviceCtrlHandler(unsigned int _control);

#endif
