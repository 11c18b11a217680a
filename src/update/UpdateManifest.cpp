#include "update/UpdateManifest.h"

#include <climits>
#include <cstdlib>
#include <vector>

#include "common/version.h"
#include "update/UpdateKey.h"

namespace {

std::string stringKey(const Json& object, const char* key) {
  return jsonString(object, key).value_or(std::string());
}

// Only a JSON integer counts: 12345.0 or 1e4 is written as a fraction or exponent and reads as
// absent (jsonUnsigned would take whole floating values).
std::uint64_t sizeKey(const Json& object) {
  if (!object.is_object()) return 0;
  const auto it = object.find("size");
  if (it == object.end()) return 0;
  if (it->is_number_unsigned()) return it->get<std::uint64_t>();
  if (it->is_number_integer()) {
    const auto value = it->get<std::int64_t>();
    return value < 0 ? 0 : static_cast<std::uint64_t>(value);
  }
  return 0;
}

std::vector<std::int32_t> versionPieces(std::string_view text) {
  std::vector<std::int32_t> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::string piece(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    // strtol's own rules: leading blanks and a sign are taken, the first non-digit ends it.
    const long value = std::strtol(piece.c_str(), nullptr, 10);
    // A piece too large for 32 bits saturates the way a 32-bit long would.
    std::int32_t clamped;
    if (value > INT32_MAX) clamped = INT32_MAX;
    else if (value < INT32_MIN) clamped = INT32_MIN;
    else clamped = static_cast<std::int32_t>(value);
    pieces.push_back(clamped);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return pieces;
}

}  // namespace

UpdateManifest readManifest(const Json& object) {
  UpdateManifest m;
  m.version = stringKey(object, "version");
  m.file = stringKey(object, "file");
  m.sha256 = stringKey(object, "sha256");
  m.sig = stringKey(object, "sig");
  m.size = sizeKey(object);
  return m;
}

std::string signedUpdateMessage(const UpdateManifest& m) {
  std::string message = "desk-update\n";
  message += m.version;
  message += '\n';
  message += m.file;
  message += '\n';
  message += std::to_string(m.size);
  message += '\n';
  message += m.sha256;
  return message;
}

int compareVersions(std::string_view a, std::string_view b) {
  const auto pa = versionPieces(a);
  const auto pb = versionPieces(b);
  const std::size_t n = pa.size() > pb.size() ? pa.size() : pb.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t x = i < pa.size() ? pa[i] : 0;
    const std::int32_t y = i < pb.size() ? pb[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

bool isSafeVersion(std::string_view version) {
  if (version.find_first_of(std::string_view("/\\:\0", 4)) != std::string_view::npos) return false;
  return version.find("..") == std::string_view::npos;
}

ManifestVerdict judgeManifest(const UpdateManifest& m) {
  if (m.version.empty()) return ManifestVerdict::NoVersion;
  if (!isSafeVersion(m.version)) return ManifestVerdict::Untrusted;
  if (compareVersions(m.version, kShellVersion) <= 0) return ManifestVerdict::NotNewer;
  if (m.size < 1 || m.size > kInstallerMaxBytes) return ManifestVerdict::Untrusted;
  if (m.sha256.size() != 64) return ManifestVerdict::Untrusted;
  if (m.file.find_first_of("/\\") != std::string::npos) return ManifestVerdict::Untrusted;
  if (!verifyUpdateSignature(signedUpdateMessage(m), m.sig)) return ManifestVerdict::Untrusted;
  return ManifestVerdict::Accepted;
}
