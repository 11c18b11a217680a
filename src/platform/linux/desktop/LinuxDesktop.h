#pragma once
// The desktop seam on GTK 3 and X11. One undecorated, always-on-top RGBA window over a monitor's
// work area; every coordinate this class hands to the core is in device pixels (X11 root pixels), so
// with GDK_SCALE=2 a page pixel is two window pixels and windowScale() says so.
//
// The main loop is GLib's default context. Timers are g_timeout sources; post() queues an idle
// source from any thread whose destroy notify frees a payload that was never delivered.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include <gtk/gtk.h>

#include "PageShapes.h"
#include "WaylandOffers.h"
#include "app/Desktop.h"

class KeepOnTop;
class LinuxTray;
class PointerWatch;
class SessionIdleMonitor;
class SessionWatch;
class SingleInstance;
class SleepInhibitor;
class WaylandIdle;

class LinuxDesktop final : public Desktop {
 public:
  LinuxDesktop(int argc, char** argv);
  ~LinuxDesktop() override;
  LinuxDesktop(const LinuxDesktop&) = delete;
  LinuxDesktop& operator=(const LinuxDesktop&) = delete;

  void setEvents(DesktopEvents* events) override { events_ = events; }
  DesktopEvents* events() const { return events_; }
  GtkWidget* window() const { return window_; }
  // Another window of the shell's that stays above other programs' windows, above the companion.
  void keepOnTop(GtkWidget* window);
  // GTK is opened lazily, so a second start never needs a display.
  bool ensureGtk();

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
  void setPageRegion(const PageRegion& region) override;
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

  // Delivery of one posted message on the main thread (the idle source's callback).
  void deliver(unsigned message, std::uintptr_t wParam, PayloadPtr payload);
  void deliverTimer(int id);
  // Something the pointer tick depends on changed besides the pointer (a shape from the page):
  // the tick runs again even if the pointer rests.
  void wakePointerTick();
  bool accepting() const { return accepting_.load(); }
  // The window is a Wayland layer surface (not an X window, natively or through XWayland).
  bool onLayer() const { return layer_; }
  // Puts the web view into the window; where the window is cut to the page's shapes, the view
  // keeps the size of the whole work area, shifted so that what the page draws stays in place.
  void holdView(GtkWidget* view);
  bool cutToShapes() const { return cutToShapes_; }
  // Where the window manager would not put the shell's windows where they belong (weston), they
  // bypass it: placed where they ask, above the managed windows, but never given the keyboard.
  GtkWindowType shellWindowType() const { return wayland_ && wayland_->weston ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL; }

 private:
  void applyInputShape();
  // Moves and sizes the window to the page's shapes and zone (only where it is cut to them).
  void fitToShapes();
  int scale() const;
  void onWindowDestroyed();
  static void windowDestroyedThunk(GtkWidget*, gpointer self);
  static void screenChangedThunk(GtkWidget*, GdkScreen*, gpointer self);
  static void monitorsChangedThunk(GdkScreen*, gpointer self);
  static void compositedChangedThunk(GdkScreen*, gpointer self);
  static gboolean drawThunk(GtkWidget*, cairo_t*, gpointer self);
  static gboolean configureThunk(GtkWidget*, GdkEventConfigure*, gpointer self);
  static gboolean focusThunk(GtkWidget*, GdkEventFocus*, gpointer self);
  static gboolean focusLostThunk(GtkWidget*, GdkEventFocus*, gpointer self);
  static gboolean mappedThunk(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean deleteThunk(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean pointerEventThunk(GtkWidget*, GdkEvent* event, gpointer self);
  void hearPointerOn(GtkWidget* widget);
  static void scaleChangedThunk(GObject*, GParamSpec*, gpointer self);
  static GdkFilterReturn workAreaFilter(GdkXEvent* native, GdkEvent*, gpointer self);
  void watchWorkArea();
  // One pointer tick with one question to the server; true while the pointer moves or a
  // button is held.
  bool pointerTick();
  // The pointer's root position and button mask, as one query on the shell's own window.
  bool queryPointer(ScreenPoint& at, unsigned int& mask);
  bool queryWaylandPointer(ScreenPoint& at, unsigned int& mask);

  int argc_;
  char** argv_;
  bool gtkReady_ = false;
  DesktopEvents* events_ = nullptr;
  GtkWidget* window_ = nullptr;
  bool clickThrough_ = true;
  bool layer_ = false;
  // An X window through XWayland: the compositor sends Wayland windows' clicks to any X window
  // above them whatever its input shape, so the window covers only what the page draws.
  bool cutToShapes_ = false;
  GtkWidget* viewport_ = nullptr;  // the view's parent while the window is cut to the shapes
  GtkWidget* view_ = nullptr;
  std::optional<WaylandOffers> wayland_;
  PageShapes shapes_;
  bool destroying_ = false;
  ScreenRect rect_{0, 0, 100, 100};

  std::map<int, guint> timers_;
  std::unique_ptr<PointerWatch> pointerWatch_;
  // What the running pointer tick asked the server, answered to every question of that tick.
  bool inPointerTick_ = false;
  ScreenPoint tickAt_;
  unsigned int tickMask_ = 0;
  ScreenPoint lastTickAt_;
  GMainLoop* loop_ = nullptr;
  bool quitRequested_ = false;
  int quitCode_ = 0;
  std::atomic<bool> accepting_{true};

  std::unique_ptr<SingleInstance> instance_;
  std::unique_ptr<KeepOnTop> keepOnTop_;
  std::unique_ptr<LinuxTray> tray_;
  std::unique_ptr<SessionWatch> session_;
  std::unique_ptr<SessionIdleMonitor> sessionIdle_;
  bool sessionIdleChecked_ = false;
  std::unique_ptr<WaylandIdle> waylandIdle_;
  std::unique_ptr<SleepInhibitor> inhibitor_;
  bool watchingWorkArea_ = false;
  unsigned long workAreaAtom_ = 0;
};
