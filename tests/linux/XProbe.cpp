#include "XProbe.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstring>

#include "ChildProcess.h"

namespace {

std::string windowName(Display* dpy, Window window) {
  Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
  Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(dpy, window, netName, 0, 256, False, utf8, &type, &format, &count, &after, &data) == Success &&
      data) {
    name.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  return name;
}

void collect(Display* dpy, Window window, int depth, std::vector<Window>& out) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(dpy, window, &root, &parent, &children, &count)) return;
  for (unsigned int i = 0; i < count; ++i) {
    out.push_back(children[i]);
    if (depth > 0) collect(dpy, children[i], depth - 1, out);
  }
  if (children) XFree(children);
}

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

XProbe::XProbe(const std::string& display) {
  dpy_ = XOpenDisplay(display.c_str());
  XSetErrorHandler(ignoreErrors);
}

XProbe::~XProbe() {
  if (dpy_) XCloseDisplay(dpy_);
}

Rgb XProbe::pixel(int x, int y) {
  XImage* image = XGetImage(dpy_, DefaultRootWindow(dpy_), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return {-1, -1, -1};
  const unsigned long p = XGetPixel(image, 0, 0);
  Rgb rgb{static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255), static_cast<int>(p & 255)};
  XDestroyImage(image);
  return rgb;
}

std::optional<Window> XProbe::shellWindow() {
  std::vector<Window> windows;
  collect(dpy_, DefaultRootWindow(dpy_), 2, windows);
  for (Window window : windows) {
    if (windowName(dpy_, window) != "在线Tamsel桌面小屋") continue;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy_, window, &attributes)) continue;
    if (attributes.width >= 200 && attributes.height >= 200) return window;
  }
  return std::nullopt;
}

std::optional<Window> XProbe::windowNamed(const std::string& title) {
  std::vector<Window> windows;
  collect(dpy_, DefaultRootWindow(dpy_), 2, windows);
  for (Window window : windows) {
    if (windowName(dpy_, window) == title) return window;
  }
  return std::nullopt;
}

bool XProbe::viewable(Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(dpy_, window, &attributes)) return false;
  return attributes.map_state == IsViewable;
}

bool XProbe::geometry(Window window, int& x, int& y, int& width, int& height) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(dpy_, window, &attributes)) return false;
  Window child = 0;
  XTranslateCoordinates(dpy_, window, DefaultRootWindow(dpy_), 0, 0, &x, &y, &child);
  width = attributes.width;
  height = attributes.height;
  return true;
}

BeneathWindow::BeneathWindow(const std::string& display, unsigned long rgb) {
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) return;
  const int screen = DefaultScreen(dpy_);
  // Not managed, so no window manager frames or moves it; being mapped first keeps it lowest.
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = rgb;
  window_ = XCreateWindow(dpy_, RootWindow(dpy_, screen), 0, 0, DisplayWidth(dpy_, screen),
                          DisplayHeight(dpy_, screen), 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWOverrideRedirect | CWBackPixel, &attributes);
  XStoreName(dpy_, window_, "beneath");
  XSelectInput(dpy_, window_, ButtonPressMask | ButtonReleaseMask | ExposureMask);
  XMapWindow(dpy_, window_);
  XLowerWindow(dpy_, window_);
  XSync(dpy_, False);
}

BeneathWindow::~BeneathWindow() {
  if (!dpy_) return;
  XDestroyWindow(dpy_, window_);
  XCloseDisplay(dpy_);
}

void BeneathWindow::pump() {
  if (!dpy_) return;
  while (XPending(dpy_)) {
    XEvent event;
    XNextEvent(dpy_, &event);
    if (event.type == ButtonPress) ++presses_;
    if (event.type == ButtonRelease) ++releases_;
  }
}

int BeneathWindow::presses() {
  pump();
  return presses_;
}

int BeneathWindow::releases() {
  pump();
  return releases_;
}

TrayHost::TrayHost(const std::string& display, int x, int y) : display_(display), x_(x), y_(y) {
  thread_ = std::thread([this] { run(); });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!ready_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TrayHost::~TrayHost() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TrayHost::run() {
  Display* dpy = XOpenDisplay(display_.c_str());
  if (!dpy) {
    ready_ = true;
    return;
  }
  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = 0x202020;
  const Window tray = XCreateWindow(dpy, root, x_, y_, 24, 24, 0, CopyFromParent, InputOutput, CopyFromParent,
                                    CWOverrideRedirect | CWBackPixel, &attributes);
  XSelectInput(dpy, tray, StructureNotifyMask | SubstructureNotifyMask);
  XMapRaised(dpy, tray);

  const std::string selectionName = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  const Atom selection = XInternAtom(dpy, selectionName.c_str(), False);
  const Atom opcode = XInternAtom(dpy, "_NET_SYSTEM_TRAY_OPCODE", False);
  const Atom manager = XInternAtom(dpy, "MANAGER", False);
  const Atom xembed = XInternAtom(dpy, "_XEMBED", False);
  const Atom orientation = XInternAtom(dpy, "_NET_SYSTEM_TRAY_ORIENTATION", False);
  long horizontal = 0;
  XChangeProperty(dpy, tray, orientation, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&horizontal), 1);
  XSetSelectionOwner(dpy, selection, tray, CurrentTime);
  owned_ = XGetSelectionOwner(dpy, selection) == tray;

  // Tell running clients that a tray is here.
  XEvent announce{};
  announce.xclient.type = ClientMessage;
  announce.xclient.window = root;
  announce.xclient.message_type = manager;
  announce.xclient.format = 32;
  announce.xclient.data.l[0] = CurrentTime;
  announce.xclient.data.l[1] = static_cast<long>(selection);
  announce.xclient.data.l[2] = static_cast<long>(tray);
  XSendEvent(dpy, root, False, StructureNotifyMask, &announce);
  XSync(dpy, False);
  ready_ = true;

  while (!stop_) {
    while (XPending(dpy)) {
      XEvent event;
      XNextEvent(dpy, &event);
      // Every dock request is taken: an icon that is made again asks again with its new window.
      if (event.type == ClientMessage && event.xclient.message_type == opcode && event.xclient.data.l[1] == 0) {
        const Window icon = static_cast<Window>(event.xclient.data.l[2]);
        XReparentWindow(dpy, icon, tray, 0, 0);
        XResizeWindow(dpy, icon, 24, 24);
        XMapRaised(dpy, icon);
        XEvent notify{};
        notify.xclient.type = ClientMessage;
        notify.xclient.window = icon;
        notify.xclient.message_type = xembed;
        notify.xclient.format = 32;
        notify.xclient.data.l[0] = CurrentTime;
        notify.xclient.data.l[1] = 0;  // XEMBED_EMBEDDED_NOTIFY
        notify.xclient.data.l[3] = static_cast<long>(tray);
        notify.xclient.data.l[4] = 0;
        XSendEvent(dpy, icon, False, NoEventMask, &notify);
        XSync(dpy, False);
        docked_ = true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  XDestroyWindow(dpy, tray);
  XCloseDisplay(dpy);
}

bool xdotool(const std::string& display, const std::vector<std::string>& args) {
  std::vector<std::string> argv{findProgram("xdotool")};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess child;
  if (!child.start(argv, {"DISPLAY=" + display})) return false;
  const auto code = child.wait(10000);
  return code && *code == 0;
}
