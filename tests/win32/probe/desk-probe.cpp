// desk-probe: reads and nudges the running shell from inside the same Wine prefix, for the
// tests on the Linux side, which see only X11. One command per run; the answer is one line of
// JSON on standard output, exit status 0 when the shell's window was found.
//   desk-probe window           the main window: visible, extended style, rectangle, work area
//   desk-probe at X Y           the class of the top-level window at a screen point
//   desk-probe post MSG W L     posts a message to the main window
//   desk-probe box              the open message box's text, or nothing
//   desk-probe answer ID        presses a button of the open message box (IDOK 1, IDYES 6, IDNO 7)
//   desk-probe hold FILE        keeps FILE open, letting others only read it, until ended
//   desk-probe await NAME       waits for a program of that name to start (within a minute) and end:
//                               its exit code
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr wchar_t kCaption[] = L"在线Tamsel桌面小屋";

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size - 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::string jsonString(const std::wstring& text) {
  std::string out = "\"";
  for (const char c : utf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

HWND shell() { return FindWindowW(L"TamselDeskNativeWindow", nullptr); }
HWND box() { return FindWindowW(L"#32770", kCaption); }

int window() {
  HWND hwnd = shell();
  if (!hwnd) {
    std::puts("{\"found\":false}");
    return 1;
  }
  RECT r{};
  GetWindowRect(hwnd, &r);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
  const RECT& w = info.rcWork;
  std::printf("{\"found\":true,\"visible\":%s,\"exstyle\":%lu,\"rect\":[%ld,%ld,%ld,%ld],\"work\":[%ld,%ld,%ld,%ld]}\n",
              IsWindowVisible(hwnd) ? "true" : "false",
              static_cast<unsigned long>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)), r.left, r.top, r.right, r.bottom,
              w.left, w.top, w.right, w.bottom);
  return 0;
}

int at(int x, int y) {
  HWND hit = WindowFromPoint(POINT{x, y});
  wchar_t name[256] = {};
  if (hit) GetClassNameW(GetAncestor(hit, GA_ROOT), name, 256);
  std::printf("{\"class\":%s}\n", jsonString(name).c_str());
  return 0;
}

int boxText() {
  HWND dialog = box();
  wchar_t text[2048] = {};
  // The message text is the box's static control 0xFFFF.
  if (dialog) GetDlgItemTextW(dialog, 0xFFFF, text, 2048);
  std::printf("{\"open\":%s,\"text\":%s}\n", dialog ? "true" : "false", jsonString(text).c_str());
  return dialog ? 0 : 1;
}

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

// The first process of that program name that shows within a minute.
Handle findProcess(const wchar_t* name) {
  for (int tries = 0; tries < 6000; ++tries, Sleep(10)) {
    const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), CloseHandle);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
      if (lstrcmpiW(entry.szExeFile, name) == 0) {
        return Handle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID),
                      CloseHandle);
      }
    }
  }
  return Handle(nullptr, CloseHandle);
}

int hold(const wchar_t* file) {
  const Handle held(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr), CloseHandle);
  if (held.get() == INVALID_HANDLE_VALUE) return 1;
  std::puts("{\"held\":true}");
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}

int await(const wchar_t* name) {
  const Handle process = findProcess(name);
  DWORD code = 0;
  if (!process || WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &code)) {
    return 1;
  }
  std::printf("{\"exit\":%lu}\n", code);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring verb = argc > 1 ? argv[1] : L"";
  auto number = [&](int i) { return argc > i ? std::wcstoll(argv[i], nullptr, 0) : 0; };
  if (verb == L"window") return window();
  if (verb == L"at") return at(static_cast<int>(number(2)), static_cast<int>(number(3)));
  if (verb == L"post") {
    HWND hwnd = shell();
    return hwnd && PostMessageW(hwnd, static_cast<UINT>(number(2)), static_cast<WPARAM>(number(3)),
                                static_cast<LPARAM>(number(4)))
               ? 0
               : 1;
  }
  if (verb == L"box") return boxText();
  if (verb == L"answer") {
    HWND dialog = box();
    return dialog && PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(number(2)), 0) ? 0 : 1;
  }
  auto arg = [&](int i) { return argc > i ? argv[i] : L""; };
  if (verb == L"hold") return hold(arg(2));
  if (verb == L"await") return await(arg(2));
  std::fputs("usage: desk-probe window|at X Y|post MSG W L|box|answer ID|hold FILE|await NAME\n", stderr);
  return 2;
}
