#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "server/CService.h"
#include "tests/support/ProcessRunner.h"

namespace {

const std::string kBinary = VISTREL_BINARY;

std::string makeTempDir() {
  char dir[] = "/tmp/vistrel-service-XXXXXX";
  return mkdtemp(dir) ? dir : "";
}

std::string readFile(const std::string& _path) {
  std::ifstream in(_path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& _path) : path(_path) {
    fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    bind(fd, (sockaddr*)&a, sizeof a);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~NotifySocket() {
    close(fd);
    unlink(path.c_str());
  }
  // The next message, or "" after the time-out.
  std::string receive() {
    char buffer[512];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, n) : "";
  }
  const std::string path;

 private:
  int fd;
};

struct Outcome {
  int code;
  std::string out, err;
};

Outcome runVistrel(const std::vector<std::string>& _args, const std::vector<std::string>& _env) {
  Outcome o;
  std::vector<std::string> args = {kBinary};
  args.insert(args.end(), _args.begin(), _args.end());
  o.code = ProcessRunner::run(args, &o.out, &o.err, 10, "", _env);
  return o;
}

}  // namespace

TEST(ServiceUnit, InstallWritesAManualUnitAndUninstallRemovesIt) {
  std::string units = makeTempDir();
  std::vector<std::string> env = {"VISTREL_UNIT_DIR=" + units};
  std::string unit = units + "/Vistrel.service";

  Outcome first = runVistrel({"/srv/vistrel", "-INSTALL"}, env);
  EXPECT_EQ(0, first.code);
  EXPECT_EQ("Service (Vistrel) installed!\n", first.err);
  std::string text = readFile(unit);
  EXPECT_NE(std::string::npos,
            text.find("\nExecStart=/srv/vistrel/bin/vistrel /srv/vistrel -service\n"));
  for (const char* line : {"Type=notify\n", "Restart=on-failure\n", "ReadWritePaths=/srv/vistrel\n",
                           "ProtectSystem=strict\n", "NoNewPrivileges=yes\n"}) {
    EXPECT_NE(std::string::npos, text.find(line)) << line;
  }
  EXPECT_EQ(std::string::npos, text.find("[Install]"));  // started by hand, never at boot

  Outcome second = runVistrel({"/srv/vistrel", "-install"}, env);
  EXPECT_EQ(0, second.code);
  EXPECT_EQ("CService: service_create(): Service creation failed!\n"
            "Service (Vistrel) installation failed!\n",
            second.err);

  Outcome removed = runVistrel({"/srv/vistrel", "-Uninstall"}, env);
  EXPECT_EQ(0, removed.code);
  EXPECT_EQ("Service (Vistrel) uninstalled!\n", removed.err);
  EXPECT_NE(0, access(unit.c_str(), F_OK));

  Outcome again = runVistrel({"/srv/vistrel", "-uninstall"}, env);
  EXPECT_EQ(0, again.code);
  EXPECT_EQ("CService: service_delete(): Service not found!\n"
            "Service (Vistrel) uninstallation failed!\n",
            again.err);
  rmdir(units.c_str());
}

TEST(ServiceUnit, ResultCodesOfTheUnitFunctions) {
  std::string units = makeTempDir();
  setenv("VISTREL_UNIT_DIR", units.c_str(), 1);
  std::vector<std::string> errors;
  static std::vector<std::string>* sink;
  sink = &errors;
  serviceCallbacks.serviceError = [](int, const char* _context, const char* _message) {
    sink->push_back(std::string(_context) + ": " + _message);
  };
  EXPECT_EQ(0, service_create("Probe", "/r/bin/vistrel /r -service"));
  EXPECT_EQ(-2, service_create("Probe", "/r/bin/vistrel /r -service"));
  // A root the unit cannot carry literally is refused rather than written wrongly.
  EXPECT_EQ(-2, service_create("Spaced", "/my root/bin/vistrel /my root -service"));
  EXPECT_EQ(0, service_delete("Probe"));
  EXPECT_EQ(-2, service_delete("Probe"));
  setenv("VISTREL_UNIT_DIR", (units + "/missing").c_str(), 1);
  EXPECT_EQ(-1, service_create("Probe", "/r/bin/vistrel /r -service"));
  EXPECT_EQ(-1, service_delete("Probe"));
  unsetenv("VISTREL_UNIT_DIR");
  EXPECT_EQ((std::vector<std::string>{
                "CService: service_create(): Service creation failed!",
                "CService: service_create(): Service creation failed!",
                "CService: service_delete(): Service not found!",
                "CService: service_create(): Cannot open the connection to Window Service Manager!",
                "CService: service_delete(): Cannot open the connection to Window Service Manager!"}),
            errors);
  serviceCallbacks = ServiceCallbacks{};
  rmdir(units.c_str());
}

