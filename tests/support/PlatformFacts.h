#pragma once
// What the tests check or do that each platform does its own way
// (tests/support/<platform>/PlatformFacts.cpp).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The Internet mark of a saved file as the platform stores it: the origin address in an
// extended attribute (Linux), the Zone.Identifier stream (Windows). Empty when there is none.
std::string internetMarkOf(const std::filesystem::path& file);
// The mark a file saved from `url` must carry.
std::string expectedInternetMark(const std::string& url);
// The folder's file system can hold the mark at all.
bool internetMarksWork(const std::filesystem::path& folder);

// Execute permission (Linux); files on Windows run by their type, so there: never.
void makeExecutable(const std::filesystem::path& file);
bool isExecutable(const std::filesystem::path& file);
// Readable or runnable by nobody but the owner (a kept installer, a release key). Windows
// leaves that to the folder's access rights: there, the file exists.
bool privateToOwner(const std::filesystem::path& file, bool runnable);

// The entries of one folder, as its file system lists them (no status asked of each: Wine lists
// a file's streams as files "name:stream", which a Windows path misreads as a drive).
struct FolderEntry {
  std::filesystem::path name;
  bool folder = false;
};
std::vector<FolderEntry> folderEntries(const std::filesystem::path& folder);
// Removes a folder with everything in it, those stream files included; errors are ignored.
void removeTree(const std::filesystem::path& folder);

// A folder on another file system than the temporary folder, where there is one.
std::optional<std::filesystem::path> otherFileSystemFolder();

// Runs a command line through the system's shell (sh, cmd); its exit status (0 for success)
// and standard output. Standard error is dropped.
struct CommandRun {
  int status = -1;
  std::string out;
};
CommandRun runCommand(const std::string& commandLine);
