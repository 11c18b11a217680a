#pragma once
// Paths for the wide file functions. Unless the LongPathsEnabled policy is set, which it is not
// by default, Windows refuses a path of MAX_PATH (260) characters or more whatever the manifest
// says, so a save into a deep folder would fail. The "\\?\" form is taken whole, up to 32767
// characters, but Windows no longer tidies it ("/", "." and ".." stay as they are), so it is
// made from the full path.
//
// The C runtime here (msvcrt) refuses any path with a "?" in it, so std::filesystem calls keep the
// plain form; only the backend's own calls of the wide functions take the extended one.
#include <filesystem>
#include <string>

// `path` made absolute and tidied, with "\\?\" ("\\?\UNC\" for a share) in front. A path that
// already has a device prefix, and the empty path, stay as they are.
std::wstring extendedPath(const std::filesystem::path& path);
// `path` without the "\\?\" in front, as the user knows it.
std::wstring plainPath(const std::filesystem::path& path);
// The form the shell and the programs it starts accept: the plain path when it is shorter than
// MAX_PATH, else its 8.3 short form when that is; empty when neither is (8.3 names may be off
// on that volume).
std::wstring shellPath(const std::filesystem::path& path);
