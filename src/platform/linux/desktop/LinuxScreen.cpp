// Monitors in GDK's order (XRandR's monitor order), named by their XRandR output ("HDMI-1"),
// and the pointer and idle time straight from the X server. GDK reports monitor geometry in
// logical pixels; everything here is multiplied by the monitor's scale into device pixels.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>
#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

#include <climits>

#include "LinuxDesktop.h"
#include "PointerWatch.h"
#include "SessionIdleMonitor.h"
#include "WaylandIdle.h"
#include "app/Timers.h"

namespace {

GdkMonitor* monitorFromHandle(MonitorHandle handle) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || handle == 0) return nullptr;
  // A handle is only trusted while that monitor is still attached.
  for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    if (reinterpret_cast<MonitorHandle>(monitor) == handle) return monitor;
  }
  return nullptr;
}

ScreenRect deviceRect(GdkMonitor* monitor, const GdkRectangle& r) {
  const int s = std::max(1, gdk_monitor_get_scale_factor(monitor));
  return {r.x * s, r.y * s, (r.x + r.width) * s, (r.y + r.height) * s};
}

Display* xDisplay() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
  return GDK_DISPLAY_XDISPLAY(display);
}

std::string outputName(GdkMonitor* monitor) {
  Display* dpy = xDisplay();
  if (!dpy || !GDK_IS_X11_MONITOR(monitor)) return {};
  const XID output = gdk_x11_monitor_get_output(monitor);
  if (output == 0) return {};
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
  if (!resources) return {};
  std::string name;
  if (XRROutputInfo* info = XRRGetOutputInfo(dpy, resources, output)) {
    name.assign(info->name, static_cast<std::size_t>(info->nameLen));
    XRRFreeOutputInfo(info);
  }
  XRRFreeScreenResources(resources);
  return name;
}

}  // namespace

std::vector<MonitorHandle> LinuxDesktop::listMonitors() {
  std::vector<MonitorHandle> list;
  if (!ensureGtk()) return list;
  GdkDisplay* display = gdk_display_get_default();
  const int count = gdk_display_get_n_monitors(display);
  for (int i = 0; i < count; ++i) list.push_back(reinterpret_cast<MonitorHandle>(gdk_display_get_monitor(display, i)));
  return list;
}

WString LinuxDesktop::monitorDeviceName(MonitorHandle handle) {
  GdkMonitor* monitor = monitorFromHandle(handle);
  if (!monitor) return {};
  std::string name = outputName(monitor);
  // Monitors that XRandR does not tie to one output still carry the connector as their model.
  if (name.empty() && gdk_monitor_get_model(monitor)) name = gdk_monitor_get_model(monitor);
  return toWide(name);
}

std::optional<ScreenRect> LinuxDesktop::monitorWorkArea(MonitorHandle handle) {
  GdkMonitor* monitor = monitorFromHandle(handle);
  if (!monitor) return std::nullopt;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  if (area.width <= 0 || area.height <= 0) return std::nullopt;
  return deviceRect(monitor, area);
}

MonitorHandle LinuxDesktop::monitorNearest(ScreenPoint p) {
  MonitorHandle best = 0;
  long long bestDistance = LLONG_MAX;
  for (MonitorHandle handle : listMonitors()) {
    GdkMonitor* monitor = reinterpret_cast<GdkMonitor*>(handle);
    GdkRectangle geometry{};
    gdk_monitor_get_geometry(monitor, &geometry);
    const ScreenRect r = deviceRect(monitor, geometry);
    const long long dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
    const long long dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
    const long long distance = dx * dx + dy * dy;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = handle;
    }
  }
  return best;
}

MonitorHandle LinuxDesktop::primaryMonitor() {
  if (!ensureGtk()) return 0;
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  return reinterpret_cast<MonitorHandle>(monitor);
}

