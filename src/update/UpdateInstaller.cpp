#include "update/UpdateInstaller.h"

#include <system_error>

#include "common/sha256.h"
#include "common/http.h"
#include "update/UpdatePlatform.h"

namespace fs = std::filesystem;

namespace {

bool entryExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

}  // namespace

fs::path updateFolder(const fs::path& dataDir) { return dataDir / "update"; }

fs::path installerPath(const fs::path& dataDir, std::string_view version) {
  const WString wideVersion = toWide(version);
  if (wideVersion.empty()) return {};
  return updateFolder(dataDir) /
         widePath(toWide("TamselDesk-") + wideVersion + toWide(installerSuffix()));
}

std::string percentEncode(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size() * 3);
  for (const char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                      b == '-' || b == '_' || b == '.' || b == '~';
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::optional<fs::path> obtainInstaller(const UpdateSource& source, const std::string& version,
                                        const std::string& file, std::uint64_t size,
                                        const std::string& sha256) {
  std::error_code ec;
  // A failure here makes the steps below fail on their own.
  fs::create_directories(updateFolder(source.dataDir), ec);

  const fs::path target = installerPath(source.dataDir, version);
  if (target.empty()) return std::nullopt;
  fs::path part = target;
  part += ".part";

  if (entryExists(target) && sha256FileHex(target) == sha256) {
    if (!makeInstallerRunnable(target)) return std::nullopt;
    return target;
  }

  const WString url = source.serverOrigin + toWide("/download/") + toWide(percentEncode(file));
  std::string unused;
  bool good = httpGet(url, unused, part, size + 1, 0);
  if (good) {
    const std::uintmax_t got = fs::file_size(part, ec);
    good = !ec && got == size && sha256FileHex(part) == sha256;
  }
  // Runnable only once both checks passed, and before it carries the name that gets started.
  if (good) good = makeInstallerRunnable(part);
  if (!good) {
    fs::remove(part, ec);
    return std::nullopt;
  }

  fs::remove(target, ec);
  fs::rename(part, target, ec);
  if (ec) return std::nullopt;  // the part file stays; the next check starts it afresh
  return target;
}
