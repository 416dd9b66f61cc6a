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

// The root directory is the part of the command line before "/bin/vistrel "; a unit line
// cannot carry it literally when it holds blanks, quotes, backslashes or control characters.
bool rootFromCommandLine(const std::string& _commandLine, std::string& _root) {
  size_t at = _commandLine.find("/bin/vistrel ");
  if (at == std::string::npos || at == 0) return false;
  _root = _commandLine.substr(0, at);
  for (unsigned char c : _root) {
    if (c <= ' ' || c == '"' || c == '\'' || c == '\\' || c == 127) return false;
  }
  return true;
}
}  // namespace

bool MServiceControl::createService(const char* _name, const char* _commandLine) {
  std::string root;
  if (!rootFromCommandLine(_commandLine, root)) return false;
  std::string unit =
      "[Unit]\n"
      "Description=" + std::string(_name) + " image library server\n"
      "After=network.target\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "ExecStart=" + escapeSpecifiers(_commandLine) + "\n"
      "WorkingDirectory=" + escapeSpecifiers(root) + "\n"
      "Restart=on-failure\n"
      "RestartSec=2\n"
      "TimeoutStopSec=10\n"
      "# A network daemon that writes only under its root directory.\n"
      "NoNewPrivileges=yes\n"
      "ProtectSystem=strict\n"
      "ReadWritePaths=" + escapeSpecifiers(root) + "\n"
      "PrivateTmp=yes\n"
      "PrivateDevices=yes\n"
      "ProtectKernelTunables=yes\n"
      "ProtectKernelModules=yes\n"
      "ProtectKernelLogs=yes\n"
      "ProtectControlGroups=yes\n"
      "ProtectClock=yes\n"
      "ProtectHostname=yes\n"
      "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX\n"
      "RestrictNamespaces=yes\n"
      "RestrictRealtime=yes\n"
      "RestrictSUIDSGID=yes\n"
      "LockPersonality=yes\n"
      "MemoryDenyWriteExecute=yes\n"
      "SystemCallArchitectures=native\n"
      "CapabilityBoundingSet=CAP_NET_BIND_SERVICE CAP_DAC_OVERRIDE CAP_CHOWN CAP_FOWNER\n"
      "UMask=0027\n";
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
