#include "ShellFolders.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

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
  // TMP may name a folder deeper than MAX_PATH; the answer then says how much room it needs.
  std::wstring buffer(MAX_PATH + 1, L'\0');
  DWORD n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n > buffer.size()) {
    buffer.resize(n);
    n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (n != 0 && n <= buffer.size()) return std::filesystem::path(buffer.substr(0, n));
  // Never the current folder, which is System32 for a start at log-on.
  if (const auto local = knownLocalAppDataFolder()) return *local / L"Temp";
  return {};
}
