#pragma once
// The one application object. It owns the page-facing state and every service's state, and all
// of its main-thread work is driven by the backend's loop through the on... entry points below.
// The platform is reached only through Desktop and WebHost; workers reach the main thread only
// through Desktop::post with the private messages of common/messages.h.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Desktop.h"
#include "common/json.h"
#include "common/messages.h"
#include "common/text.h"
#include "common/version.h"
#include "web/WebHost.h"

struct FileJob;
struct UpdateReady;
class LanServer;

struct Rect {
  double x = 0;
  double y = 0;
  double w = 0;
  double h = 0;
};

// Timer ids and intervals.
inline constexpr int kTimerPointer = 1;
inline constexpr int kTimerIdle = 2;
inline constexpr int kTimerActivity = 3;
inline constexpr int kTimerUpdate = 4;
inline constexpr int kTimerFirstUpdate = 5;
inline constexpr std::uint32_t kPointerIntervalMs = 33;
inline constexpr std::uint32_t kIdleIntervalMs = 5000;
inline constexpr std::uint32_t kActivityIntervalMs = 2000;
inline constexpr std::uint32_t kUpdateIntervalMs = 7200000;
inline constexpr std::uint32_t kFirstUpdateDelayMs = 20000;

// Tray menu command ids.
inline constexpr int IDM_SHOW_HIDE = 100;
inline constexpr int IDM_RELOAD = 101;
inline constexpr int IDM_OPEN_SITE = 102;
inline constexpr int IDM_AUTOSTART = 103;
inline constexpr int IDM_EXIT = 104;
inline constexpr int IDM_NEXT_SCREEN = 105;

class App final : public WebHostEvents {
 public:
  App(Desktop& desktop, WebHost& web);
  ~App() override;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Configuration steps, then the window phase; returns the exit code. The backend's loop runs
  // inside runLoop(), which the window phase calls.
  int run();

  // ---- entry points the backend calls on the main thread (the window procedure's cases) ----
  void onTaskbarCreated();      // the shell's taskbar (tray host) came back: re-add the icon
  void onDestroy();             // the window is being destroyed; from inside destroyWindow()
  void onSize();                // client size changed
  void onSetFocus();            // the window got the keyboard focus
  void onClose();               // a close request: destroys the window
  void onWorkAreaChanged();     // only for a work-area change, not for other setting changes
  void onDisplayChanged();      // monitors added, removed or resized
  void onDpiChanged();          // the window's scale changed
  void onCompositionChanged();  // the compositor restarted: transparency is applied again
  void onTimer(int id);         // a tick of a timer started with Desktop::startTimer
  void onSessionChange(bool locked);
  void onTrayEvent(TrayEvent event);
  // A tray menu item was picked. shownVisible: the window's visibility when that menu was made,
  // which chose the first item's text; a tray host that shows a menu exported earlier reports
  // its clicks here, so the item does what it said even if the window changed meanwhile.
  void onTrayMenuChoice(int id, bool shownVisible);
  // A post()ed message, on the loop's next turn. Dropped, with its payload, once closing.
  void onPrivateMessage(unsigned message, std::uintptr_t wParam, PayloadPtr payload);

  // ---- WebHostEvents ----
  void onEnvironmentCreated(bool ok) override;
  void onControllerCreated(bool ok) override;
  void onScriptAdded(bool ok) override;
  void onWebMessage(const WString& source, const WString& json,
                    const std::optional<WString>& filePath) override;
  bool onNavigationStarting(const WString& uri) override;
  void onNewWindowRequested(const WString& uri) override;
  void onNavigationCompleted(bool success, bool cancelled) override;
  void onProcessFailed(bool browserProcessExited) override;
  bool onPermissionRequested() override;

  // ---- shell core ----
  void applyTransparency();
  void placeWindow();
  void restartWeb();
  void addTrayIcon();
  void showTrayMenu();
  void setAutostart(bool enable);
  bool isAutostartOn();
  void hide();
  void show();
  void openUrl(const WString& url);
  void setClickThrough(bool on);
  void pointerTick();
  void activityTick(bool isActivity);
  void focusInput();
  MonitorHandle currentMonitor();
  void moveToMonitor(MonitorHandle monitor);
  void moveToNextMonitor();

