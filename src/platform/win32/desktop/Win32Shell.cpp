// Process facts, known folders, message boxes and the hand-offs to the user's desktop.
#include <windows.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <system_error>

#include "Autostart.h"
#include "SingleInstance.h"
#include "Win32Desktop.h"
#include "common/text.h"

namespace {

constexpr wchar_t kCaption[] = L"在线Tamsel桌面小屋";

std::optional<std::filesystem::path> knownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &path);
  std::optional<std::filesystem::path> folder;
  if (SUCCEEDED(hr) && path) folder = std::filesystem::path(path);
  CoTaskMemFree(path);
  return folder;
}

// The same text on standard error, so a terminal or a log also learns why.
void tellStandardError(const WString& text) {
  const std::string narrow = toNarrow(text);
  std::fprintf(stderr, "tamsel-desk: %s\n", narrow.c_str());
  std::fflush(stderr);
}

void shellOpen(HWND owner, const wchar_t* file, const wchar_t* parameters, const wchar_t* folder) {
  ShellExecuteW(owner, L"open", file, parameters, folder, SW_SHOWNORMAL);
}

// One command-line argument, quoted so CommandLineToArgvW gives it back unchanged.
std::wstring quoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

bool Win32Desktop::acquireSingleInstance() {
  // Asked once before COM starts and again by runShell: the first answer stands.
  if (!instanceLock_) {
    instanceLock_ = std::make_unique<SingleInstance>();
    firstInstance_ = instanceLock_->acquire();
  }
  return firstInstance_;
}

void Win32Desktop::requestShowFromFirst() { SingleInstance::requestShow(); }

std::filesystem::path Win32Desktop::executablePath() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(length < buffer.size() ? length : 0);
  return std::filesystem::path(buffer);
}

std::vector<WString> Win32Desktop::commandLineArguments() {
  std::vector<WString> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

std::optional<std::filesystem::path> Win32Desktop::localAppDataFolder() { return knownFolder(FOLDERID_LocalAppData); }

bool Win32Desktop::createDataFolder(const std::filesystem::path& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (std::filesystem::is_directory(dir, error)) return true;
  std::fprintf(stderr, "tamsel-desk: cannot create the data folder %s\n", toNarrow(pathWide(dir)).c_str());
  return false;
}

std::optional<std::filesystem::path> Win32Desktop::downloadsFolder() { return knownFolder(FOLDERID_Downloads); }

std::filesystem::path Win32Desktop::partFileFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return std::filesystem::path(std::wstring(buffer, length <= MAX_PATH ? length : 0));
}

void Win32Desktop::messageBox(const WString& text, MessageIcon icon, bool owned) {
  tellStandardError(text);
  MessageBoxW(owned ? hwnd_ : nullptr, text.c_str(), kCaption,
              icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
}

bool Win32Desktop::askYesNo(const WString& text) {
  tellStandardError(text);
  return MessageBoxW(hwnd_, text.c_str(), kCaption, MB_ICONINFORMATION | MB_YESNO) == IDYES;
}

void Win32Desktop::openWebAddress(const WString& url) { shellOpen(hwnd_, url.c_str(), nullptr, nullptr); }

void Win32Desktop::openFile(const std::filesystem::path& file) {
  const std::wstring folder = file.parent_path().wstring();
  shellOpen(hwnd_, file.c_str(), nullptr, folder.c_str());
}

void Win32Desktop::revealFile(const std::filesystem::path& file) {
  const std::wstring parameters = L"/select,\"" + file.wstring() + L"\"";
  shellOpen(hwnd_, L"explorer.exe", parameters.c_str(), nullptr);
}

bool Win32Desktop::startDetached(const std::filesystem::path& program, const std::vector<WString>& args) {
  std::wstring parameters;
  for (const auto& arg : args) {
    if (!parameters.empty()) parameters += L' ';
    parameters += quoteArgument(arg);
  }
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, L"open", program.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                    SW_SHOWNORMAL));
  return result > 32;
}

bool Win32Desktop::autostartOn() { return autostartValuePresent(); }

bool Win32Desktop::setAutostart(bool enable) {
  if (applyAutostart(enable, executablePath())) return true;
  std::fprintf(stderr, "tamsel-desk: cannot change HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\n");
  return false;
}
