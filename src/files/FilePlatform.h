#pragma once
// The file-system services the saving rules need beyond std::filesystem: creating and moving
// without ever replacing what is already there, keeping saved files non-executable, and the
// mark that tells the desktop a file came from the Internet. Each backend implements them.
#include <filesystem>

#include "common/text.h"

enum class FileOpResult { Done, Exists, Failed };

// Creates an empty regular file that must not exist yet (no execute bit).
FileOpResult createNewFile(const std::filesystem::path& file);

// Creates `folder` with its missing parents; true when it is a folder afterwards. Unlike
// std::filesystem it also reaches folders whose path passes the platform's short-path limit.
bool createFolders(const std::filesystem::path& folder);

// Whether anything (a file, a folder, a link) is at `path`; reaches long paths too.
bool pathExists(const std::filesystem::path& path);

// Removes a file; failures are ignored (nothing there is no failure). Reaches long paths too.
void removeFile(const std::filesystem::path& file);

// Moves `from` to `to` only if nothing exists at `to`; Exists when something does. Works across
// file systems (then by copying into a newly created file and removing `from`). Failed also when
// `from` could not be removed after the copy: then the file is at `to` and still at `from`.
FileOpResult moveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Clears every execute permission of a regular file; failures are ignored.
void removeExecuteBits(const std::filesystem::path& file);

// Marks `file` as downloaded from `url` (the Internet mark); failures are ignored and the file
// stays valid without it. An empty url writes nothing where the platform's mark needs an address.
void writeZoneIdentifier(const std::filesystem::path& file, WStringView url);
