#pragma once
// A private X session for the desktop tests: Xvfb (1280x800) on a free display, a compositing
// manager (xcompmgr) and a small window manager (openbox) unless left out, a private D-Bus bus.
// With two monitors the server is Xorg with the dummy driver instead, whose RandR outputs DUMMY0
// (primary) and DUMMY1 stand side by side, 1280x800 each, as two real monitors would.
#include <string>
#include <vector>

#include "ChildProcess.h"

struct XSessionOptions {
  bool compositor = true;
  bool windowManager = true;
  bool twoMonitors = false;
};

class XSession {
 public:
  // False when Xvfb is not installed (tests then skip).
  static bool available();
  // Why a two-monitor session cannot run here (Xorg, its dummy driver or xrandr missing, or
  // not root: Xorg takes a configuration of its own only from root); empty when it can.
  static std::string twoMonitorsUnavailable();
  explicit XSession(const std::string& workDir, XSessionOptions options = {});
  ~XSession();

  bool ok() const { return ok_; }
  const std::string& display() const { return display_; }
  const std::string& busAddress() const { return bus_; }
  std::vector<std::string> environment() const;  // DISPLAY and the bus for children
  pid_t windowManager() const { return windowManager_.pid(); }

 private:
  bool ok_ = false;
  std::string display_;
  std::string bus_;
  bool startXorg(const std::string& workDir, int displayFd);
  ChildProcess xvfb_;
  ChildProcess compositor_;
  ChildProcess windowManager_;
  ChildProcess dbus_;
};
