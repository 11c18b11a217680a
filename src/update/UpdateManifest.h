#pragma once
// The update manifest: what the server announces, the exact bytes the release key signs, and
// the verdict on an announcement.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/json.h"

inline constexpr std::size_t kManifestMaxBytes = 65536;
inline constexpr std::uint64_t kInstallerMaxBytes = 419430399;  // below 400 MiB

// The five keys; a key that is absent or of another kind reads as empty (size 0).
struct UpdateManifest {
  std::string version;
  std::string file;
  std::string sha256;
  std::string sig;
  std::uint64_t size = 0;
};

UpdateManifest readManifest(const Json& object);

// "desk-update\n" version "\n" file "\n" size "\n" sha256, no line end after the hash.
std::string signedUpdateMessage(const UpdateManifest& manifest);

// Dotted numbers compared piece by piece, a missing piece counting as 0; each piece keeps
// whatever leading number it has (so "v2" is 0). -1, 0 or 1.
int compareVersions(std::string_view a, std::string_view b);

// The version becomes part of the installer's file name, so it must not be able to leave the
// update folder: no "/", "\\", ":", NUL or "..".
bool isSafeVersion(std::string_view version);

enum class ManifestVerdict {
  NoVersion,  // no usable "version": the check found nothing to say
  NotNewer,   // not newer than this shell
  Untrusted,  // announces something that cannot be trusted
  Accepted,   // newer and signed with the release key
};

// Judged against the built-in release key, in the order: usable version, safe version, newer,
// size range, hash length, file name without slashes, signature.
ManifestVerdict judgeManifest(const UpdateManifest& manifest);
