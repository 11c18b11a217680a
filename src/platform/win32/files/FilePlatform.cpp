// Windows: MoveFileExW without MOVEFILE_REPLACE_EXISTING refuses an existing target and copies
// across volumes by itself; CREATE_NEW creates exclusively. Files carry no execute bit. The
// Internet mark is the ":Zone.Identifier" stream of the saved file, zone 3 (Internet).
#include "files/FilePlatform.h"

#include <windows.h>

#include "platform/win32/common/UniqueHandle.h"

namespace {

constexpr char kZoneMark[] = "[ZoneTransfer]\r\nZoneId=3\r\n";  // 26 bytes, no terminator written

bool alreadyThere(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

}  // namespace

FileOpResult createNewFile(const std::filesystem::path& file) {
  UniqueHandle handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (!handle.valid()) return alreadyThere(::GetLastError()) ? FileOpResult::Exists : FileOpResult::Failed;
  return handle.close() ? FileOpResult::Done : FileOpResult::Failed;
}

FileOpResult moveFileNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    // Across volumes a source that cannot be deleted is left behind and the call still succeeds;
    // a move that left its source is no move.
    return ::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES ? FileOpResult::Done : FileOpResult::Failed;
  }
  return alreadyThere(::GetLastError()) ? FileOpResult::Exists : FileOpResult::Failed;
}

void removeExecuteBits(const std::filesystem::path&) {}

void writeZoneIdentifier(const std::filesystem::path& file, WStringView) {
  std::wstring stream = file.native();
  stream += L":Zone.Identifier";
  UniqueHandle handle(::CreateFileW(stream.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (handle.valid()) writeAll(handle.get(), kZoneMark, sizeof kZoneMark - 1);
}
