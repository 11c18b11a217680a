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
  // Any top-level window (or window manager frame's client) with this title and at least this size.
  std::optional<Window> windowNamed(const std::string& title, int minSize = 0);
  bool viewable(Window window);

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

// xdotool with these arguments on that display; true when it ran and succeeded.
bool xdotool(const std::string& display, const std::vector<std::string>& args);
