#pragma once
// A private headless sway session for the Wayland tests: a runtime folder and socket of its own,
// a private D-Bus bus, XWayland, and wayvnc on a socket of its own, whose virtual pointer gives
// the seat the pointer that sway's "seat - cursor" commands move and press. sway refuses to run
// as root; under root it runs as nobody and lets root's X clients into its XWayland.
#include <string>
#include <vector>

#include "ChildProcess.h"

class SwaySession {
 public:
  // Why no session can run here (a program missing); empty when it can.
  static std::string unavailable();
  explicit SwaySession(const std::string& workDir);
  ~SwaySession();

  bool ok() const { return ok_; }
  // WAYLAND_DISPLAY (the socket's full path), its runtime folder, DISPLAY (its XWayland) and the
  // bus, for children.
  std::vector<std::string> environment() const;
  // The seat's pointer moved to that place of the layout, or a left click there.
  bool point(int x, int y);
  bool click(int x, int y);
  // What `swaymsg -t <type>` answers, empty on failure.
  std::string ask(const std::string& type);

 private:
  bool swaymsg(const std::vector<std::string>& args, std::string* answer = nullptr);
  bool ok_ = false;
  std::string dir_;
  std::string runDir_;
  std::string ipc_;
  std::string display_;
  std::string bus_;
  ChildProcess dbus_;
  ChildProcess sway_;
  ChildProcess vnc_;
};
