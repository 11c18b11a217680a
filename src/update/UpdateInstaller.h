#pragma once
// Getting an announced installer onto the disk and proving it by size and SHA-256.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/text.h"

// Where a check looks: the server origin and the shell's private data folder.
struct UpdateSource {
  WString serverOrigin;
  std::filesystem::path dataDir;
};

std::filesystem::path updateFolder(const std::filesystem::path& dataDir);
// The update folder + "TamselDesk-" + version + the platform's suffix; empty when the version
// is not text a file name can hold.
std::filesystem::path installerPath(const std::filesystem::path& dataDir, std::string_view version);

// Byte by byte from UTF-8: letters, digits and "-_.~" stay, every other byte is %XX (upper case).
std::string percentEncode(std::string_view utf8);

// Reuses an installer already at its place with the announced hash, or downloads it into
// ".part" and gives it its final name only after the size and hash checks. Worker thread only.
std::optional<std::filesystem::path> obtainInstaller(const UpdateSource& source,
                                                     const std::string& version,
                                                     const std::string& file, std::uint64_t size,
                                                     const std::string& sha256);
