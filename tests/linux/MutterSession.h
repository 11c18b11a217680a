#pragma once
// A private headless GNOME compositor for the Wayland tests: mutter on Wayland with a virtual
// monitor (1280x800) and XWayland, on a private D-Bus bus and a runtime folder of its own. Clicks
// come through its remote desktop interface, as a remote desktop client's would.
#include <gio/gio.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

class MutterSession {
 public:
  // Why no session can run here (a program missing); empty when it can.
  static std::string unavailable();
  explicit MutterSession(const std::string& workDir);
  ~MutterSession();

  bool ok() const { return ok_; }
  // The Wayland socket, its XWayland (display and authority), the bus, a Wayland session.
  std::vector<std::string> environment() const;
  // The pointer to that place of the monitor, and a left click there.
  bool point(int x, int y);
  bool click(int x, int y);

 private:
  bool call(const char* method, GVariant* args);
  bool ok_ = false;
  std::string runDir_;
  std::string display_;
  std::string authority_;
  std::string bus_;
  ChildProcess dbus_;
  ChildProcess mutter_;
  GDBusConnection* connection_ = nullptr;
  std::string remote_;  // the remote desktop session's object
};
