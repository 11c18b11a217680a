// The parts of desk-sign that are the same everywhere: versions, the signed message and the
// manifest. The key operations live in DeskSignOpenSsl.cpp (Linux) and DeskSignCng.cpp (Windows).
#include "DeskSign.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace desksign {

bool isDottedNumbers(std::string_view version) {
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = std::min(version.find('.', start), version.size());
    const std::string_view piece = version.substr(start, dot - start);
    if (piece.empty() || piece.find_first_not_of("0123456789") != std::string_view::npos) return false;
    // The shell reads each piece into 32 bits; a larger one would no longer compare as written.
    const std::string_view significant = piece.substr(std::min(piece.find_first_not_of('0'), piece.size()));
    if (significant.size() > 10 || (significant.size() == 10 && significant > "2147483647")) return false;
    if (dot == version.size()) return true;
    start = dot + 1;
  }
}

std::string updateMessage(std::string_view version, std::string_view name, std::uint64_t size,
                          std::string_view sha256) {
  std::string m = "desk-update\n";
  m.append(version);
  m += '\n';
  m.append(name);
  m += '\n';
  m += std::to_string(size);
  m += '\n';
  m.append(sha256);
  return m;
}

std::optional<std::string> makeManifest(const std::filesystem::path& keyFile, const std::string& version,
                                        const std::filesystem::path& installer, const std::string& name,
                                        std::string& error) {
  // What the shell would refuse is refused here, before anything is published. The shell reads
  // only the leading number of each piece: "v1.5.0" would never be newer than anything, and
  // "1.5.0-beta" would be the same version as the 1.5.0 that follows it.
  if (!isDottedNumbers(version)) {
    error = "the version \"" + version + "\" is not dotted numbers such as 1.4.0, so the shell would not "
            "compare it as written";
    return std::nullopt;
  }
  if (name.find_first_of("/\\") != std::string::npos) {
    error = "the name must not hold \"/\" or \"\\\"";
    return std::nullopt;
  }
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(installer, ec);
  if (ec || !std::filesystem::is_regular_file(installer, ec)) {
    error = "cannot read " + installer.string();
    return std::nullopt;
  }
  if (size < 1 || size > 419430399) {
    error = "the installer must hold 1 to 419430399 bytes";
    return std::nullopt;
  }
  auto sha = fileSha256(installer, error);
  if (!sha) return std::nullopt;
  auto sig = signMessage(keyFile, updateMessage(version, name, size, *sha), error);
  if (!sig) return std::nullopt;
  nlohmann::json manifest = {{"version", version}, {"file", name}, {"size", static_cast<std::uint64_t>(size)},
                             {"sha256", *sha}, {"sig", *sig}};
  // Invalid UTF-8 in the version or name has no JSON form; dump would throw.
  try {
    return manifest.dump();
  } catch (const std::exception&) {
    error = "the version and name must be UTF-8 text";
    return std::nullopt;
  }
}

}  // namespace desksign
