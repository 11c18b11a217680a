#pragma once
// What a desktop test sees and does on the X server: pixels of the screen, the shell's window,
// a plain window beneath it that counts the clicks it gets, an XEmbed tray that embeds the
// shell's icon, and pointer and keyboard input through xdotool.
#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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
  Display* display() const { return dpy_; }
  Rgb pixel(int x, int y);
  // The shell's main window (its title, and larger than an icon), if it exists.
  std::optional<Window> shellWindow();
  // Any top-level window (or window manager frame's client) with this title.
  std::optional<Window> windowNamed(const std::string& title);
  bool viewable(Window window);
  // Root geometry of a window.
  bool geometry(Window window, int& x, int& y, int& width, int& height);

 private:
  Display* dpy_ = nullptr;
};

// A full-screen window of one colour under the shell; it counts the button presses and
// releases that reach it.
class BeneathWindow {
 public:
  BeneathWindow(const std::string& display, unsigned long rgb);
  ~BeneathWindow();
  int presses();
  int releases();

 private:
  void pump();
  Display* dpy_ = nullptr;
  Window window_ = 0;
  int presses_ = 0;
  int releases_ = 0;
};

// A system tray (the XEmbed tray protocol) at a fixed place: the icon that docks is
// embedded in a 24 by 24 pixel cell whose top left corner is at (x, y); a later one takes its place.
class TrayHost {
 public:
  TrayHost(const std::string& display, int x, int y);
  ~TrayHost();
  bool owned() const { return owned_; }
  bool docked() const { return docked_; }
  int centreX() const { return x_ + 12; }
  int centreY() const { return y_ + 12; }

 private:
  void run();
  std::string display_;
  int x_;
  int y_;
  std::atomic<bool> owned_{false};
  std::atomic<bool> docked_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> ready_{false};
  std::thread thread_;
};

// xdotool with these arguments on that display; true when it ran and succeeded.
bool xdotool(const std::string& display, const std::vector<std::string>& args);
