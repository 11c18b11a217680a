#include "PointerWatch.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <gdk/gdk.h>
#include <glib-unix.h>

namespace {

// Ticks with the pointer at rest and no button held before the tick stops: a short tail catches
// what a page does in answer to the last move (a shape that follows the pointer).
constexpr int kQuietTicks = 3;

int xErrors = 0;
int countError(Display*, XErrorEvent*) {
  ++xErrors;
  return 0;
}

// Runs fn with X errors counted instead of ending the process; true when none came.
template <typename Fn>
bool withoutErrors(Display* dpy, Fn fn) {
  XSync(dpy, False);
  xErrors = 0;
  auto previous = XSetErrorHandler(countError);
  fn();
  XSync(dpy, False);
  XSetErrorHandler(previous);
  return xErrors == 0;
}

bool selectRaw(Display* dpy, bool touch) {
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawMotion);
  XISetMask(bits, XI_RawButtonPress);
  XISetMask(bits, XI_RawButtonRelease);
  // A warped pointer (XWarpPointer) makes no raw event, only motion where it lands: over the
  // bare desktop (or a window letting the mouse through) that is the root window.
  XISetMask(bits, XI_Motion);
  if (touch) {
    XISetMask(bits, XI_RawTouchBegin);
    XISetMask(bits, XI_RawTouchUpdate);
    XISetMask(bits, XI_RawTouchEnd);
  }
  // Every device, the XTEST one included: input made by another program moves the pointer too.
  XIEventMask mask{XIAllDevices, static_cast<int>(sizeof bits), bits};
  return withoutErrors(dpy, [&] { XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1); });
}

}  // namespace

PointerWatch::PointerWatch(std::function<bool()> tick) : tick_(std::move(tick)) {}

PointerWatch::~PointerWatch() { stop(); }

void PointerWatch::start(const std::string& displayName, guint intervalMs) {
  stop();
  intervalMs_ = intervalMs;
  started_ = true;
  fromWidgets_ = displayName.empty();
  if (!fromWidgets_ && !openEvents(displayName)) closeEvents();
  wake();
}

void PointerWatch::stop() {
  started_ = false;
  if (source_) g_source_remove(source_);
  source_ = 0;
  closeEvents();
}

bool PointerWatch::openEvents(const std::string& displayName) {
  events_ = XOpenDisplay(displayName.c_str());
  if (!events_) return false;
  int event = 0;
  int error = 0;
  if (!XQueryExtension(events_, "XInputExtension", &xiOpcode_, &event, &error)) return false;
  // 2.1 or later delivers raw events whoever grabs the pointer; 2.2 adds touches.
  int major = 2;
  int minor = 2;
  bool queried = false;
  if (!withoutErrors(events_, [&] { queried = XIQueryVersion(events_, &major, &minor) == Success; }) || !queried ||
      major < 2 || (major == 2 && minor < 1)) {
    return false;
  }
  if (!selectRaw(events_, minor >= 2) && !selectRaw(events_, false)) return false;
  // Over the shell's own window, the pointer's events come to GDK.
  gdk_window_add_filter(nullptr, gdkEvents, this);
  filtering_ = true;
  eventsSource_ = g_unix_fd_add(ConnectionNumber(events_), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                eventsReady, this);
  return true;
}

void PointerWatch::closeEvents() {
  if (filtering_) gdk_window_remove_filter(nullptr, gdkEvents, this);
  filtering_ = false;
  if (eventsSource_) g_source_remove(eventsSource_);
  eventsSource_ = 0;
  if (events_) XCloseDisplay(events_);
  events_ = nullptr;
}

gboolean PointerWatch::eventsReady(gint, GIOCondition condition, gpointer self) {
  auto* watch = static_cast<PointerWatch*>(self);
  if (condition & (G_IO_HUP | G_IO_ERR)) {
    // Without events the tick goes back to running all the time.
    watch->eventsSource_ = 0;
    watch->closeEvents();
    watch->wake();
    return G_SOURCE_REMOVE;
  }
  bool input = false;
  while (XPending(watch->events_) > 0) {
    XEvent event;
    XNextEvent(watch->events_, &event);
    input = input || (event.xcookie.type == GenericEvent && event.xcookie.extension == watch->xiOpcode_);
  }
  if (input) watch->wake();
  return G_SOURCE_CONTINUE;
}

GdkFilterReturn PointerWatch::gdkEvents(GdkXEvent* native, GdkEvent*, gpointer self) {
  auto* watch = static_cast<PointerWatch*>(self);
  const auto* event = static_cast<const XEvent*>(native);
  switch (event->type) {
    case MotionNotify:
    case EnterNotify:
    case LeaveNotify:
    case ButtonPress:
    case ButtonRelease:
      watch->wake();
      break;
    case GenericEvent:
      if (event->xcookie.extension == watch->xiOpcode_) watch->wake();
      break;
    default:
      break;
  }
  return GDK_FILTER_CONTINUE;
}

void PointerWatch::wake() {
  if (!started_) return;
  quietTicks_ = 0;
  if (!source_) source_ = g_idle_add_full(G_PRIORITY_DEFAULT, fireNow, this, nullptr);
}

gboolean PointerWatch::fireNow(gpointer self) {
  auto* watch = static_cast<PointerWatch*>(self);
  // source_ stays set during the tick, so a wake from inside it adds no second source.
  watch->source_ =
      watch->tickAndDecide() ? g_timeout_add_full(G_PRIORITY_DEFAULT, watch->intervalMs_, fire, self, nullptr) : 0;
  return G_SOURCE_REMOVE;
}

gboolean PointerWatch::fire(gpointer self) {
  auto* watch = static_cast<PointerWatch*>(self);
  if (watch->tickAndDecide()) return G_SOURCE_CONTINUE;
  watch->source_ = 0;
  return G_SOURCE_REMOVE;
}

bool PointerWatch::tickAndDecide() {
  // The tick may stop the watch (the window closed from the page): nothing of it may run after.
  const bool active = tick_();
  if (!started_) return false;
  if (!events_ && !fromWidgets_) return true;
  quietTicks_ = active ? 0 : quietTicks_ + 1;
  return quietTicks_ < kQuietTicks;
}
