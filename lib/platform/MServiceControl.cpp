#include "lib/platform/MServiceControl.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

std::string MServiceControl::unitDirectory() {
  const char* dir = getenv("VISTREL_UNIT_DIR");
  return (dir && *dir) ? dir : "/etc/systemd/system";
}

std::string MServiceControl::unitPath(const char* _name) {
  return unitDirectory() + "/" + _name + ".service";
}

bool MServiceControl::openManager() {
  struct stat st;
  std::string dir = unitDirectory();
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK) == 0;
}

namespace {
// systemd expands "%" specifiers in unit files; a literal percent sign is written twice.
std::string escapeSpecifiers(const std::string& _text) {
  std::string out;
  for (char c : _text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// A path or name goes into a unit line as it is: it cannot hold blanks, quotes, backslashes
// or control characters (the percent sign is escaped).
bool fitsUnitLine(const std::string& _text) {
  if (_text.empty()) return false;
  for (unsigned char c : _text) {
    if (c <= ' ' || c == '"' || c == '\'' || c == '\\' || c == 127) return false;
  }
  return true;
}

// The root directory is the part of the command line before "/bin/vistrel ".
bool rootFromCommandLine(const std::string& _commandLine, std::string& _root) {
  size_t at = _commandLine.find("/bin/vistrel ");
  if (at == std::string::npos || at == 0) return false;
  _root = _commandLine.substr(0, at);
  return fitsUnitLine(_root);
}

bool isUnder(const std::string& _path, const char* _directory) {
  size_t length = strlen(_directory);
  return _path.compare(0, length, _directory) == 0 &&
         (_path.size() == length || _path[length] == '/');
}

// The sandbox every service gets, one unit line each. Beyond it a service may write only
// the paths of its Access, and keeps no capability but CAP_NET_BIND_SERVICE for a low
// port. The system calls are those of an ordinary system service (@system-service),
// without the privileged ones; @resources stays, since a server sets its own open-file
// limit and the priority of its threads.
const char* const SANDBOX[] = {
    "NoNewPrivileges=yes",
    "UMask=0077",
    "ProtectSystem=strict",
    "PrivateTmp=yes",
    "PrivateDevices=yes",
    "DevicePolicy=closed",
    "PrivateMounts=yes",
    "ProtectProc=invisible",
    "ProcSubset=pid",
    "ProtectKernelTunables=yes",
    "ProtectKernelModules=yes",
    "ProtectKernelLogs=yes",
    "ProtectControlGroups=yes",
    "ProtectClock=yes",
    "ProtectHostname=yes",
    "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX",  // AF_UNIX: the notification socket
    "RestrictNamespaces=yes",
    "RestrictRealtime=yes",
    "RestrictSUIDSGID=yes",
    "LockPersonality=yes",
    "MemoryDenyWriteExecute=yes",
    "RemoveIPC=yes",
    "SystemCallArchitectures=native",
    "SystemCallFilter=@system-service",
    "SystemCallFilter=~@privileged",
    "SystemCallErrorNumber=EPERM",
};
}  // namespace

bool MServiceControl::createService(const char* _name, const char* _commandLine,
                                    const Access& _access) {
  std::string root;
  if (!rootFromCommandLine(_commandLine, root) || !fitsUnitLine(_access.user)) return false;
  std::string writable;
  for (const std::string& path : _access.writable) {
    if (!fitsUnitLine(path) || path[0] != '/') return false;
    writable += (writable.empty() ? "" : " ") + escapeSpecifiers(path);
  }
  // Home directories are hidden from the service; a root among them is only kept read-only.
  bool inHome = false;
  for (const char* home : {"/home", "/root", "/run/user"}) inHome = inHome || isUnder(root, home);
  std::string unit =
      "[Unit]\n"
      "Description=" + std::string(_name) + " image library server\n"
      "After=network.target\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "NotifyAccess=main\n"
      "ExecStart=" + escapeSpecifiers(_commandLine) + "\n"
      "WorkingDirectory=" + escapeSpecifiers(root) + "\n"
      "User=" + escapeSpecifiers(_access.user) + "\n"
      "Restart=on-failure\n"
      "RestartSec=2\n"
      "TimeoutStopSec=10\n"
      "# A network daemon that writes only where ReadWritePaths says.\n"
      "ReadWritePaths=" + writable + "\n" +
      (inHome ? "ProtectHome=read-only\n" : "ProtectHome=yes\n");
  for (const char* line : SANDBOX) unit += std::string(line) + "\n";
  if (_access.lowPort) {
    // Binding a port below 1024 takes the capability in the host's user namespace: in a
    // private one (PrivateUsers) it would have no effect.
    unit += "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
            "AmbientCapabilities=CAP_NET_BIND_SERVICE\n";
  } else {
    unit += "PrivateUsers=yes\n"
            "CapabilityBoundingSet=\n";
  }
  // No [Install] section: the service is started by hand, never at boot.
  std::string path = unitPath(_name);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, unit.data(), unit.size()) == (ssize_t)unit.size();
  ok = (fsync(fd) == 0) && ok;
  close(fd);
  if (!ok) unlink(path.c_str());
  return ok;
}

bool MServiceControl::serviceExists(const char* _name) {
  return access(unitPath(_name).c_str(), F_OK) == 0;
}

bool MServiceControl::deleteService(const char* _name) {
  return unlink(unitPath(_name).c_str()) == 0;
}

bool MServiceControl::startedByManager() {
  const char* socketName = getenv("NOTIFY_SOCKET");
  return socketName != nullptr && (socketName[0] == '/' || socketName[0] == '@');
}

bool MServiceControl::notify(const char* _state) {
  const char* socketName = getenv("NOTIFY_SOCKET");
  if (socketName == nullptr) return false;
  size_t length = strlen(socketName);
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (length < 2 || length >= sizeof address.sun_path) return false;
  memcpy(address.sun_path, socketName, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = 0;  // abstract namespace
  socklen_t size = (socklen_t)(offsetof(struct sockaddr_un, sun_path) + length);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t sent = sendto(fd, _state, strlen(_state), MSG_NOSIGNAL, (struct sockaddr*)&address, size);
  close(fd);
  return sent == (ssize_t)strlen(_state);
}

bool MServiceControl::runDispatcher(const char* _name,
                                    void (*_serviceMain)(const char* _name, bool& _failed),
                                    void (*_handler)(unsigned int _control), bool& _serviceFailed) {
  if (!startedByManager()) return false;
  // The stop signals are taken synchronously on this thread only, so the control handler
  // runs here as an ordinary function, never inside a signal handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::atomic<bool> ended(false);
  _serviceFailed = false;
  std::thread service([&] {
    _serviceMain(_name, _serviceFailed);
    ended = true;
  });
  while (!ended) {
    struct timespec wait = {0, 100 * 1000 * 1000};
    int sig = sigtimedwait(&stopSignals, nullptr, &wait);
    if (sig == SIGTERM || sig == SIGINT) _handler(1);
  }
  service.join();
  return true;
}
