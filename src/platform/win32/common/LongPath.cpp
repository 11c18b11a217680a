#include "platform/win32/common/LongPath.h"

#include <windows.h>

#include <string_view>

namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedShare = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevice = L"\\\\.\\";

bool startsWith(std::wstring_view text, std::wstring_view head) { return text.substr(0, head.size()) == head; }

// Both calls ask for the length first: their answers may be far longer than MAX_PATH.
template <typename Call>
std::wstring askTwice(Call call) {
  DWORD n = call(nullptr, 0);
  if (n == 0) return {};
  std::wstring out(n, L'\0');
  n = call(out.data(), n);
  if (n == 0 || n >= out.size()) return {};
  out.resize(n);
  return out;
}

}  // namespace

std::wstring extendedPath(const std::filesystem::path& path) {
  const std::wstring& text = path.native();
  if (text.empty() || startsWith(text, kExtended) || startsWith(text, kDevice)) return text;
  const std::wstring full = askTwice([&](wchar_t* out, DWORD size) {
    return ::GetFullPathNameW(text.c_str(), size, out, nullptr);
  });
  if (full.empty()) return text;
  if (startsWith(full, L"\\\\")) return std::wstring(kExtendedShare) + full.substr(2);
  return std::wstring(kExtended) + full;
}

std::wstring plainPath(const std::filesystem::path& path) {
  const std::wstring& text = path.native();
  if (startsWith(text, kExtendedShare)) return L"\\\\" + text.substr(kExtendedShare.size());
  if (startsWith(text, kExtended)) return text.substr(kExtended.size());
  return text;
}

std::wstring shellPath(const std::filesystem::path& path) {
  const std::wstring plain = plainPath(path);
  if (plain.size() < MAX_PATH) return plain;
  const std::wstring extended = extendedPath(path);
  const std::wstring shortForm = plainPath(askTwice([&](wchar_t* out, DWORD size) {
    return ::GetShortPathNameW(extended.c_str(), out, size);
  }));
  return shortForm.size() < MAX_PATH ? shortForm : std::wstring();
}
