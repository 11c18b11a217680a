#include "LinuxLan.h"

#include <sys/xattr.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "LanPeers.h"

Mounted Mounted::tmpfs(const std::filesystem::path& at, const std::string& size) {
  Mounted m;
  std::filesystem::create_directories(at);
  if (::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) == 0) m.at_ = at;
  return m;
}

Mounted Mounted::readOnlyBind(const std::filesystem::path& at) {
  Mounted m;
  if (::mount(at.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0) return m;
  m.at_ = at;
  if (::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) return Mounted();
  return m;
}

Mounted::~Mounted() {
  if (!at_.empty()) ::umount2(at_.c_str(), MNT_DETACH);
}

bool Mounted::remount(const std::string& options) {
  return ok() && ::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT, options.c_str()) == 0;
}

std::optional<std::string> originOf(const std::filesystem::path& file) {
  char value[1024];
  const ssize_t n = ::getxattr(file.c_str(), "user.xdg.origin.url", value, sizeof value);
  if (n < 0) return std::nullopt;
  return std::string(value, static_cast<std::size_t>(n));
}

std::string deskLanProgram() { return DESK_LAN_EXE; }

bool startDeskLan(ChildProcess& child, const std::vector<std::string>& args, const std::filesystem::path& log,
                  int nofile) {
  std::vector<std::string> argv{deskLanProgram()};
  argv.insert(argv.end(), args.begin(), args.end());
  if (nofile > 0) {
    argv.insert(argv.begin(), {"/bin/sh", "-c", "ulimit -n " + std::to_string(nofile) + " && exec \"$0\" \"$@\""});
  }
  return child.start(argv, {}, log.string());
}

std::string printedValue(const std::filesystem::path& log, const std::string& name) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(name + " ", 0) == 0) {
        const std::string rest = line.substr(name.size() + 1);
        return rest.substr(0, rest.find(' '));
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

std::uint16_t offerWithDeskLan(ChildProcess& offer, const std::filesystem::path& file, const std::string& id,
                               const std::filesystem::path& dir, int nofile) {
  if (!startDeskLan(offer, {"offer", file.string(), "--id", id, "--key", kKeyHex}, dir / "offer.log", nofile)) return 0;
  const std::string port = printedValue(dir / "offer.log", "port");
  return port.empty() ? 0 : static_cast<std::uint16_t>(std::stoi(port));
}

void writeRandomFile(const std::filesystem::path& path, std::uint64_t size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<std::uint64_t> block(1 << 16);
  for (std::uint64_t left = size; left > 0;) {
    for (auto& word : block) word = rng();
    const std::uint64_t n = std::min<std::uint64_t>(left, block.size() * sizeof block[0]);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    left -= n;
  }
}

bool sameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  if (std::filesystem::file_size(a, ec) != std::filesystem::file_size(b, ec) || ec) return false;
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> p(1 << 20), q(1 << 20);
  while (x && y) {
    x.read(p.data(), static_cast<std::streamsize>(p.size()));
    y.read(q.data(), static_cast<std::streamsize>(q.size()));
    if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
  }
  return true;
}

int threadsOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  }
  return -1;
}

int descriptorsOf(pid_t pid) {
  std::error_code ec;
  const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", ec);
  return ec ? -1 : static_cast<int>(std::distance(fds, std::filesystem::directory_iterator()));
}
