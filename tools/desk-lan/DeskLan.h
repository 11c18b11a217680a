#pragma once
// desk-lan's pieces: the commands, each in its own file, and what they share (arguments, the
// interrupt flag, the checks of ids, keys and sizes, the terminal's account of the server's
// events).
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class WorkerLink;

// Set by SIGINT and SIGTERM; every command ends soon after.
extern std::atomic<bool> interrupted;

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--name value"
  std::string option(const char* name) const;
};

// Each prints why on standard error when the text is not acceptable.
bool checkId(const std::string& id);
bool checkKey(const std::string& key);
std::optional<std::uint64_t> checkSize(const std::string& text, const char* what);

std::uint64_t nowMs();
// The server's events (stream start, progress, end, abort), told on the terminal.
std::shared_ptr<WorkerLink> terminalEvents();
// "\r 42%  440401920 / 1048576000 bytes  310.2 MiB/s", at most every 250 ms.
class ProgressLine {
 public:
  explicit ProgressLine(std::uint64_t total) : total_(total), started_(nowMs()) {}
  void show(std::uint64_t done);
  double seconds() const;

 private:
  std::uint64_t total_;
  std::uint64_t started_;
  std::uint64_t last_ = 0;
};

int offerCommand(const Arguments& args);
int sinkCommand(const Arguments& args);
int getCommand(const Arguments& args);
int pushCommand(const Arguments& args);
int probeCommand(const Arguments& args);
