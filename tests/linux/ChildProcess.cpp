#include "ChildProcess.h"

#include <fcntl.h>
#include <glib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

extern char** environ;

bool ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputFile, int extraFd) {
  std::map<std::string, std::string> merged;  // name -> "name=value"; the extra entries win
  auto add = [&](const std::string& entry) { merged[entry.substr(0, entry.find('='))] = entry; };
  for (char** e = environ; *e; ++e) add(*e);
  for (const auto& entry : env) add(entry);
  std::vector<std::string> strings;
  for (const auto& [name, entry] : merged) strings.push_back(entry);
  std::vector<std::string> args = argv;
  std::vector<char*> envp;
  std::vector<char*> argp;
  for (auto& s : strings) envp.push_back(s.data());
  for (auto& s : args) argp.push_back(s.data());
  envp.push_back(nullptr);
  argp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    setpgid(0, 0);
    const int out = open(outputFile.empty() ? "/dev/null" : outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    const int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
    for (int fd = 3; fd < 1024; ++fd) {
      if (fd != extraFd) close(fd);
    }
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  pid_ = pid;
  status_.reset();
  return true;
}

bool ChildProcess::running() {
  if (pid_ < 0 || status_) return false;
  int status = 0;
  const pid_t got = waitpid(pid_, &status, WNOHANG);
  if (got == pid_) {
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

std::optional<int> ChildProcess::wait(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (running()) {
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status_;
}

void ChildProcess::stop() {
  if (pid_ < 0) return;
  if (running()) {
    // The whole group: the shell's web processes go with it.
    kill(-pid_, SIGTERM);
    if (!wait(3000)) {
      kill(-pid_, SIGKILL);
      wait(3000);
    }
  }
  kill(-pid_, SIGKILL);
  pid_ = -1;
}

std::string findProgram(const std::string& name) {
  gchar* found = g_find_program_in_path(name.c_str());
  const std::string path = found ? found : "";
  g_free(found);
  return path;
}

std::string readLine(int fd, int timeoutMs) {
  std::string line;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  return line;
}

std::string startBusDaemon(ChildProcess& daemon, const std::string& dir) {
  int fds[2];
  if (findProgram("dbus-daemon").empty() || pipe(fds) != 0) return {};
  const bool started = daemon.start({findProgram("dbus-daemon"), "--session", "--nofork",
                                     "--print-address=" + std::to_string(fds[1]), "--address=unix:path=" + dir + "/bus"},
                                    {}, dir + "/dbus.log", fds[1]);
  close(fds[1]);
  const std::string address = started ? readLine(fds[0], 10000) : std::string();
  close(fds[0]);
  return address;
}
