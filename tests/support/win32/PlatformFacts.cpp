#include "support/PlatformFacts.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>

std::string internetMarkOf(const std::filesystem::path& file) {
  std::ifstream in(std::filesystem::path(file.native() + L":Zone.Identifier"), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string expectedInternetMark(const std::string&) { return "[ZoneTransfer]\r\nZoneId=3\r\n"; }

bool internetMarksWork(const std::filesystem::path&) { return true; }

void makeExecutable(const std::filesystem::path&) {}

bool isExecutable(const std::filesystem::path&) { return false; }

bool privateToOwner(const std::filesystem::path& file, bool) { return std::filesystem::exists(file); }

std::optional<std::filesystem::path> otherFileSystemFolder() { return std::nullopt; }

CommandRun runCommand(const std::string& commandLine) {
  CommandRun run;
  // cmd /c drops the first and the last quote of a line that starts with one: give it a pair.
  std::FILE* pipe = ::_popen(("\"" + commandLine + " 2>NUL\"").c_str(), "rt");
  if (!pipe) return run;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
  run.status = ::_pclose(pipe);
  return run;
}

std::vector<FolderEntry> folderEntries(const std::filesystem::path& folder) {
  std::vector<FolderEntry> out;
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((folder / L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      out.push_back({std::filesystem::path(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return out;
}

void removeTree(const std::filesystem::path& folder) {
  // Whole strings, not path joins: "name:Zone.Identifier" must stay a name in this folder.
  for (const auto& e : folderEntries(folder)) {
    const std::wstring full = folder.native() + L"\\" + e.name.native();
    if (e.folder) {
      removeTree(full);
    } else {
      ::DeleteFileW(full.c_str());
    }
  }
  ::RemoveDirectoryW(folder.c_str());
}
