#include "ShellFolders.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>
#include <system_error>

namespace {

struct TaskMemFree {
  void operator()(wchar_t* p) const { ::CoTaskMemFree(p); }
};

std::optional<std::filesystem::path> knownFolder(REFKNOWNFOLDERID id) {
  wchar_t* raw = nullptr;
  // The path is handed over even on some failures, so it is freed in every case.
  const HRESULT hr = ::SHGetKnownFolderPath(id, 0, nullptr, &raw);
  const std::unique_ptr<wchar_t, TaskMemFree> path(raw);
  if (FAILED(hr) || !path || !*path) return std::nullopt;
  return std::filesystem::path(path.get());
}

}  // namespace

std::optional<std::filesystem::path> knownLocalAppDataFolder() { return knownFolder(FOLDERID_LocalAppData); }

std::optional<std::filesystem::path> knownDownloadsFolder() { return knownFolder(FOLDERID_Downloads); }

std::filesystem::path temporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return std::filesystem::path(L".");
  return std::filesystem::path(std::wstring(buffer, n));
}

bool createFolder(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return std::filesystem::is_directory(dir, ec);
}
