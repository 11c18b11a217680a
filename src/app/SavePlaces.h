#pragma once
// Where the App's saves go: its received folder and the names held for them. Main thread (they
// ask the desktop); they ask the App's saveFolders (the disk unless a fuzz target set it).
#include <filesystem>
#include <string_view>

#include "files/ReservedPath.h"

class App;

// The user's Downloads folder, else dataDir/"received"; created with its parents (a failure is
// ignored).
std::filesystem::path receivedFolder(App& app);
// The same folder, not created: for a save that makes it only once it has a file to put there.
std::filesystem::path receivedFolderPath(App& app);
// The received folder plus the cleaned levels of `dir` (see saveFolderUnder), created.
std::filesystem::path saveFolder(App& app, std::string_view dir);
// The final path for a save of `name` into `dir`, held (see ReservedPath.h): the first of clean,
// "stem (1).ext", "stem (2).ext"... that is free, numbering on past 999. Empty only when no
// free name exists at all.
ReservedPath uniqueSavePath(App& app, std::string_view name, std::string_view dir);
