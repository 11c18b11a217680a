#pragma once
// What the Linux LAN tests need beyond the portable ones: mounts in the private mount namespace
// that tests/netns-run gives the program, desk-lan processes, and a file's Internet mark.
#include <sys/mount.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"

// A mount that is undone (lazily) when the object goes.
class Mounted {
 public:
  // A tmpfs of `size` ("1m") at `at`.
  static Mounted tmpfs(const std::filesystem::path& at, const std::string& size);
  // `at` mounted over itself, read-only: open files stay writable, names there cannot change.
  static Mounted readOnlyBind(const std::filesystem::path& at);
  Mounted(Mounted&& other) noexcept : at_(std::move(other.at_)) { other.at_.clear(); }
  Mounted(const Mounted&) = delete;
  Mounted& operator=(const Mounted&) = delete;
  ~Mounted();
  bool ok() const { return !at_.empty(); }
  bool remount(const std::string& options);  // e.g. "size=4m"

 private:
  Mounted() = default;
  std::filesystem::path at_;
};

// The "user.xdg.origin.url" attribute of a file, if it has one.
std::optional<std::string> originOf(const std::filesystem::path& file);

std::string deskLanProgram();
// Starts desk-lan with `args` (output into `log`), after `ulimit -n` when nofile is given.
bool startDeskLan(ChildProcess& child, const std::vector<std::string>& args, const std::filesystem::path& log,
                  int nofile = 0);
// The value of the first "name value" line desk-lan printed into `log`, waiting up to 10 s.
std::string printedValue(const std::filesystem::path& log, const std::string& name);
// `desk-lan offer FILE` under `id` with the tests' key, its output in dir/offer.log; the port it
// listens on, 0 when it did not start.
std::uint16_t offerWithDeskLan(ChildProcess& offer, const std::filesystem::path& file, const std::string& id,
                               const std::filesystem::path& dir, int nofile = 0);

// Large files without holding them in memory: pseudo-random bytes from `seed`, and a byte-wise
// comparison.
void writeRandomFile(const std::filesystem::path& path, std::uint64_t size, std::uint64_t seed);
bool sameBytes(const std::filesystem::path& a, const std::filesystem::path& b);
// A process's live threads and open descriptors, as /proc shows them.
int threadsOf(pid_t pid);
int descriptorsOf(pid_t pid);
