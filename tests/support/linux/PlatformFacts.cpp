#include "support/PlatformFacts.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>
#include <fstream>

std::string internetMarkOf(const std::filesystem::path& file) {
  char value[512];
  const ssize_t n = ::getxattr(file.c_str(), "user.xdg.origin.url", value, sizeof value);
  return n < 0 ? std::string() : std::string(value, static_cast<std::size_t>(n));
}

std::string expectedInternetMark(const std::string& url) { return url; }

bool internetMarksWork(const std::filesystem::path& folder) {
  const auto probe = folder / "probe";
  std::ofstream(probe).close();
  const bool ok = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
  std::filesystem::remove(probe);
  return ok;
}

void makeExecutable(const std::filesystem::path& file) { ::chmod(file.c_str(), 0755); }

bool isExecutable(const std::filesystem::path& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && (st.st_mode & 0111) != 0;
}

bool privateToOwner(const std::filesystem::path& file, bool runnable) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && (st.st_mode & 0777) == (runnable ? 0700u : 0600u);
}

std::optional<std::filesystem::path> otherFileSystemFolder() {
  const std::filesystem::path shm = "/dev/shm";
  if (!std::filesystem::is_directory(shm)) return std::nullopt;
  return shm;
}

CommandRun runCommand(const std::string& commandLine) {
  CommandRun run;
  std::FILE* pipe = ::popen((commandLine + " 2>/dev/null").c_str(), "r");
  if (!pipe) return run;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
  run.status = ::pclose(pipe);
  return run;
}

std::vector<FolderEntry> folderEntries(const std::filesystem::path& folder) {
  std::vector<FolderEntry> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    out.push_back({e.path().filename(), e.is_directory(ec)});
  }
  return out;
}

void removeTree(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
