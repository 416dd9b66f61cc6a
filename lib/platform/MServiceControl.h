#ifndef VISTREL_MSERVICECONTROL_H
#define VISTREL_MSERVICECONTROL_H

#include <string>
#include <vector>

// The service manager as the service unit sees it, on systemd: units are files in a unit
// directory (/etc/systemd/system, or the one named by VISTREL_UNIT_DIR), a running service
// reports its state over the notification socket that systemd hands it in NOTIFY_SOCKET,
// and a stop request arrives as a termination signal.
class MServiceControl {
 public:
  // The unit directory in use.
  static std::string unitDirectory();
  // False when the unit directory cannot be written (the manager "cannot be opened").
  static bool openManager();
  // What the unit lets a service do beyond reading the system: the account it runs as, the
  // only paths it may write, and whether it listens on a port below 1024.
  struct Access {
    std::string user;
    std::vector<std::string> writable;
    bool lowPort = false;
  };
  // Writes the unit of a service started by hand: run as _access.user in a sandbox (the
  // whole system read-only but _access.writable, no capabilities but CAP_NET_BIND_SERVICE
  // for a low port, a system call allow list). Its working directory is the root, the part
  // of _commandLine before "/bin/". False when the unit exists or cannot be written, and
  // when the root or a writable path cannot be written into a unit line as it is.
  static bool createService(const char* _name, const char* _commandLine, const Access& _access);
  static bool serviceExists(const char* _name);
  static bool deleteService(const char* _name);

  // True when the process was started by systemd as a notifying service.
  static bool startedByManager();
  // Sends one notification ("READY=1", "STOPPING=1", "STATUS=..."); false when it fails.
  static bool notify(const char* _state);

  // The dispatcher: runs _serviceMain(_name) on a thread of its own and, on the calling
  // thread, turns termination and interrupt signals into calls of _handler with the stop
  // control (1) until the service thread has ended. Returns false when the process was not
  // started by systemd; _serviceFailed tells whether the service body ended by a failure.
  static bool runDispatcher(const char* _name, void (*_serviceMain)(const char* _name, bool& _failed),
                            void (*_handler)(unsigned int _control), bool& _serviceFailed);

 private:
  static std::string unitPath(const char* _name);
};

#endif