  // ---- web host and bridge ----
  void startWeb();
  void setupWeb();
  void loadPage();
  void showOffline();
  void onPageMessage(const WString& source, const WString& json, const std::optional<WString>& filePath);
  bool isDeskPage(const WString& url) const;
  bool isSavedFile(const std::filesystem::path& path) const;
  void runScript(const WString& script);
  void postScript(const WString& script);  // any thread
  // Sees every page message just before it is handed on to fileGet, lanMessage, checkForUpdate
  // or installUpdate (type, message with "_path" settled); returning true keeps it from that
  // subsystem. Unset in the product; tests check the routing with it without starting transfers.
  std::function<bool(const std::string& type, const Json& message)> handOffHook;
  // Asked just before a worker thread starts, with the worker's name ("fileFetch", "update",
  // "lan"): false keeps the thread from starting, and the work goes with its job as when no
  // thread can be made. Unset in the product; the page-message fuzz target says no, so that
  // every message runs up to the thread boundary and nothing reaches the network.
  std::function<bool(const char* worker)> workerGate;
  bool workerMayStart(const char* worker) const { return !workerGate || workerGate(worker); }

  // ---- server files ----
  void fileGet(const Json& message);
  void onFileDone(std::unique_ptr<FileJob> job);
  bool isRiskyFile(const std::filesystem::path& path) const;
  void revealFile(const std::filesystem::path& path);
  void openFile(const std::filesystem::path& path);

  // ---- LAN ----
  void lanMessage(const std::string& type, const Json& message);

  // ---- update ----
  void checkForUpdate(bool manual);
  void onUpdateReady(std::unique_ptr<UpdateReady> ready);
  void announceUpdate();
  void installUpdate();

  // Posts a payload to the main thread unless closing; true when it now belongs to the receiver.
  bool postPayload(unsigned message, std::uintptr_t wParam, PayloadPtr payload);

  Desktop& desktop() { return desktop_; }
  WebHost& web() { return web_; }

  // ---- fields, in the record's order (window and WebView2 objects live in the backends) ----
  std::filesystem::path exePath;
  std::filesystem::path dataDir;
  std::atomic<bool> updateChecking{false};
  std::atomic<bool> updateManual{false};
  std::filesystem::path updatePath;
  std::string updateVersion;
  WString serverOrigin;
  WString pageUrl;
  std::vector<std::filesystem::path> savedFiles;
  std::vector<Rect> hitRects;
  Rect zoneRect;
  bool zoneValid = false;
  bool clickThrough = true;
  bool pressDown = false;
  bool fileDragging = false;
  bool hovering = false;
  bool sessionLocked = false;
  std::atomic<bool> closing{false};
  double pageScale = 1.0;
  ScreenPoint lastCursor;
  std::uint64_t lastMoveTick = 0;
  std::uint64_t hideUntil = 0;
  std::uint64_t reloadAt = 0;
  std::shared_ptr<LanServer> lan;
  WString savedMonitorName;
  bool screenLoaded = false;
  bool screenDragging = false;

  // ---- subsystem state beyond the record (each section owned by its subsystem) ----
  // workers: what file and update threads hold instead of the App (see WorkerLink.h).
  std::shared_ptr<class WorkerLink> workerLink;
  // files: where save names are looked up and folders made; null is the disk itself.
  class FolderModel* saveFolders = nullptr;
  // lan:
  void lanGet(const Json& message);
  void lanSinkGet(const Json& message);
  void postLanProgress(const std::string& id, std::uint64_t done, std::uint64_t total);  // any thread
  // Fetch threads and the server's threads; stopped and joined before the App goes away.
  std::shared_ptr<class LanRuntime> lanRuntime;
  // update:

 private:
  int windowPhase();

  Desktop& desktop_;
  WebHost& web_;
};

// Process entry shared by every backend: single instance, then App::run, with the exit codes
// and the start-up failure box. Never throws.
int runShell(Desktop& desktop, WebHost& web);
