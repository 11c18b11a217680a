#pragma once
// The one application object. It owns the page-facing state and every service's state, and all
// of its main-thread work is driven by the backend's loop through the on... entry points below.
// The platform is reached only through Desktop and WebHost; workers reach the main thread only
// through their events (common/WorkerEvents.h), which App turns into Desktop::post with the
// private messages of app/messages.h.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Desktop.h"
#include "app/DesktopEvents.h"
#include "app/Timers.h"
#include "app/messages.h"
#include "common/WorkerEvents.h"
#include "common/json.h"
#include "common/text.h"
#include "common/version.h"
#include "web/Rect.h"
#include "web/WebHost.h"

struct FileJob;
struct UpdateReady;
class LanServer;

class App final : public DesktopEvents, public WebHostEvents, public WorkerEvents {
 public:
  App(Desktop& desktop, WebHost& web);
  ~App() override;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Configuration steps, then the window phase; returns the exit code. The backend's loop runs
  // inside runLoop(), which the window phase calls.
  int run();

  // ---- DesktopEvents (the window procedure's cases) ----
  void onTaskbarCreated() override;  // re-adds the icon
  void onDestroy() override;
  void onSize() override;
  void onSetFocus() override;
  void onClose() override;  // destroys the window
  void onWorkAreaChanged() override;
  void onDisplayChanged() override;
  void onDpiChanged() override;
  void onCompositionChanged() override;  // transparency is applied again
  void onTimer(int id) override;
  void onSessionChange(bool locked) override;
  void onTrayEvent(TrayEvent event) override;
  void onTrayMenuChoice(int id, bool shownVisible) override;
  // Dropped, with its payload, once closing.
  void onPrivateMessage(unsigned message, std::uintptr_t wParam, PayloadPtr payload) override;

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
  WString deskPageUrl() const override { return pageUrl; }

  // ---- WorkerEvents (any thread, under the worker's link) ----
  void report(const PageEvent& event) override;
  void fileDone(std::unique_ptr<FileJob> job) override;
  void updateReady(std::unique_ptr<UpdateReady> ready) override;
  bool updateChecked(UpdateOutcome outcome) override;

  // ---- shell core ----
  void applyTransparency();
  void placeWindow();
  void restartWeb();
  void addTrayIcon();
  // Hands the desktop the menu for the window's state now (after a change of visibility,
  // monitors or autostart, and before it is shown).
  void updateTrayMenu();
  void showTrayMenu();
  void setAutostart(bool enable);
  bool isAutostartOn();
  void hide();
  // The page's hide: for ms milliseconds (at most a day); anything but a positive ms is ignored.
  void hideFor(double ms);
  void show();
  void openUrl(const WString& url);
  void setClickThrough(bool on);
  // Tells the desktop where the page now takes the mouse.
  void reportPageRegion();
  // A page that is gone or reloading has no shapes, no press and no drag any more.
  void forgetPageState();
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
  // The page's "fileOpenPath" or "fileReveal": a file this run saved, or the "gone" callback.
  void openSavedFile(const std::filesystem::path& path, bool reveal);
  void runScript(const WString& script);
  void postScript(const WString& script);  // any thread

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
  // workers: what every worker thread holds instead of the App (see common/WorkerLink.h).
  std::shared_ptr<class WorkerLink> workerLink;
  // files: where save names are looked up and folders made; null is the disk itself.
  class FolderModel* saveFolders = nullptr;
  // lan:
  void lanGet(const Json& message);
  void lanSinkGet(const Json& message);
  // The server and the LAN workers; stopped as the App goes, and kept by its workers until they end.
  std::shared_ptr<class LanRuntime> lanRuntime;
  // update:

 private:
  int windowPhase();

  Desktop& desktop_;
  WebHost& web_;
  bool offlineNavigation_ = false;  // the next navigation is the offline notice's own
};
