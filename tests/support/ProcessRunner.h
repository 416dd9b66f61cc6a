#ifndef VISTREL_TESTS_PROCESSRUNNER_H
#define VISTREL_TESTS_PROCESSRUNNER_H

#include <string>
#include <vector>

// Runs the server executable (or any program) as a child process for the tests: its standard
// output and error are gathered into files, and it can be signalled while it runs.
class ProcessRunner {
 public:
  // _env holds "NAME=value" entries to set and "NAME" entries to remove in the child.
  explicit ProcessRunner(std::vector<std::string> _args, std::string _workDir = "",
                         std::vector<std::string> _env = {});
  ~ProcessRunner();

  // Waits up to _seconds for the process to end; returns false on time-out.
  bool wait(double _seconds);
  void signal(int _signal);
  // Waits until the standard output holds _text, up to _seconds.
  bool waitForOutput(const std::string& _text, double _seconds);

  int exitCode() const { return code; }
  std::string out() const;
  std::string err() const;

  // Runs to the end (at most _seconds) and returns the exit code, -1000 on time-out.
  static int run(std::vector<std::string> _args, std::string* _out, std::string* _err,
                 double _seconds = 10, std::string _workDir = "",
                 std::vector<std::string> _env = {});

 private:
  int pid;
  int code;
  std::string outFile;
  std::string errFile;
};

#endif
