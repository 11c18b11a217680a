// The companion window: a layered, top-most tool window, created hidden and click-through, and
// the window procedure that turns its messages into the core's events. Click-through is the
// pair of extended style bits WS_EX_TRANSPARENT and WS_EX_NOACTIVATE: with both set, a layered
// window lets every mouse event through to the window beneath and is never activated.
#include "Win32Desktop.h"

#include <dwmapi.h>
#include <wtsapi32.h>

#include <cstdio>

#include "SingleInstance.h"
#include "app/Timers.h"
#include "Win32Tray.h"

namespace {

constexpr wchar_t kWindowClass[] = L"TamselDeskNativeWindow";
constexpr wchar_t kTitle[] = L"在线Tamsel桌面小屋";
constexpr DWORD kStyle = WS_POPUP;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE;
constexpr LONG_PTR kClickThroughBits = WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
constexpr int kIconResource = 101;
// IDC_ARROW in its wide form, whatever the UNICODE setting.
const LPCWSTR kArrowCursor = MAKEINTRESOURCEW(32512);

TrayNotice trayNotice(LPARAM lParam) {
  switch (LOWORD(lParam)) {
    case WM_LBUTTONUP:
      return TrayNotice::LeftButtonUp;
    case WM_RBUTTONUP:
      return TrayNotice::RightButtonUp;
    case WM_CONTEXTMENU:
      return TrayNotice::ContextMenu;
    case NIN_SELECT:
      return TrayNotice::Select;
    case NIN_KEYSELECT:
      return TrayNotice::KeySelect;
    default:
      return TrayNotice::Other;
  }
}

}  // namespace

Win32Desktop::Win32Desktop(HINSTANCE instance) : instance_(instance) {}

Win32Desktop::~Win32Desktop() {
  accepting_ = false;
  events_ = nullptr;
  tray_.reset();
  if (hwnd_) DestroyWindow(hwnd_);
  postBox_.clear();
}

bool Win32Desktop::createWindow() {
  if (hwnd_) return true;
  taskbarCreatedMsg_ = RegisterWindowMessageW(L"TaskbarCreated");

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = windowProcThunk;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconResource));
  windowClass.hCursor = LoadCursorW(nullptr, kArrowCursor);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);  // a second registration in the same process fails harmlessly

  hwnd_ = CreateWindowExW(kExStyle, kWindowClass, kTitle, kStyle, 0, 0, 100, 100, nullptr, nullptr, instance_,
                          nullptr);
  if (!hwnd_) {
    fwprintf(stderr, L"tamsel-desk: cannot create the main window (error %lu)\n", GetLastError());
    return false;
  }
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  postTarget_ = hwnd_;
  return true;
}

void Win32Desktop::applyTransparency() {
  if (!hwnd_) return;
  // Blur behind an empty region: the compositor keeps the window's per-pixel alpha and blurs
  // nothing, so whatever the page leaves transparent shows the desktop as it is.
  HRGN empty = CreateRectRgn(0, 0, -1, -1);
  DWM_BLURBEHIND blur{};
  blur.dwFlags = DWM_BB_ENABLE | DWM_BB_BLURREGION;
  blur.fEnable = TRUE;
  blur.hRgnBlur = empty;
  blur.fTransitionOnMaximized = FALSE;
  DwmEnableBlurBehindWindow(hwnd_, &blur);
  if (empty) DeleteObject(empty);
  SetLayeredWindowAttributes(hwnd_, 0, 255, LWA_ALPHA);
}

