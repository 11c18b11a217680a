// Process facts, known folders, message boxes and the hand-offs to the user's desktop.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "Autostart.h"
#include "ShellFolders.h"
#include "ShellOpen.h"
#include "SingleInstance.h"
#include "StartHidden.h"
#include "Win32Desktop.h"
#include "common/text.h"
#include "files/FilePlatform.h"

namespace {

constexpr wchar_t kCaption[] = L"在线Tamsel桌面小屋";

// The same text on standard error, so a terminal or a log also learns why.
void tellStandardError(const WString& text) {
  const std::string narrow = toNarrow(text);
  std::fprintf(stderr, "tamsel-desk: %s\n", narrow.c_str());
  std::fflush(stderr);
}

}  // namespace

InstanceLock Win32Desktop::acquireSingleInstance() {
  // Asked once before COM starts and again by runShell: the first answer stands.
  if (!instanceLock_) {
    instanceLock_ = std::make_unique<SingleInstance>();
    firstInstance_ = instanceLock_->acquire();
  }
  return firstInstance_ ? InstanceLock::Acquired : InstanceLock::AnotherRuns;
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

std::optional<std::filesystem::path> Win32Desktop::localAppDataFolder() { return knownLocalAppDataFolder(); }

bool Win32Desktop::createDataFolder(const std::filesystem::path& dir) {
  if (createFolders(dir)) return true;
  std::fprintf(stderr, "tamsel-desk: cannot create the data folder %s\n", toNarrow(pathWide(dir)).c_str());
  return false;
}

std::optional<std::filesystem::path> Win32Desktop::downloadsFolder() { return knownDownloadsFolder(); }

std::filesystem::path Win32Desktop::partFileFolder() { return temporaryFolder(); }

void Win32Desktop::messageBox(const WString& text, MessageIcon icon, bool owned) {
  tellStandardError(text);
  MessageBoxW(owned ? hwnd_ : nullptr, text.c_str(), kCaption,
              icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
}

bool Win32Desktop::askYesNo(const WString& text) {
  tellStandardError(text);
  return MessageBoxW(hwnd_, text.c_str(), kCaption, MB_ICONINFORMATION | MB_YESNO) == IDYES;
}

void Win32Desktop::openWebAddress(const WString& url) {
  ShellExecuteW(hwnd_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32Desktop::openFile(const std::filesystem::path& file) { shellOpenFile(hwnd_, file); }

void Win32Desktop::revealFile(const std::filesystem::path& file) { shellRevealFile(hwnd_, file); }

bool Win32Desktop::startDetached(const std::filesystem::path& program, const std::vector<WString>& args) {
  return shellStartHidden(program, args);
}

bool Win32Desktop::autostartOn() { return autostartValuePresent(); }

bool Win32Desktop::setAutostart(bool enable) {
  if (applyAutostart(enable, executablePath())) return true;
  std::fprintf(stderr, "tamsel-desk: cannot change HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\n");
  return false;
}
