#include "XProbe.h"

#include <X11/Xutil.h>

#include "ChildProcess.h"

namespace {

std::string windowName(Display* dpy, Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(dpy, window, XInternAtom(dpy, "_NET_WM_NAME", False), 0, 256, False,
                         XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &count, &after, &data) == Success &&
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

std::optional<Window> XProbe::windowNamed(const std::string& title, int minSize) {
  std::vector<Window> windows;
  collect(dpy_, DefaultRootWindow(dpy_), 2, windows);
  for (Window window : windows) {
    XWindowAttributes attributes{};
    if (windowName(dpy_, window) == title && XGetWindowAttributes(dpy_, window, &attributes) &&
        attributes.width >= minSize && attributes.height >= minSize) {
      return window;
    }
  }
  return std::nullopt;
}

bool XProbe::viewable(Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(dpy_, window, &attributes) && attributes.map_state == IsViewable;
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
  XSelectInput(dpy_, window_, ButtonPressMask | ButtonReleaseMask);
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
  while (dpy_ && XPending(dpy_)) {
    XEvent event;
    XNextEvent(dpy_, &event);
    if (event.type == ButtonPress) ++presses_;
    if (event.type == ButtonRelease) ++releases_;
  }
}

bool xdotool(const std::string& display, const std::vector<std::string>& args) {
  std::vector<std::string> argv{findProgram("xdotool")};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess child;
  if (!child.start(argv, {"DISPLAY=" + display})) return false;
  const auto code = child.wait(10000);
  return code && *code == 0;
}
