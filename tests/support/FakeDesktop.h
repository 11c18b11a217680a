#pragma once
// A scripted desktop for driving App in tests: every query answers from a public field the test
// sets, and every action is recorded for the test to read back. Not thread-safe except post(),
// tickMs() and keepAwake(), which lock like a real backend's would.
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/Desktop.h"
#include "support/TempDir.h"


struct FakeMonitor {
  MonitorHandle handle = 0;
  WString deviceName;
  ScreenRect workArea;
  ScreenRect bounds;  // the whole monitor; used for nearest-to-point (defaults to workArea)
};

struct PostedMessage {
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  PayloadPtr payload;
};

struct ShownBox {
  WString text;
  MessageIcon icon = MessageIcon::Error;
  bool owned = false;
};

struct TimerEvent {
  int id = 0;
  std::uint32_t intervalMs = 0;  // 0 for a kill
  bool started = true;
};

struct DetachedStart {
  std::filesystem::path program;
  std::vector<WString> args;
};

class FakeDesktop : public Desktop {
 public:
  FakeDesktop();
  ~FakeDesktop() override;

  // ---- scripted state ----
  InstanceLock instanceLock = InstanceLock::Acquired;
  int showRequests = 0;  // requestShowFromFirst calls

  std::filesystem::path exePath;  // defaults to <temp>/bin/tamsel-desk
  std::vector<WString> arguments;
  std::optional<std::filesystem::path> localAppData;  // defaults to <temp>/local
  bool createDataFolderOk = true;
  std::vector<std::filesystem::path> createdFolders;
  std::optional<std::filesystem::path> downloads;  // defaults to <temp>/Downloads
  std::filesystem::path partFolder;                // defaults to <temp>/parts

  // Window.
  bool createWindowOk = true;
  int createWindowCalls = 0;
  bool windowAlive = false;
  // When set, destroyWindow() does not call App::onDestroy (a backend without that case).
  bool destroyCallsOnDestroy = true;
  // createWindow() succeeds but the window is gone at once (windowExists() reports false).
  bool windowVanishes = false;
  bool visible = false;
  int showCalls = 0;
  int hideCalls = 0;
  ScreenRect windowRect;
  std::vector<ScreenRect> rectsSet;
  bool clickThrough = true;
  std::vector<bool> clickThroughSet;
  bool foreground = false;
  int setForegroundCalls = 0;
  double scale = 1.0;
  int transparencyCalls = 0;

  // Monitors in the platform's order; the first is primary unless primaryIndex says otherwise.
  std::vector<FakeMonitor> monitors;
  std::size_t primaryIndex = 0;
  bool workAreaFails = false;

  // Input and clock.
  ScreenPoint cursor;
  bool buttonsDown = false;
  std::uint32_t idleMs = 0;
  std::atomic<std::uint64_t> tick{1000000};
  void advance(std::uint64_t ms) { tick += ms; }

  // Timers.
  std::vector<TimerEvent> timerEvents;  // starts and kills, in order
  std::vector<int> activeTimers() const;  // started and not killed since
  std::optional<std::uint32_t> timerInterval(int id) const;

  // Posting.
  bool postFails = false;
  std::deque<PostedMessage> queue;
  int postCalls = 0;
  // Delivers everything queued (including what delivery posts) to target.onPrivateMessage.
  // Returns how many were delivered.
  int pump(DesktopEvents& target);

  // Loop.
  std::optional<int> quitCode;
  // Run inside runLoop(); the loop then returns quitCode (or 0 when nothing quit).
  std::function<void()> loopBody;

  // Boxes.
  std::vector<ShownBox> boxes;
  std::vector<WString> questions;
  bool answerYes = false;

  // Tray: the menu last handed out, and what a popup of it picks (0: dismissed).
  int trayAdds = 0;
  int trayRemoves = 0;
  int menuAnswer = 0;
  TrayMenu trayMenu;
  int menuShows = 0;

  // Hand-offs.
  std::vector<WString> openedAddresses;
  std::vector<std::filesystem::path> openedFiles;
  std::vector<std::filesystem::path> revealedFiles;
  std::vector<DetachedStart> detachedStarts;
  bool startDetachedOk = true;

  // Autostart.
  bool autostart = false;
  bool autostartRefuses = false;
  std::vector<bool> autostartSets;

  // Keep-awake: the running count and the calls.
  int keepAwakeCount = 0;
  int keepAwakeCalls = 0;
  int keepAwakeRequests();  // the count, read under the lock workers take

  // Workers: every start's name, in order; refused (the work dropped unrun) while set, so a
  // test sees what would run without anything reaching the network.
  bool refuseWorkers = false;
  std::vector<std::string> startedWorkers;

  // Session.
  bool sessionRegistered = false;
  int sessionRegisterCalls = 0;
  int sessionUnregisterCalls = 0;

  // The receiver the core registered (runShell builds its own App).
  DesktopEvents* events = nullptr;

  // Thrown from executablePath(), the first thing App::run asks for.
  bool executablePathThrows = false;

  const TempDir& temp() const { return temp_; }

  // ---- Desktop ----
  void setEvents(DesktopEvents* e) override { events = e; }
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
  bool startWorker(const char* name, std::function<void()> work) override;
  void registerSessionNotifications() override;
  void unregisterSessionNotifications() override;

  // A single full-HD monitor at the origin with a 40 px task bar, named "\\.\DISPLAY1".
  static FakeMonitor standardMonitor(MonitorHandle handle = 1, int left = 0, const char* name = "\\\\.\\DISPLAY1");

 private:
  TempDir temp_{"desktop"};
  std::mutex mutex_;  // guards queue, postCalls, keepAwake*, startedWorkers
};
