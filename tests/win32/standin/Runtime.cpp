// The loader's two exports, the environment, the record of calls and the test's command line.
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "WebView.h"

namespace standin {
namespace {

std::wstring setting(const wchar_t* name) {
  wchar_t buffer[2048] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, 2048);
  return length && length < 2048 ? std::wstring(buffer, length) : std::wstring();
}

std::wstring controlDir() {
  static const std::wstring dir = setting(L"DESK_STANDIN_DIR");
  return dir;
}

std::deque<std::function<void()>>& queue() {
  static std::deque<std::function<void()>> work;
  return work;
}

std::vector<std::wstring> split(const std::wstring& line) {
  std::vector<std::wstring> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find(L'\t', start);
    fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
    if (tab == std::wstring::npos) return fields;
    start = tab + 1;
  }
}

// The popup menu this process shows, if any, and its handle.
HWND openMenu(HMENU& menu) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"#32768", nullptr))) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    menu = reinterpret_cast<HMENU>(SendMessageW(window, 0x01E1 /* MN_GETHMENU */, 0, 0));
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && menu) return window;
  }
  return nullptr;
}

// Menus belong to their process under Wine, so the test reads and picks from in here: records
// "menu ID:TEXT:CHECKED|..." (a separator as 0::0), or picks ID by the keyboard (0 closes).
void popupMenu(int pick) {
  HMENU menu = nullptr;
  HWND window = openMenu(menu);
  if (!window) {
    record("menu none");
    return;
  }
  if (pick == 0) {
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    return;
  }
  std::string items;
  int steps = 0;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = 256;
    GetMenuItemInfoW(menu, i, TRUE, &item);
    const bool separator = item.fType & MFT_SEPARATOR;
    if (!separator) ++steps;
    if (pick > 0 && !separator && static_cast<int>(item.wID) == pick) {
      for (int s = 0; s < steps; ++s) PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
      return;
    }
    items += (items.empty() ? "" : "|") + std::to_string(separator ? 0 : item.wID) + ":" + narrow(text) + ":" +
             ((item.fState & MFS_CHECKED) ? "1" : "0");
  }
  if (pick < 0) record("menu " + items);
}

// One test command: a verb and its tab-separated fields.
void command(const std::wstring& line) {
  const auto f = split(line);
  const std::wstring& verb = f[0];
  auto field = [&](std::size_t i) { return i < f.size() ? f[i] : std::wstring(); };
  record("command " + narrow(line.c_str()));
  if (verb == L"offline") {
    setOffline(field(1) == L"on");
    return;
  }
  if (verb == L"menu" || verb == L"pick") {
    popupMenu(verb == L"pick" ? _wtoi(field(1).c_str()) : -1);
    return;
  }
  WebView* view = currentView();
  if (!view) return;
  if (verb == L"message") {
    raiseWebMessage(*view, field(1), field(2), field(3));
  } else if (verb == L"navigate") {
    startNavigation(*view, field(1));
  } else if (verb == L"new-window") {
    raiseNewWindow(*view, field(1));
  } else if (verb == L"complete") {
    raiseCompleted(*view, field(1) == L"ok", field(1) == L"cancel" ? COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED : 12);
  } else if (verb == L"process-failed") {
    raiseProcessFailed(*view, field(1) == L"browser" ? 0 : 1);
  } else if (verb == L"permission") {
    raisePermission(*view);
  }
}

// New whole lines of commands.txt since the last look.
void readCommands() {
  static std::streamoff consumed = 0;
  if (controlDir().empty()) return;
  std::ifstream in(std::filesystem::path(controlDir() + L"\\commands.txt"), std::ios::binary);
  if (!in) return;
  in.seekg(consumed);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t end = text.rfind('\n');
  if (end == std::string::npos) return;
  consumed += static_cast<std::streamoff>(end + 1);
  std::istringstream lines(text.substr(0, end + 1));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) later([w = wide(line)] { command(w); });
  }
}

UINT_PTR& timer() {
  static UINT_PTR id = 0;
  return id;
}

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
  readCommands();
  // Work queued while this runs waits for the next tick, as a message posted meanwhile would.
  std::deque<std::function<void()>> now;
  now.swap(queue());
  for (auto& work : now) work();
  // With no test to listen to, the runtime rests like a real one once its work is done (the
  // idle benchmark counts the shell's wake-ups, not the stand-in's).
  if (controlDir().empty() && queue().empty() && timer()) {
    KillTimer(nullptr, timer());
    timer() = 0;
  }
}

class Environment final : public Object<ICoreWebView2Environment> {
 public:
  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    record("CreateCoreWebView2Controller");
    if (failing("controller-refused") || !handler) return E_FAIL;
    ComRef<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> keep(handler);
    later([keep, parent] {
      if (failing("controller")) {
        keep->Invoke(E_FAIL, nullptr);
        return;
      }
      auto controller = ComRef<ICoreWebView2Controller>::adopt(newController(parent));
      keep->Invoke(S_OK, controller.get());
    });
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2Environment); }
};

}  // namespace

std::string narrow(const wchar_t* text) {
  if (!text || !*text) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

void record(const std::string& line) {
  if (controlDir().empty()) return;
  std::string escaped;
  for (const char c : line) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
  std::ofstream out(std::filesystem::path(controlDir() + L"\\calls.log"), std::ios::binary | std::ios::app);
  out << escaped << '\n';
}

bool failing(const char* step) {
  static const std::string fail = narrow(setting(L"DESK_STANDIN_FAIL").c_str());
  return fail == step;
}

void later(std::function<void()> fn) {
  queue().push_back(std::move(fn));
  startTimer();
}

void startTimer() {
  if (!timer()) timer() = SetTimer(nullptr, 0, 20, tick);
}

LPWSTR taskText(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  if (copy) std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
  return copy;
}

}  // namespace standin

using namespace standin;

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
GetAvailableCoreWebView2BrowserVersionString(PCWSTR, LPWSTR* versionInfo) {
  record("GetAvailableCoreWebView2BrowserVersionString");
  if (!versionInfo) return E_POINTER;
  *versionInfo = nullptr;
  if (failing("version")) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (failing("no-version")) return S_OK;
  *versionInfo = taskText(L"0.0.0.0 stand-in");
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
CreateCoreWebView2EnvironmentWithOptions(PCWSTR, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions*,
                                         ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  wchar_t background[64] = {};
  GetEnvironmentVariableW(L"WEBVIEW2_DEFAULT_BACKGROUND_COLOR", background, 64);
  record("CreateCoreWebView2EnvironmentWithOptions " + narrow(userDataFolder) + " background=" + narrow(background));
  if (failing("environment-refused") || !handler) return E_FAIL;
  startTimer();
  ComRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> keep(handler);
  later([keep] {
    if (failing("environment")) {
      keep->Invoke(HRESULT_FROM_WIN32(ERROR_INVALID_STATE), nullptr);
      return;
    }
    auto environment = ComRef<ICoreWebView2Environment>::adopt(new Environment());
    keep->Invoke(S_OK, environment.get());
  });
  return S_OK;
}