bool LinuxDesktop::queryPointer(ScreenPoint& at, unsigned int& mask) {
  if (layer_) return queryWaylandPointer(at, mask);
  Display* dpy = xDisplay();
  if (!dpy) return false;
  GdkWindow* own = window_ ? gtk_widget_get_window(window_) : nullptr;
  const Window asked = own && GDK_IS_X11_WINDOW(own) ? GDK_WINDOW_XID(own) : DefaultRootWindow(dpy);
  Window root = 0;
  Window child = 0;
  int winX = 0;
  int winY = 0;
  // The root position is filled in even when the pointer is on another screen of the display.
  return XQueryPointer(dpy, asked, &root, &child, &at.x, &at.y, &winX, &winY, &mask);
}

// Wayland tells a client where the pointer is only while it is over one of the client's surfaces.
// Elsewhere the pointer counts as far away from the window: near no shape, over no zone.
bool LinuxDesktop::queryWaylandPointer(ScreenPoint& at, unsigned int& mask) {
  constexpr ScreenPoint kAway{-1000000, -1000000};
  at = kAway;
  mask = 0;
  GdkWindow* own = window_ ? gtk_widget_get_window(window_) : nullptr;
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (!own || !pointer) return false;
  double x = 0;
  double y = 0;
  GdkWindow* under = gdk_device_get_window_at_position_double(pointer, nullptr, nullptr);
  if (!under || gdk_window_get_toplevel(under) != own) return true;
  GdkModifierType state{};
  gdk_window_get_device_position_double(own, pointer, &x, &y, &state);
  const int s = scale();
  at = {rect_.left + static_cast<int>(x * s), rect_.top + static_cast<int>(y * s)};
  mask = state;
  return true;
}

// Within a pointer tick, position and buttons come from the tick's one query.
ScreenPoint LinuxDesktop::cursorPos() {
  if (inPointerTick_) return tickAt_;
  ScreenPoint at;
  unsigned int mask = 0;
  queryPointer(at, mask);
  return at;
}

bool LinuxDesktop::mouseButtonsDown() {
  ScreenPoint at;
  unsigned int mask = tickMask_;
  if (!inPointerTick_ && !queryPointer(at, mask)) return false;
  return (mask & (Button1Mask | Button3Mask)) != 0;
}

bool LinuxDesktop::pointerTick() {
  inPointerTick_ = queryPointer(tickAt_, tickMask_);
  if (events_) events_->onTimer(kTimerPointer);
  inPointerTick_ = false;
  const bool moved = !(tickAt_ == lastTickAt_);
  lastTickAt_ = tickAt_;
  return moved || (tickMask_ & (Button1Mask | Button2Mask | Button3Mask)) != 0;
}

void LinuxDesktop::wakePointerTick() {
  if (pointerWatch_) pointerWatch_->wake();
}

std::uint32_t LinuxDesktop::millisSinceLastInput() {
  if (layer_) {
    if (!waylandIdle_) {
      GdkDisplay* display = gdk_display_get_default();
      waylandIdle_ = std::make_unique<WaylandIdle>(gdk_wayland_display_get_wl_display(display),
                                                   gdk_wayland_seat_get_wl_seat(gdk_display_get_default_seat(display)));
    }
    if (const auto idle = waylandIdle_->millis(tickMs())) return *idle;
  }
  if (!sessionIdleChecked_) {
    sessionIdleChecked_ = true;
    if (SessionIdleMonitor::waylandSession()) sessionIdle_ = std::make_unique<SessionIdleMonitor>();
  }
  if (sessionIdle_) {
    if (const auto idle = sessionIdle_->millis()) return *idle;
  }
  Display* dpy = xDisplay();
  if (!dpy) return 0;
  int eventBase = 0;
  int errorBase = 0;
  if (!XScreenSaverQueryExtension(dpy, &eventBase, &errorBase)) return 0;
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  if (!info) return 0;
  std::uint32_t idle = 0;
  if (XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), info)) idle = static_cast<std::uint32_t>(info->idle);
  XFree(info);
  return idle;
}
