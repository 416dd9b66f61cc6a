#include "server/CService.h"

#include <cstdio>
#include <cstdlib>

#include "lib/core/MException.h"
#include "lib/platform/MServiceControl.h"

ServiceCallbacks serviceCallbacks = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
ServiceStatus serviceStatus;

namespace {

void reportError(const char* _context, const char* _message) {
  if (serviceCallbacks.serviceError) serviceCallbacks.serviceError(0, _context, _message);
}

// Tells systemd the state of the status record: running is READY, stopped is STOPPING.
bool setServiceStatus() {
  switch (serviceStatus.currentState) {
    case SERVICE_RUNNING:
      return MServiceControl::notify("READY=1\nSTATUS=Running");
    case SERVICE_STOPPED:
      return MServiceControl::notify("STOPPING=1\nSTATUS=Stopped");
    case SERVICE_PAUSED:
      return MServiceControl::notify("STATUS=Paused");
    default:
      return MServiceControl::notify("STATUS=Starting");
  }
}

void reportStatus(const char* _context) {
  if (!setServiceStatus()) reportError(_context, "SetServiceStatus error!");
}

void setState(unsigned int _state) {
  serviceStatus.currentState = _state;
  serviceStatus.checkPoint = 0;
  serviceStatus.waitHint = 0;
}

// The service thread: a failure of the body is printed as a chain, like in console mode.
void serviceMain(const char* _name, bool& _failed) {
  try {
    char* argv[] = {(char*)_name, nullptr};
    serviceStart(1, argv);
  } catch (const MException& _e) {
    MException e(_e);
    e.print(stdout, 0);
    fflush(stdout);
    _failed = true;
  }
}

}  // namespace

int service_create(const char* _name, const char* _commandLine,
                   const MServiceControl::Access& _access) {
  if (!MServiceControl::openManager()) {
    reportError("CService: service_create()", "Cannot open the connection to Window Service Manager!");
    return -1;
  }
  if (!MServiceControl::createService(_name, _commandLine, _access)) {
    reportError("CService: service_create()", "Service creation failed!");
    return -2;
  }
  return 0;
}

int service_delete(const char* _name) {
  if (!MServiceControl::openManager()) {
    reportError("CService: service_delete()", "Cannot open the connection to Window Service Manager!");
    return -1;
  }
  if (!MServiceControl::serviceExists(_name)) {
    reportError("CService: service_delete()", "Service not found!");
    return -2;
  }
  if (!MServiceControl::deleteService(_name)) {
    reportError("CService: service_delete()", "Service deletion failed!");
    return -3;
  }
  return 0;
}

int service_start(const char* _name) {
  bool failed = false;
  if (!MServiceControl::runDispatcher(_name, serviceMain, serviceCtrlHandler, failed)) {
    reportError("CService: service_start()", "Cannot Start Service CtrlDispatcher!");
    return -1;
  }
  return failed ? -1 : 0;
}

void serviceStart(int _argc, char** _argv) {
  serviceStatus.serviceType = 0x30;
  serviceStatus.currentState = SERVICE_START_PENDING;
  serviceStatus.controlsAccepted = SERVICE_ACCEPT_STOP;
  serviceStatus.win32ExitCode = 0;
  serviceStatus.serviceSpecificExitCode = 0;
  serviceStatus.checkPoint = 0;
  serviceStatus.waitHint = 0;
  // The control handler is the dispatcher's: registering it cannot fail here.
  int r = serviceCallbacks.serviceInit ? serviceCallbacks.serviceInit() : 0;
  if (r != 0) {
    setState(SERVICE_STOPPED);
    serviceStatus.win32ExitCode = (unsigned int)r;
    serviceStatus.serviceSpecificExitCode = (unsigned int)r;
    setServiceStatus();
    return;
  }
  setState(SERVICE_RUNNING);
  reportStatus("CService: serviceStart()");
  if (serviceCallbacks.serviceRun) serviceCallbacks.serviceRun();
}

void serviceCtrlHandler(unsigned int _control) {
  const char* context = "CService: serviceCtrlHandler()";
  switch (_control) {
    case SERVICE_CONTROL_STOP:
      if (serviceCallbacks.serviceStop && serviceCallbacks.serviceStop() != 0) return;
      serviceStatus.win32ExitCode = 0;
      setState(SERVICE_STOPPED);
      reportStatus(context);
      return;
    case SERVICE_CONTROL_PAUSE:
      if (serviceCallbacks.servicePause && serviceCallbacks.servicePause() == 0)
        serviceStatus.currentState = SERVICE_PAUSED;
      break;
    case SERVICE_CONTROL_CONTINUE:
      if (serviceCallbacks.serviceContinue && serviceCallbacks.serviceContinue() == 0)
        serviceStatus.currentState = SERVICE_RUNNING;
      break;
    case SERVICE_CONTROL_INTERROGATE:
      break;
    default:
      reportError(context, "Unrecognized opcode!");
      break;
  }
  reportStatus(context);
}
