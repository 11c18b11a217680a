// Windows: MoveFileExW without MOVEFILE_REPLACE_EXISTING refuses an existing target and copies
// across volumes by itself; CREATE_NEW creates exclusively. Files carry no execute bit. The
// Internet mark is the ":Zone.Identifier" stream of the saved file, zone 3 (Internet). Every
// call takes the "\\?\" form: a save into a deep folder may pass MAX_PATH.
#include "files/FilePlatform.h"

#include <windows.h>

#include <string>

#include "platform/win32/common/LongPath.h"
#include "platform/win32/common/UniqueHandle.h"

namespace {

constexpr char kZoneMark[] = "[ZoneTransfer]\r\nZoneId=3\r\n";  // 26 bytes, no terminator written

bool alreadyThere(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

bool isFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// `path` in the "\\?\" form, its missing parents first; the prefix itself is never a folder.
bool makeFolderTree(std::wstring path) {
  while (path.size() > 7 && path.back() == L'\\') path.pop_back();
  if (isFolder(path) || isFolder(path + L'\\')) return true;
  const std::size_t slash = path.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 4 || !makeFolderTree(path.substr(0, slash))) return false;
  return ::CreateDirectoryW(path.c_str(), nullptr) || isFolder(path);
}

}  // namespace

FileOpResult createNewFile(const std::filesystem::path& file) {
  UniqueHandle handle(::CreateFileW(extendedPath(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.valid()) return alreadyThere(::GetLastError()) ? FileOpResult::Exists : FileOpResult::Failed;
  return handle.close() ? FileOpResult::Done : FileOpResult::Failed;
}

FileOpResult moveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  const std::wstring source = extendedPath(from);
  if (::MoveFileExW(source.c_str(), extendedPath(to).c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    // Across volumes a source that cannot be deleted is left behind and the call still succeeds;
    // a move that left its source is no move.
    return ::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES ? FileOpResult::Done : FileOpResult::Failed;
  }
  return alreadyThere(::GetLastError()) ? FileOpResult::Exists : FileOpResult::Failed;
}

bool createFolders(const std::filesystem::path& folder) { return makeFolderTree(extendedPath(folder)); }

bool pathExists(const std::filesystem::path& path) {
  return ::GetFileAttributesW(extendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void removeFile(const std::filesystem::path& file) { ::DeleteFileW(extendedPath(file).c_str()); }

void removeExecuteBits(const std::filesystem::path&) {}

void writeZoneIdentifier(const std::filesystem::path& file, WStringView) {
  std::wstring stream = extendedPath(file);
  stream += L":Zone.Identifier";
  UniqueHandle handle(::CreateFileW(stream.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (handle.valid()) writeAll(handle.get(), kZoneMark, sizeof kZoneMark - 1);
}
