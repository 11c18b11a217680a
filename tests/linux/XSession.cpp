#include "XSession.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

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
  xvfb_.start({findProgram("Xvfb"), "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten",
               "tcp", "-noreset"},
              {}, workDir + "/xvfb.log", fds[1]);
  close(fds[1]);
  const std::string number = readLine(fds[0], 10000);
  close(fds[0]);
  if (number.empty()) return;
  display_ = ":" + number;
  bus_ = startBusDaemon(dbus_, workDir);

  const std::vector<std::string> env = environment();
  if (options.compositor && !findProgram("xcompmgr").empty()) {
    compositor_.start({findProgram("xcompmgr")}, env, workDir + "/xcompmgr.log");
  }
  if (!findProgram("openbox").empty()) {
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
  // No bus at all counts as "no bus"; GLib must not go looking for the user's real one.
  return {"DISPLAY=" + display_, "DBUS_SESSION_BUS_ADDRESS=" + (bus_.empty() ? std::string("disabled:") : bus_)};
}
