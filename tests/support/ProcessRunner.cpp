#include "tests/support/ProcessRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {
std::string readFile(const std::string& _path) {
  std::ifstream in(_path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string tempName(const char* _suffix) {
  char name[] = "/tmp/vistrel-proc-XXXXXX";
  // The unique name is reserved only long enough to derive the output file's name from it.
  int fd = mkstemp(name);
  if (fd >= 0) {
    close(fd);
    unlink(name);
  }
  return std::string(name) + _suffix;
}
}  // namespace

ProcessRunner::ProcessRunner(std::vector<std::string> _args, std::string _workDir,
                             std::vector<std::string> _env)
    : pid(-1), code(-1000), outFile(tempName(".out")), errFile(tempName(".err")) {
  pid = fork();
  if (pid == 0) {
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    if (!_workDir.empty() && chdir(_workDir.c_str()) != 0) _exit(127);
    for (auto& e : _env) {
      size_t eq = e.find('=');
      if (eq == std::string::npos) {
        unsetenv(e.c_str());
      } else {
        setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
      }
    }
    std::vector<char*> argv;
    for (auto& a : _args) argv.push_back((char*)a.c_str());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

ProcessRunner::~ProcessRunner() {
  if (pid > 0 && code == -1000) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  unlink(outFile.c_str());
  unlink(errFile.c_str());
}

bool ProcessRunner::wait(double _seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(_seconds);
  while (code == -1000) {
    int status = 0;
    int r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return true;
    }
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void ProcessRunner::signal(int _signal) {
  if (pid > 0 && code == -1000) kill(pid, _signal);
}

bool ProcessRunner::waitForOutput(const std::string& _text, double _seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(_seconds);
  while (out().find(_text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string ProcessRunner::out() const { return readFile(outFile); }

std::string ProcessRunner::err() const { return readFile(errFile); }

int ProcessRunner::run(std::vector<std::string> _args, std::string* _out, std::string* _err,
                       double _seconds, std::string _workDir, std::vector<std::string> _env) {
  ProcessRunner p(std::move(_args), std::move(_workDir), std::move(_env));
  if (!p.wait(_seconds)) return -1000;
  if (_out) *_out = p.out();
  if (_err) *_err = p.err();
  return p.exitCode();
}
