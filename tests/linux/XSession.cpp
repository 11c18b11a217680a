#include "XSession.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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

// The manager announces itself before it takes new windows, and a window mapped in between is
// never managed: a probe window is mapped (again every half second) until the manager shows it.
void waitUntilManaged(Display* dpy) {
  const Window probe = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
  XWindowAttributes attributes{};
  for (int i = 0; i < 100 && attributes.map_state != IsViewable; ++i) {
    if (i % 10 == 0) XMapWindow(dpy, probe);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    XGetWindowAttributes(dpy, probe, &attributes);
  }
  XDestroyWindow(dpy, probe);
  XSync(dpy, False);
}

constexpr const char kXorg[] = "/usr/lib/xorg/Xorg";
constexpr const char kDummyDriver[] = "/usr/lib/xorg/modules/drivers/dummy_drv.so";

// The dummy driver's screen, room for both outputs side by side, and no real device of the
// machine: no input hot-plugging, no GPU, no console switch.
constexpr const char kDummyConfig[] = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 32768
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1280x800" 83.50 1280 1352 1480 1680 800 803 809 831
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1280x800"
    Virtual 2560 800
  EndSubSection
EndSection
)";

bool run(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log) {
  ChildProcess child;
  if (!child.start(argv, env, log)) return false;
  const auto code = child.wait(10000);
  return code && *code == 0;
}

}  // namespace

bool XSession::available() { return !findProgram("Xvfb").empty(); }

std::string XSession::twoMonitorsUnavailable() {
  if (access(kXorg, X_OK) != 0) return "Xorg is not installed (xserver-xorg-core)";
  if (access(kDummyDriver, R_OK) != 0) return "the dummy video driver is not installed (xserver-xorg-video-dummy)";
  if (findProgram("xrandr").empty()) return "xrandr is not installed (x11-xserver-utils)";
  if (geteuid() != 0) return "Xorg with a configuration of its own needs root";
  return {};
}

bool XSession::startXorg(const std::string& workDir, int displayFd) {
  std::ofstream(workDir + "/xorg.conf") << kDummyConfig;
  std::filesystem::create_directories(workDir + "/xorg.conf.d");
  // -sharevts: the console in use stays as it is.
  return xvfb_.start({kXorg, "-displayfd", std::to_string(displayFd), "-config", workDir + "/xorg.conf", "-configdir",
                      workDir + "/xorg.conf.d", "-logfile", workDir + "/xorg.log", "-noreset", "-nolisten", "tcp",
                      "-sharevts", "-novtswitch"},
                     {}, workDir + "/xorg.out", displayFd);
}

XSession::XSession(const std::string& workDir, XSessionOptions options) {
  if (!available() || (options.twoMonitors && !twoMonitorsUnavailable().empty())) return;
  int fds[2];
  if (pipe(fds) != 0) return;
  if (options.twoMonitors) {
    startXorg(workDir, fds[1]);
  } else {
    xvfb_.start({findProgram("Xvfb"), "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24",
                 "-nolisten", "tcp", "-noreset"},
                {}, workDir + "/xvfb.log", fds[1]);
  }
  close(fds[1]);
  const std::string number = readLine(fds[0], 20000);
  close(fds[0]);
  if (number.empty()) return;
  display_ = ":" + number;
  if (options.twoMonitors) {
    const std::vector<std::string> env{"DISPLAY=" + display_};
    const std::string xrandr = findProgram("xrandr");
    // The driver calls an output connected once it has a mode; the plain query that follows
    // probes the outputs again, so clients that read the cached state (GDK) see it too.
    if (!run({xrandr, "--addmode", "DUMMY1", "1280x800"}, env, workDir + "/xrandr.log") ||
        !run({xrandr, "--output", "DUMMY1", "--mode", "1280x800", "--right-of", "DUMMY0"}, env,
             workDir + "/xrandr.log") ||
        !run({xrandr}, env, workDir + "/xrandr.log")) {
      return;
    }
  }
  bus_ = startBusDaemon(dbus_, workDir);

  const std::vector<std::string> env = environment();
  if (options.compositor && !findProgram("xcompmgr").empty()) {
    compositor_.start({findProgram("xcompmgr")}, env, workDir + "/xcompmgr.log");
  }
  if (options.windowManager && !findProgram("openbox").empty()) {
    windowManager_.start({findProgram("openbox"), "--sm-disable"}, env, workDir + "/openbox.log");
    if (Display* dpy = XOpenDisplay(display_.c_str())) {
      for (int i = 0; i < 100 && !windowManagerRunning(dpy); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      waitUntilManaged(dpy);
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
  // No bus at all counts as "no bus"; GLib must not go looking for the user's real one. Nor may
  // the shell find the Wayland session the tests may run in.
  return {"DISPLAY=" + display_, "DBUS_SESSION_BUS_ADDRESS=" + (bus_.empty() ? std::string("disabled:") : bus_),
          "WAYLAND_DISPLAY=", "WAYLAND_SOCKET=", "XDG_SESSION_TYPE="};
}