TEST(ServiceUnit, ServiceOptionOutsideSystemdFails) {
  Outcome o = runVistrel({"/tmp", "-service"}, {"NOTIFY_SOCKET"});
  EXPECT_EQ(255, o.code);
  EXPECT_EQ("CService: service_start(): Cannot Start Service CtrlDispatcher!\n", o.err);
  EXPECT_EQ("", o.out);
}

TEST(ServiceUnit, ControlHandlerTable) {
  std::string dir = makeTempDir();
  NotifySocket notify(dir + "/notify");
  setenv("NOTIFY_SOCKET", notify.path.c_str(), 1);
  static std::string calls;
  calls.clear();
  static int stopResult;
  serviceCallbacks = ServiceCallbacks{
      [] { return 0; },
      [] { return 0; },
      [] { calls += "stop;"; return stopResult; },
      [] { calls += "pause;"; return 0; },
      [] { calls += "continue;"; return 0; },
      [](int, const char* _context, const char* _message) {
        calls += std::string(_context) + ": " + _message + ";";
      }};
  serviceStatus.currentState = SERVICE_RUNNING;

  struct Case {
    unsigned int control;
    int stopResult;
    unsigned int state;
    std::string calls;
    std::string message;  // what systemd is told, "" for nothing
  };
  const std::vector<Case> cases = {
      {SERVICE_CONTROL_PAUSE, 0, SERVICE_PAUSED, "pause;", "STATUS=Paused"},
      {SERVICE_CONTROL_CONTINUE, 0, SERVICE_RUNNING, "continue;", "READY=1\nSTATUS=Running"},
      {SERVICE_CONTROL_INTERROGATE, 0, SERVICE_RUNNING, "", "READY=1\nSTATUS=Running"},
      {99, 0, SERVICE_RUNNING, "CService: serviceCtrlHandler(): Unrecognized opcode!;",
       "READY=1\nSTATUS=Running"},
      {SERVICE_CONTROL_STOP, 1, SERVICE_RUNNING, "stop;", ""},
      {SERVICE_CONTROL_STOP, 0, SERVICE_STOPPED, "stop;", "STOPPING=1\nSTATUS=Stopped"},
  };
  for (const Case& c : cases) {
    calls.clear();
    stopResult = c.stopResult;
    serviceCtrlHandler(c.control);
    EXPECT_EQ(c.state, serviceStatus.currentState) << c.control;
    EXPECT_EQ(c.calls, calls) << c.control;
    if (!c.message.empty()) {
      EXPECT_EQ(c.message, notify.receive()) << c.control;
    }
  }

  // Without the manager's socket the report fails and says so.
  unsetenv("NOTIFY_SOCKET");
  calls.clear();
  serviceCtrlHandler(SERVICE_CONTROL_INTERROGATE);
  EXPECT_EQ("CService: serviceCtrlHandler(): SetServiceStatus error!;", calls);
  serviceCallbacks = ServiceCallbacks{};
  rmdir(dir.c_str());
}

TEST(ServiceUnit, RunsUnderANotifySocketAndStopsOnTermination) {
  std::string dir = makeTempDir();
  NotifySocket notify(dir + "/notify");
  ProcessRunner p({kBinary, dir, "-service"}, "", {"NOTIFY_SOCKET=" + notify.path});
  EXPECT_EQ("READY=1\nSTATUS=Running", notify.receive());
  p.signal(SIGTERM);
  EXPECT_EQ("STOPPING=1\nSTATUS=Stopped", notify.receive());
  ASSERT_TRUE(p.wait(3));
  EXPECT_EQ(0, p.exitCode());
  rmdir(dir.c_str());
}
