#include "XSession.h"

#include <X11/Xlib.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

// Reads one line from fd within the time; empty on timeout.
std::string readLine(int fd, int timeoutMs) {
  std::string line;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    if (read(fd, &c, 1) != 1) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

bool windowManagerRunning(Display* dpy) {
  Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, AnyPropertyType, &type,
                                        &format, &count, &after, &data) == Success &&
                     count == 1;
  if (data) XFree(data);
  return found;
}

}  // namespace

bool XSession::available() { return !findProgram("Xvfb").empty(); }

XSession::XSession(const std::string& workDir, XSessionOptions options) {
  if (!available()) return;
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
  xvfb_.start({findProgram("Xvfb"), "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp",
               "-noreset"},
              {}, workDir + "/xvfb.log", fds[1]);
  close(fds[1]);
  const std::string number = readLine(fds[0], 10000);
  close(fds[0]);
  if (number.empty()) return;
  display_ = ":" + number;

  int busFds[2];
  if (pipe(busFds) == 0) {
    dbus_.start({findProgram("dbus-daemon"), "--session", "--nofork", "--print-address=" + std::to_string(busFds[1]),
                 "--address=unix:path=" + workDir + "/bus"},
                {}, workDir + "/dbus.log", busFds[1]);
    close(busFds[1]);
    bus_ = readLine(busFds[0], 5000);
    close(busFds[0]);
  }

  const std::vector<std::string> env = environment();
  if (options.compositor && !findProgram("xcompmgr").empty()) {
    compositor_.start({findProgram("xcompmgr")}, env, workDir + "/xcompmgr.log");
  }
  if (options.windowManager && !findProgram("openbox").empty()) {
    windowManager_.start({findProgram("openbox"), "--sm-disable"}, env, workDir + "/openbox.log");
    if (Display* dpy = XOpenDisplay(display_.c_str())) {
      for (int i = 0; i < 100 && !windowManagerRunning(dpy); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      XCloseDisplay(dpy);
    }
  }
  ok_ = true;
}

XSession::~XSession() {
  windowManager_.stop();
  compositor_.stop();
  dbus_.stop();
  xvfb_.stop();
}

std::vector<std::string> XSession::environment() const {
  std::vector<std::string> env{"DISPLAY=" + display_};
  // No bus at all counts as "no bus"; GLib must not go looking for the user's real one.
  env.push_back("DBUS_SESSION_BUS_ADDRESS=" + (bus_.empty() ? std::string("disabled:") : bus_));
  return env;
}