LRESULT CALLBACK Win32Desktop::windowProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* desktop = reinterpret_cast<Win32Desktop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!desktop) return DefWindowProcW(hwnd, message, wParam, lParam);
  // Nothing may unwind through a sent message into the system's code: a case that throws
  // counts as handled and the loop goes on.
  try {
    return desktop->windowProc(hwnd, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT Win32Desktop::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    onDestroy();
    return 0;
  }
  // Outside the core's life every message gets the default handling.
  DesktopEvents* events = events_;
  if (!events) return DefWindowProcW(hwnd, message, wParam, lParam);

  if (taskbarCreatedMsg_ != 0 && message == taskbarCreatedMsg_) {
    events->onTaskbarCreated();
    return 0;
  }
  switch (message) {
    case WM_SIZE:
      events->onSize();
      return 0;
    case WM_SETFOCUS:
      events->onSetFocus();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_CLOSE:
      events->onClose();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETWORKAREA) events->onWorkAreaChanged();
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_DISPLAYCHANGE:
      events->onDisplayChanged();
      return 0;
    case WM_TIMER:
      if (wParam == kSessionRetryTimer) {
        retrySessionNotifications();
      } else {
        events->onTimer(static_cast<int>(wParam));
        if (wParam == kTimerPointer) pointerTicked();
      }
      return 0;
    case WM_INPUT:
      wakePointerTick();
      return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_WTSSESSION_CHANGE:
      if (wParam == WTS_SESSION_LOCK) events->onSessionChange(true);
      if (wParam == WTS_SESSION_UNLOCK) events->onSessionChange(false);
      return 0;
    case WM_DPICHANGED:
      if (tray_) tray_->updateIcon();
      events->onDpiChanged();
      return 0;
    case WM_DWMCOMPOSITIONCHANGED:
      events->onCompositionChanged();
      return 0;
    case WM_TRAY_NOTIFY:
      if (!menuOpen_) {
        const TrayEvent event = trayClicks_.accept(trayNotice(lParam), tickMs());
        if (event != TrayEvent::Other) events->onTrayEvent(event);
      }
      return 0;
    case WM_SHOW_SHELL:
    case WM_RESTART_WEB:
    case WM_UPDATE_READY:
    case WM_UPDATE_STATE:
    case WM_FILE_DONE:
    case WM_RUN_SCRIPT:
      events->onPrivateMessage(message, wParam, postBox_.take(static_cast<std::uintptr_t>(lParam)));
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

void Win32Desktop::onDestroy() {
  postTarget_ = nullptr;
  // The core still sees the window here: the tray icon, the session registration and the timers go
  // with it. Afterwards nothing may reach the handle.
  if (events_) {
    events_->onDestroy();
  } else {
    removeTrayIcon();
    unregisterSessionNotifications();
    quit(0);
  }
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  hwnd_ = nullptr;
}

void Win32Desktop::destroyWindow() {
  if (!hwnd_ || destroying_) return;
  destroying_ = true;
  // WM_DESTROY, and with it onDestroy, runs before DestroyWindow returns.
  DestroyWindow(hwnd_);
  destroying_ = false;
}

bool Win32Desktop::windowExists() { return hwnd_ != nullptr && IsWindow(hwnd_); }

void Win32Desktop::showWindowNoActivate() {
  if (hwnd_) ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
  wakePointerTick();
}

void Win32Desktop::hideWindow() {
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

bool Win32Desktop::windowVisible() { return hwnd_ && IsWindowVisible(hwnd_); }

void Win32Desktop::setWindowRect(const ScreenRect& rect) {
  if (!hwnd_) return;
  SetWindowPos(hwnd_, HWND_TOPMOST, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOACTIVATE);
  wakePointerTick();
}

ScreenRect Win32Desktop::clientRect() {
  RECT client{};
  if (!hwnd_ || !GetClientRect(hwnd_, &client)) return {};
  return {client.left, client.top, client.right, client.bottom};
}

ScreenPoint Win32Desktop::screenToClient(ScreenPoint p) {
  POINT point{p.x, p.y};
  if (hwnd_) ScreenToClient(hwnd_, &point);
  return {point.x, point.y};
}

void Win32Desktop::setClickThrough(bool on) {
  if (!hwnd_) return;
  LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & ~kClickThroughBits;
  if (on) style |= kClickThroughBits;
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, style);
}

bool Win32Desktop::isForeground() { return hwnd_ && GetForegroundWindow() == hwnd_; }

void Win32Desktop::setForeground() {
  if (hwnd_) SetForegroundWindow(hwnd_);
}

double Win32Desktop::windowScale() {
  const UINT dpi = hwnd_ ? GetDpiForWindow(hwnd_) : 0;
  return dpi ? dpi / 96.0 : 1.0;
}
