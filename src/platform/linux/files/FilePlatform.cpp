// Linux: renameat2(RENAME_NOREPLACE) where the file system offers it, else link()+unlink(),
// else (another file system) a copy into an exclusively created file. The Internet mark is the
// freedesktop extended attribute naming the download address.
#include "files/FilePlatform.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/linux/common/UniqueFd.h"

namespace {

constexpr mode_t kFileMode = 0666;  // the umask still applies; never an execute bit


FileOpResult copyNoReplace(const std::string& from, const std::string& to) {
  UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!in.valid()) return FileOpResult::Failed;
  UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
  if (!out.valid()) return errno == EEXIST ? FileOpResult::Exists : FileOpResult::Failed;
  char buffer[64 * 1024];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (!writeAll(out.get(), buffer, static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  if (!out.close()) ok = false;
  if (!ok) {
    ::unlink(to.c_str());  // ours: created exclusively above
    return FileOpResult::Failed;
  }
  // The copy is whole, but a move that leaves its source behind did not happen: the caller
  // reports a failure with the file at its destination.
  return ::unlink(from.c_str()) == 0 ? FileOpResult::Done : FileOpResult::Failed;
}

}  // namespace

FileOpResult createNewFile(const std::filesystem::path& file) {
  UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
  if (!fd.valid()) return errno == EEXIST ? FileOpResult::Exists : FileOpResult::Failed;
  return fd.close() ? FileOpResult::Done : FileOpResult::Failed;
}

FileOpResult moveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  const std::string src = from.native();
  const std::string dst = to.native();
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return FileOpResult::Done;
  if (errno == EEXIST) return FileOpResult::Exists;
  if (errno == EXDEV) return copyNoReplace(src, dst);
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) return FileOpResult::Failed;
  // The file system cannot rename without replacing: a hard link refuses an existing name too.
  if (::link(src.c_str(), dst.c_str()) == 0) {
    return ::unlink(src.c_str()) == 0 ? FileOpResult::Done : FileOpResult::Failed;
  }
  if (errno == EEXIST) return FileOpResult::Exists;
  if (errno == EXDEV || errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP) return copyNoReplace(src, dst);
  return FileOpResult::Failed;
}

void removeExecuteBits(const std::filesystem::path& file) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const mode_t mode = st.st_mode & 07777;
  // Set-id bits go too: they mean nothing without an execute bit and nothing saved should carry them.
  if (mode & (S_IXUSR | S_IXGRP | S_IXOTH | S_ISUID | S_ISGID))
    ::fchmod(fd.get(), mode & ~static_cast<mode_t>(S_IXUSR | S_IXGRP | S_IXOTH | S_ISUID | S_ISGID));
}

bool createFolders(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return std::filesystem::is_directory(folder, ec);
}

bool pathExists(const std::filesystem::path& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0;
}

void removeFile(const std::filesystem::path& file) { ::unlink(file.c_str()); }

void writeZoneIdentifier(const std::filesystem::path& file, WStringView url) {
  const std::string value = toNarrow(url);
  if (value.empty()) return;
  ::setxattr(file.c_str(), "user.xdg.origin.url", value.data(), value.size(), 0);
}
