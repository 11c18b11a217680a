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
// Creates `dir` with its parents; true when it is a folder afterwards. Below %LOCALAPPDATA% it
// inherits the user's own access rights.
bool createFolder(const std::filesystem::path& dir);
