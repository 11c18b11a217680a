#pragma once
// The desktop seam: everything App needs of the windowing system and the shell, nothing more.
// Each backend (Win32, GTK/X11) implements it; tests drive App through a fake.
// All calls are made on the main thread except post(), tickMs() and keepAwake(), which any
// thread may call. What the desktop has to tell goes to the DesktopEvents registered with it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/DesktopEvents.h"
#include "app/TrayMenu.h"
#include "app/messages.h"
#include "common/text.h"

struct ScreenPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const ScreenRect&) const = default;
};

// Where the page takes the mouse, in the window's client pixels: its shapes, widened as the
// pointer test widens them, and its drop zone with the drop margin, which takes the mouse only
// while a file is dragged.
struct PageRegion {
  std::vector<ScreenRect> shapes;
  std::optional<ScreenRect> zone;
  bool zoneTakesMouse = false;
};

// An opaque monitor identity valid while the monitor is attached; 0 is none.
using MonitorHandle = std::uintptr_t;

enum class MessageIcon { Error, Information };

// What a start finds about the single instance: only a shell that really runs counts as one;
// a lock or channel that cannot be made is a start-up failure like any other.
enum class InstanceLock { Acquired, AnotherRuns, Failed };

class Desktop {
 public:
  Desktop();
  virtual ~Desktop();

  // The core registers itself here as it is built and passes nullptr as it goes; no event is
  // delivered outside that time.
  virtual void setEvents(DesktopEvents* events) = 0;

  // One shell per user and log-on session (on X11: per user and display). AnotherRuns: then
  // requestShowFromFirst() asks that one to show itself (WM_SHOW_SHELL there). Failed: the
  // backend has written the cause to standard error.
  virtual InstanceLock acquireSingleInstance() = 0;
  virtual void requestShowFromFirst() = 0;

  virtual std::filesystem::path executablePath() = 0;
  virtual std::vector<WString> commandLineArguments() = 0;  // after the program name
  virtual std::optional<std::filesystem::path> localAppDataFolder() = 0;
  // Creates dataDir with its parents (private to the user where the platform can); false on failure.
  virtual bool createDataFolder(const std::filesystem::path& dir) = 0;
  virtual std::optional<std::filesystem::path> downloadsFolder() = 0;
  virtual std::filesystem::path partFileFolder() = 0;  // private temporary folder for LAN part files

  // Main window: created hidden, top-most, transparent, click-through, never activated.
  virtual bool createWindow() = 0;
  virtual void destroyWindow() = 0;  // synchronous: App::onDestroy runs before it returns
  virtual bool windowExists() = 0;
  virtual void showWindowNoActivate() = 0;
  virtual void hideWindow() = 0;
  virtual bool windowVisible() = 0;
  virtual void setWindowRect(const ScreenRect& rect) = 0;  // stays top-most, not activated
  virtual ScreenRect clientRect() = 0;                      // in client coordinates (0,0,w,h)
  virtual ScreenPoint screenToClient(ScreenPoint p) = 0;
  virtual void setClickThrough(bool on) = 0;                // style change only
  virtual bool isForeground() = 0;
  virtual void setForeground() = 0;
  virtual double windowScale() = 0;  // window pixels per page pixel (DPI / 96)
  virtual void applyTransparency() = 0;

  // Monitors in the platform's order.
  virtual std::vector<MonitorHandle> listMonitors() = 0;
  virtual WString monitorDeviceName(MonitorHandle monitor) = 0;  // empty on failure
  virtual std::optional<ScreenRect> monitorWorkArea(MonitorHandle monitor) = 0;
  virtual MonitorHandle monitorNearest(ScreenPoint p) = 0;
  virtual MonitorHandle primaryMonitor() = 0;

  // Input.
  virtual ScreenPoint cursorPos() = 0;
  virtual bool mouseButtonsDown() = 0;  // left or right, now
  virtual std::uint32_t millisSinceLastInput() = 0;

  // Clock: a millisecond tick that never wraps.
  virtual std::uint64_t tickMs() = 0;

  // Timers on the main window; ticks arrive as DesktopEvents::onTimer(id). A backend that hears pointer
  // input may run the kTimerPointer ticks only while the pointer moves or a button is held, and
  // whenever the window or the page's shapes change: a tick with all of them unchanged decides
  // nothing new.
  virtual void startTimer(int id, std::uint32_t intervalMs) = 0;
  virtual void killTimer(int id) = 0;

  // Any thread. On success the payload is moved out and delivered to onPrivateMessage
  // on the main thread; on failure it stays with the caller. Never blocks.
  virtual bool post(unsigned message, std::uintptr_t wParam, PayloadPtr& payload) = 0;
  // Runs the main loop until quit(); returns the quit code.
  virtual int runLoop() = 0;
  // Ends the main loop with this code (after the window is gone).
  virtual void quit(int code) = 0;

  // Modal boxes with the program's caption. owned: the main window is the owner.
  virtual void messageBox(const WString& text, MessageIcon icon, bool owned) = 0;
  virtual bool askYesNo(const WString& text) = 0;  // information icon, Yes/No

  // Tray.
  virtual void addTrayIcon() = 0;
  virtual void removeTrayIcon() = 0;
  // The menu as it now stands; kept until the next one (a tray host may show it at any time).
  virtual void setTrayMenu(const TrayMenu& menu) = 0;
  // Shows the menu last set at the cursor; a pick arrives as onTrayMenuChoice.
  virtual void popTrayMenu() = 0;

  // Hand-offs to the user's desktop; failures are ignored.
  virtual void openWebAddress(const WString& url) = 0;
  virtual void openFile(const std::filesystem::path& file) = 0;  // its folder as working folder
  virtual void revealFile(const std::filesystem::path& file) = 0;
  // Starts a program detached with arguments; false when it could not be started.
  virtual bool startDetached(const std::filesystem::path& program, const std::vector<WString>& args) = 0;

  // Autostart store (Run value / autostart desktop entry).
  virtual bool autostartOn() = 0;
  virtual bool setAutostart(bool enable) = 0;  // false when the store refused

  // Any thread. Keep the system awake while transfers run (counted: every true needs a false).
  virtual void keepAwake(bool on) = 0;

  // Any thread. Runs `work` on a worker thread of its own, named for what it does ("fileFetch",
  // "update", "lanGet", ...); false when none could be made, and the work (with all it holds)
  // is then dropped unrun. The default starts a detached thread, counted until it has ended
  // and let go of all its work held.
  virtual bool startWorker(const char* name, std::function<void()> work);
  // Waits up to ms (0: no limit) for the workers started by the default to end; true when none
  // runs. The process may end with workers running: nothing they do must outlast it.
  bool workersEnded(std::uint64_t ms);

  // The page's shapes or its file drag changed. For a backend whose window hears the pointer
  // only where it takes the mouse (a Wayland surface), or that cuts the window to what the page
  // draws; the others follow the pointer and need nothing.
  virtual void setPageRegion(const PageRegion&) {}

  // Session lock/unlock arrive as onSessionChange.
  virtual void registerSessionNotifications() = 0;
  virtual void unregisterSessionNotifications() = 0;

 private:
  struct Workers;
  std::shared_ptr<Workers> workers_;
};
