#include "XProbe.h"

#include <X11/Xatom.h>
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

std::optional<Window> XProbe::windowNamed(const std::string& title, int minSize, int maxSize) {
  std::vector<Window> windows;
  collect(dpy_, DefaultRootWindow(dpy_), 2, windows);
  for (Window window : windows) {
    XWindowAttributes attributes{};
    if (windowName(dpy_, window) == title && XGetWindowAttributes(dpy_, window, &attributes) &&
        attributes.width >= minSize && attributes.height >= minSize && attributes.width <= maxSize &&
        attributes.height <= maxSize) {
      return window;
    }
  }
  return std::nullopt;
}

bool XProbe::menuOpen(Area* where) {
  std::vector<Window> windows;
  collect(dpy_, DefaultRootWindow(dpy_), 0, windows);
  const Atom typeAtom = XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE", False);
  const Atom menu = XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
  for (Window window : windows) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const bool isMenu = XGetWindowProperty(dpy_, window, typeAtom, 0, 1, False, XA_ATOM, &type, &format, &count,
                                           &after, &data) == Success &&
                        data && count == 1 && *reinterpret_cast<Atom*>(data) == menu;
    if (data) XFree(data);
    if (isMenu && viewable(window)) {
      if (where) *where = area(window);
      return true;
    }
  }
  return false;
}

bool XProbe::viewable(Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(dpy_, window, &attributes) && attributes.map_state == IsViewable;
}

XProbe::Area XProbe::area(Window window) {
  XWindowAttributes attributes{};
  Window child = 0;
  Area result;
  if (XGetWindowAttributes(dpy_, window, &attributes) &&
      XTranslateCoordinates(dpy_, window, DefaultRootWindow(dpy_), 0, 0, &result.x, &result.y, &child)) {
    result.width = attributes.width;
    result.height = attributes.height;
  }
  return result;
}

std::vector<unsigned long> XProbe::property(Window window, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> values;
  if (XGetWindowProperty(dpy_, window ? window : DefaultRootWindow(dpy_), atom(name), 0, 64, False, AnyPropertyType,
                         &type, &format, &count, &after, &data) == Success &&
      data && format == 32) {
    const auto* items = reinterpret_cast<const unsigned long*>(data);
    values.assign(items, items + count);
  }
  if (data) XFree(data);
  return values;
}

Panel::Panel(const std::string& display, int thickness) : thickness_(thickness) {
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) return;
  XSetWindowAttributes attributes{};
  attributes.background_pixel = 0x303030;
  window_ = XCreateWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 1280, thickness, 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWBackPixel, &attributes);
  Atom dock = XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE_DOCK", False);
  XChangeProperty(dpy_, window_, XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&dock), 1);
  moveTo(true);
  XMapWindow(dpy_, window_);
  XSync(dpy_, False);
}

Panel::~Panel() {
  if (!dpy_) return;
  XDestroyWindow(dpy_, window_);
  XCloseDisplay(dpy_);
}

void Panel::moveTo(bool top) {
  if (!dpy_) return;
  const long t = thickness_;
  // left, right, top, bottom, then the start and end of each: only x 0..1279 is reserved.
  long strut[12] = {0, 0, top ? t : 0, top ? 0 : t, 0, 0, 0, 0, top ? 0 : 0, top ? 1279 : 0, 0, top ? 0 : 1279};
  XChangeProperty(dpy_, window_, XInternAtom(dpy_, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(strut), 12);
  XChangeProperty(dpy_, window_, XInternAtom(dpy_, "_NET_WM_STRUT", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(strut), 4);
  XMoveWindow(dpy_, window_, 0, top ? 0 : 800 - thickness_);
  XSync(dpy_, False);
}

void XProbe::close(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = atom("WM_PROTOCOLS");
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy_, window, False, NoEventMask, &event);
  XFlush(dpy_);
}

OtherWindow::OtherWindow(const std::string& display, unsigned long rgb, const XProbe::Area& at) {
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) return;
  XSetWindowAttributes attributes{};
  attributes.background_pixel = rgb;
  window_ = XCreateWindow(dpy_, DefaultRootWindow(dpy_), at.x, at.y, at.width, at.height, 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWBackPixel, &attributes);
  XStoreName(dpy_, window_, "other");
  XMapRaised(dpy_, window_);
  XSync(dpy_, False);
}

OtherWindow::~OtherWindow() {
  if (!dpy_) return;
  XDestroyWindow(dpy_, window_);
  XCloseDisplay(dpy_);
}

void OtherWindow::raise() { XRaiseWindow(dpy_, window_), XSync(dpy_, False); }

bool OtherWindow::focused() {
  Window focus = 0;
  int revert = 0;
  return XGetInputFocus(dpy_, &focus, &revert), focus == window_;
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
