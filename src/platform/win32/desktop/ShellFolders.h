#pragma once
// The folders the shell reads and writes on Windows, from the shell's known folders.
#include <filesystem>
#include <optional>

// %LOCALAPPDATA% (FOLDERID_LocalAppData); the data folder is "TamselDeskNative" below it.
std::optional<std::filesystem::path> knownLocalAppDataFolder();
// The user's Downloads folder (FOLDERID_Downloads); none when the shell cannot say.
std::optional<std::filesystem::path> knownDownloadsFolder();
// The user's temporary folder (GetTempPathW), where LAN part files lie.
std::filesystem::path temporaryFolder();
