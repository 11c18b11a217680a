#pragma once
// A child program for a test: started with extra environment, stopped (TERM, then KILL) and
// reaped when the object goes, so no test leaves processes behind.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // env: "NAME=value" entries that replace or add to this process's environment.
  // outputFile: where stdout and stderr go (empty: /dev/null). extraFd: kept open in the child.
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
             const std::string& outputFile = {}, int extraFd = -1);
  bool running();
  // The exit code when the child ended within the time (a signal counts as 128 + its number).
  std::optional<int> wait(int timeoutMs);
  void stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The full path of a program on PATH, or empty.
std::string findProgram(const std::string& name);
// One line from fd within the time; empty on timeout.
std::string readLine(int fd, int timeoutMs);
// A private D-Bus daemon whose socket lives in dir; its address, or empty.
std::string startBusDaemon(ChildProcess& daemon, const std::string& dir);
