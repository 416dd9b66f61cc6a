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
#include "tests/support/TestRoot.h"

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

// The unit's lines, one string each, without the comments.
std::vector<std::string> unitLines(const std::string& _text) {
  std::vector<std::string> lines;
  std::istringstream in(_text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

bool hasLine(const std::vector<std::string>& _lines, const std::string& _line) {
  for (const std::string& line : _lines) {
    if (line == _line) return true;
  }
  return false;
}

// A user that surely exists, so that -install does not warn about it.
const std::string kExistingUser = "VISTREL_SERVICE_USER=root";

}  // namespace

TEST(ServiceUnit, InstallWritesAManualUnitAndUninstallRemovesIt) {
  std::string units = makeTempDir();
  testroot::TestRoot root(9400);
  std::vector<std::string> env = {"VISTREL_UNIT_DIR=" + units, kExistingUser};
  std::string unit = units + "/Vistrel.service";

  Outcome first = runVistrel({root.path, "-INSTALL"}, env);
  EXPECT_EQ(0, first.code);
  EXPECT_EQ("Service (Vistrel) installed!\n", first.err);
  std::vector<std::string> lines = unitLines(readFile(unit));
  const std::string r = root.path;
  for (const std::string& line :
       {"ExecStart=" + r + "/bin/vistrel " + r + " -service", "WorkingDirectory=" + r,
        std::string("Type=notify"), std::string("Restart=on-failure"), std::string("User=root"),
        "ReadWritePaths=" + r + "/database " + r + "/images " + r + "/tmp " + r + "/log",
        std::string("ProtectSystem=strict"), std::string("ProtectHome=yes"),
        std::string("NoNewPrivileges=yes"), std::string("SystemCallFilter=@system-service"),
        std::string("PrivateUsers=yes"), std::string("CapabilityBoundingSet=")}) {
    EXPECT_TRUE(hasLine(lines, line)) << line;
  }
  EXPECT_FALSE(hasLine(lines, "[Install]"));  // started by hand, never at boot

  Outcome second = runVistrel({root.path, "-install"}, env);
  EXPECT_EQ(0, second.code);
  EXPECT_EQ("CService: service_create(): Service creation failed!\n"
            "Service (Vistrel) installation failed!\n",
            second.err);

  Outcome removed = runVistrel({root.path, "-Uninstall"}, env);
  EXPECT_EQ(0, removed.code);
  EXPECT_EQ("Service (Vistrel) uninstalled!\n", removed.err);
  EXPECT_NE(0, access(unit.c_str(), F_OK));

  Outcome again = runVistrel({root.path, "-uninstall"}, env);
  EXPECT_EQ(0, again.code);
  EXPECT_EQ("CService: service_delete(): Service not found!\n"
            "Service (Vistrel) uninstallation failed!\n",
            again.err);
  rmdir(units.c_str());
}

// What varies with the root: the configured port decides the capability (and the private
// user namespace, in which it would be useless), a root among the home directories keeps
// them read-only instead of hidden, and what cannot be known yet is said.
TEST(ServiceUnit, TheUnitFollowsThePortTheRootAndTheUser) {
  const std::string noConfig = "The configuration of (%s) cannot be read: the unit is made for a port from 1024 on!\n";
  struct Case {
    const char* what;
    int port;             // -1: a root without a configuration
    const char* root;     // "" for a fresh laid-out root
    const char* user;
    bool capability;
    const char* protectHome;
    const char* warnings;  // %s: the root
  };
  const Case cases[] = {
      {"port 9400", 9400, "", "root", false, "yes", ""},
      {"port 80", 80, "", "root", true, "yes", ""},
      {"port 1023", 1023, "", "root", true, "yes", ""},
      {"port 1024", 1024, "", "root", false, "yes", ""},
      {"a free port chosen at start", 0, "", "root", false, "yes", ""},
      {"no configuration yet", -1, "/srv/vistrel", "root", false, "yes", noConfig.c_str()},
      {"a root in a home directory", -1, "/home/anna/vistrel", "root", false, "read-only",
       noConfig.c_str()},
      {"a user not made yet", 9400, "", "vistrel-nobody-here", false, "yes",
       "The user (vistrel-nobody-here) does not exist yet: scripts/make-root.sh <root> <build> "
       "--service makes it!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string units = makeTempDir();
    testroot::TestRoot laidOut(c.port);
    std::string root = *c.root ? c.root : laidOut.path;
    Outcome o = runVistrel({root, "-install"},
                           {"VISTREL_UNIT_DIR=" + units, std::string("VISTREL_SERVICE_USER=") + c.user});
    std::string warnings = c.warnings;
    size_t at = warnings.find("%s");
    if (at != std::string::npos) warnings.replace(at, 2, root);
    EXPECT_EQ(warnings + "Service (Vistrel) installed!\n", o.err);
    std::vector<std::string> lines = unitLines(readFile(units + "/Vistrel.service"));
    EXPECT_TRUE(hasLine(lines, std::string("User=") + c.user));
    EXPECT_TRUE(hasLine(lines, std::string("ProtectHome=") + c.protectHome));
    EXPECT_EQ(c.capability, hasLine(lines, "CapabilityBoundingSet=CAP_NET_BIND_SERVICE"));
    EXPECT_EQ(c.capability, hasLine(lines, "AmbientCapabilities=CAP_NET_BIND_SERVICE"));
    EXPECT_EQ(!c.capability, hasLine(lines, "CapabilityBoundingSet="));
    EXPECT_EQ(!c.capability, hasLine(lines, "PrivateUsers=yes"));
    testroot::removeTree(units);
  }
}

// systemd's own measure of the unit's exposure, from 0 (fully confined) to 10, for the unit
// of a high and of a low port: at most 2.5 ("OK").
TEST(ServiceUnit, SystemdRatesTheUnitAtMostTwoAndAHalf) {
  const char* analyze = "/usr/bin/systemd-analyze";
  if (access(analyze, X_OK) != 0) {
    GTEST_SKIP() << "systemd-analyze is not installed (package systemd; scripts/setup.sh installs it)";
  }
  for (int port : {9400, 80}) {
    SCOPED_TRACE("port " + std::to_string(port));
    std::string units = makeTempDir();
    testroot::TestRoot root(port);
    // As installed: for the service's own user (the warning that it is not made yet aside).
    Outcome installed = runVistrel({root.path, "-install"}, {"VISTREL_UNIT_DIR=" + units, "VISTREL_SERVICE_USER"});
    ASSERT_NE(std::string::npos, installed.err.find("Service (Vistrel) installed!\n"));
    std::string out, err;
    int code = ProcessRunner::run({analyze, "security", "--offline=true", units + "/Vistrel.service"},
                                  &out, &err, 60);
    EXPECT_EQ(0, code) << err;
    // Every line of the unit is understood.
    EXPECT_EQ(std::string::npos, err.find("Unknown")) << err;
    EXPECT_EQ(std::string::npos, err.find("Failed to parse")) << err;
    const std::string mark = "Overall exposure level for Vistrel.service: ";
    size_t at = out.find(mark);
    ASSERT_NE(std::string::npos, at) << out;
    double score = std::strtod(out.c_str() + at + mark.size(), nullptr);
    RecordProperty("exposure_port_" + std::to_string(port), std::to_string(score));
    EXPECT_LE(score, 2.5) << out;
    EXPECT_GT(score, 0.0) << out;
    testroot::removeTree(units);
  }
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
  MServiceControl::Access access;
  access.user = "vistrel";
  access.writable = {"/r/database", "/r/images"};
  EXPECT_EQ(0, service_create("Probe", "/r/bin/vistrel /r -service", access));
  EXPECT_EQ(-2, service_create("Probe", "/r/bin/vistrel /r -service", access));
  // What the unit cannot carry literally is refused rather than written wrongly: a root or
  // a user name with a blank, a writable path that is not absolute.
  EXPECT_EQ(-2, service_create("Spaced", "/my root/bin/vistrel /my root -service", access));
  MServiceControl::Access odd = access;
  odd.user = "vis trel";
  EXPECT_EQ(-2, service_create("Spaced", "/r/bin/vistrel /r -service", odd));
  odd = access;
  odd.writable.push_back("database");
  EXPECT_EQ(-2, service_create("Spaced", "/r/bin/vistrel /r -service", odd));
  EXPECT_NE(0, ::access((units + "/Spaced.service").c_str(), F_OK));
  EXPECT_EQ(0, service_delete("Probe"));
  EXPECT_EQ(-2, service_delete("Probe"));
  setenv("VISTREL_UNIT_DIR", (units + "/missing").c_str(), 1);
  EXPECT_EQ(-1, service_create("Probe", "/r/bin/vistrel /r -service", access));
  EXPECT_EQ(-1, service_delete("Probe"));
  unsetenv("VISTREL_UNIT_DIR");
  EXPECT_EQ((std::vector<std::string>{
                "CService: service_create(): Service creation failed!",
                "CService: service_create(): Service creation failed!",
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
  // Removed after the socket in it (declared later, gone sooner).
  testroot::TempDir scratch;
  std::string dir = scratch.path;
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
}

TEST(ServiceUnit, RunsUnderANotifySocketAndStopsOnTermination) {
  // Removed after the socket in it (declared later, gone sooner).
  testroot::TempDir scratch;
  std::string dir = scratch.path;
  testroot::TestRoot root(testroot::freePort());
  NotifySocket notify(dir + "/notify");
  ProcessRunner p({kBinary, root.path, "-service"}, "", {"NOTIFY_SOCKET=" + notify.path});
  EXPECT_EQ("READY=1\nSTATUS=Running", notify.receive());
  p.signal(SIGTERM);
  EXPECT_EQ("STOPPING=1\nSTATUS=Stopped", notify.receive());
  ASSERT_TRUE(p.wait(3));
  EXPECT_EQ(0, p.exitCode());
}
