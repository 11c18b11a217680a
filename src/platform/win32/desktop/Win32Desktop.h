#pragma once
// The desktop seam on Win32. One layered, top-most, transparent tool window over a monitor's work
// area that is never activated by a click-through and has no taskbar button; every coordinate
// here is in physical pixels (the program is per-monitor DPI aware), so at 144 DPI a page pixel
// is one and a half window pixels and windowScale() says so.
//
// The main loop is the thread's message queue. Timers are window timers; post() puts the
// payload in a post box and posts its number, so the window procedure only ever frees what this
// process put there, and payloads still queued when the loop ends are freed with the box.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "PostBox.h"
#include "app/Desktop.h"
#include "app/TrayClicks.h"

class SingleInstance;
class Win32Tray;

class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(HINSTANCE instance);
  ~Win32Desktop() override;
  Win32Desktop(const Win32Desktop&) = delete;
  Win32Desktop& operator=(const Win32Desktop&) = delete;

  void setEvents(DesktopEvents* events) override { events_ = events; }
  // Something the pointer tick depends on changed besides the pointer (a shape from the page):
  // the tick runs again even if the pointer rests.
  void wakePointerTick();
  HWND window() const { return hwnd_; }
  HINSTANCE instance() const { return instance_; }

  InstanceLock acquireSingleInstance() override;
  void requestShowFromFirst() override;

  std::filesystem::path executablePath() override;
  std::vector<WString> commandLineArguments() override;
  std::optional<std::filesystem::path> localAppDataFolder() override;
  bool createDataFolder(const std::filesystem::path& dir) override;
  std::optional<std::filesystem::path> downloadsFolder() override;
  std::filesystem::path partFileFolder() override;

  bool createWindow() override;
  void destroyWindow() override;
  bool windowExists() override;
  void showWindowNoActivate() override;
  void hideWindow() override;
  bool windowVisible() override;
  void setWindowRect(const ScreenRect& rect) override;
  ScreenRect clientRect() override;
  ScreenPoint screenToClient(ScreenPoint p) override;
  void setClickThrough(bool on) override;
  bool isForeground() override;
  void setForeground() override;
  double windowScale() override;
  void applyTransparency() override;

  std::vector<MonitorHandle> listMonitors() override;
  WString monitorDeviceName(MonitorHandle monitor) override;
  std::optional<ScreenRect> monitorWorkArea(MonitorHandle monitor) override;
  MonitorHandle monitorNearest(ScreenPoint p) override;
  MonitorHandle primaryMonitor() override;

  ScreenPoint cursorPos() override;
  bool mouseButtonsDown() override;
  std::uint32_t millisSinceLastInput() override;

  std::uint64_t tickMs() override;
  void startTimer(int id, std::uint32_t intervalMs) override;
  void killTimer(int id) override;
  bool post(unsigned message, std::uintptr_t wParam, PayloadPtr& payload) override;
  int runLoop() override;
  void quit(int code) override;

  void messageBox(const WString& text, MessageIcon icon, bool owned) override;
  bool askYesNo(const WString& text) override;

  void addTrayIcon() override;
  void removeTrayIcon() override;
  void setTrayMenu(const TrayMenu& menu) override;
  void popTrayMenu() override;

  void openWebAddress(const WString& url) override;
  void openFile(const std::filesystem::path& file) override;
  void revealFile(const std::filesystem::path& file) override;
  bool startDetached(const std::filesystem::path& program, const std::vector<WString>& args) override;

  bool autostartOn() override;
  bool setAutostart(bool enable) override;

  void keepAwake(bool on) override;

  void registerSessionNotifications() override;
  void unregisterSessionNotifications() override;

 private:
  static LRESULT CALLBACK windowProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void onDestroy();
  // Started at log-on, the shell may ask for session notifications before Remote Desktop
  // Services are up; it asks again every few seconds until they are.
  static constexpr UINT_PTR kSessionRetryTimer = 0x5e55;
  void retrySessionNotifications();
  void pointerTicked();  // after a pointer tick: rests it once the pointer is still

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  DesktopEvents* events_ = nullptr;
  UINT taskbarCreatedMsg_ = 0;
  bool destroying_ = false;
  bool sessionRegistered_ = false;
  int sessionRetries_ = 0;
  // The pointer tick (see Win32Loop.cpp).
  bool rawMouse_ = false;
  bool pointerWatched_ = false;
  bool pointerTicking_ = false;
  UINT pointerIntervalMs_ = 33;
  int quietTicks_ = 0;
  POINT lastTickAt_{};
  int quitCode_ = 0;
  bool quitRequested_ = false;

  PostBox postBox_;
  std::atomic<bool> accepting_{true};
  // The window as workers see it: set once it exists, cleared as it goes.
  std::atomic<HWND> postTarget_{nullptr};

  std::unique_ptr<SingleInstance> instanceLock_;
  bool firstInstance_ = false;
  std::unique_ptr<Win32Tray> tray_;
  TrayMenu trayMenu_;  // as the core handed it last
  TrayClicks trayClicks_;
  bool menuOpen_ = false;  // the tray's reports meanwhile belong to the gesture that opened it
};
