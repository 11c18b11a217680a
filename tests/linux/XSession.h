#pragma once
// A private X session for the desktop tests: Xvfb (1280x800) on a free display, a compositing
// manager (xcompmgr, unless left out), a small window manager (openbox) and a private D-Bus bus.
#include <string>
#include <vector>

#include "ChildProcess.h"

struct XSessionOptions {
  bool compositor = true;
};

class XSession {
 public:
  // False when Xvfb is not installed (tests then skip).
  static bool available();
  explicit XSession(const std::string& workDir, XSessionOptions options = {});
  ~XSession();

  bool ok() const { return ok_; }
  const std::string& display() const { return display_; }
  const std::string& busAddress() const { return bus_; }
  std::vector<std::string> environment() const;  // DISPLAY and the bus for children

 private:
  bool ok_ = false;
  std::string display_;
  std::string bus_;
  ChildProcess xvfb_;
  ChildProcess compositor_;
  ChildProcess windowManager_;
  ChildProcess dbus_;
};
