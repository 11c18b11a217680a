#pragma once
// What a desktop test sees and does on the X server: pixels of the screen, the shell's window,
// a plain window beneath it that counts the clicks it gets, and input through xdotool.
#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

class XProbe {
 public:
  explicit XProbe(const std::string& display);
  ~XProbe();
  XProbe(const XProbe&) = delete;
  XProbe& operator=(const XProbe&) = delete;

  bool ok() const { return dpy_ != nullptr; }
  Rgb pixel(int x, int y);
  // The shell's main window (its title, and larger than an icon), if it exists.
  std::optional<Window> shellWindow() { return windowNamed("在线Tamsel桌面小屋", 200); }
  // The shell's tray icon standing in a window of its own (its title, icon-sized, above 16 by 16).
  std::optional<Window> trayIconWindow() { return windowNamed("在线Tamsel桌面小屋", 24, 100); }
  // Any top-level window (or window manager frame's client) with this title and a size in range.
  std::optional<Window> windowNamed(const std::string& title, int minSize = 0, int maxSize = 1 << 20);
  struct Area;
  // A pop-up menu is open on the screen; where, if asked.
  bool menuOpen(Area* where = nullptr);
  bool viewable(Window window);
  // Where a window is on the screen (its client area in root coordinates), as the server has it now.
  struct Area {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Area&) const = default;
  };
  Area area(Window window);
  // A 32-bit property (CARDINAL, ATOM, WINDOW) of the window, or of the root window for 0.
  std::vector<unsigned long> property(Window window, const char* name);
  Atom atom(const char* name) { return XInternAtom(dpy_, name, False); }
  // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
  void close(Window window);

 private:
  Display* dpy_ = nullptr;
};

// A full-screen window of one colour under the shell; it counts the button presses and
// releases that reach it.
class BeneathWindow {
 public:
  BeneathWindow(const std::string& display, unsigned long rgb);
  ~BeneathWindow();
  int presses() { return pump(), presses_; }
  int releases() { return pump(), releases_; }

 private:
  void pump();
  Display* dpy_ = nullptr;
  Window window_ = 0;
  int presses_ = 0;
  int releases_ = 0;
};

// A top-level window of another program, managed like any application's (when a manager runs).
class OtherWindow {
 public:
  OtherWindow(const std::string& display, unsigned long rgb, const XProbe::Area& at);
  ~OtherWindow();
  Window id() const { return window_; }
  void raise();
  bool focused();

 private:
  Display* dpy_ = nullptr;
  Window window_ = 0;
};

// A panel: a dock window along the top or bottom edge of the first monitor (x 0..1279) that
// reserves that strip (a partial strut), as desktop panels do.
class Panel {
 public:
  Panel(const std::string& display, int thickness);
  ~Panel();
  void moveTo(bool top);

 private:
  Display* dpy_ = nullptr;
  Window window_ = 0;
  int thickness_ = 0;
};

// xdotool with these arguments on that display; true when it ran and succeeded.
bool xdotool(const std::string& display, const std::vector<std::string>& args);
