#pragma once
// When the pointer tick runs. Polling the X server 30 times a second for the life of the process
// keeps the shell awake all day; instead the root window reports raw pointer motion and button
// events (XInput 2), and the tick runs from the first such event until the pointer has rested
// with no button held for a few ticks. Anything else that can change what the tick decides (a new
// shape from the page, a moved or newly shown window) wakes it the same way. Where the X server
// offers no XInput 2, the tick runs all the time, as it always did.
//
// The raw events come on a connection of their own: GDK selects XInput events on the root window
// for itself and would replace a selection made on its connection. A warped pointer makes no raw
// event; where it lands, the motion it makes reaches the root window or the shell's own window.
//
// A Wayland client hears the pointer only over its own surfaces: there the shell's windows wake
// the tick with every pointer event GDK gives them, and no X connection is opened.
#include <functional>
#include <string>

#include <gdk/gdk.h>
#include <glib.h>

typedef struct _XDisplay Display;

class PointerWatch {
 public:
  // tick runs one pointer tick and says whether the pointer moved or a button is held.
  explicit PointerWatch(std::function<bool()> tick);
  ~PointerWatch();
  PointerWatch(const PointerWatch&) = delete;
  PointerWatch& operator=(const PointerWatch&) = delete;

  // displayName empty: the pointer is heard only over the shell's windows, which call wake().
  void start(const std::string& displayName, guint intervalMs);
  void stop();
  // Runs a tick now (from the loop) and keeps ticking until the pointer rests; no-op while stopped.
  void wake();

 private:
  bool openEvents(const std::string& displayName);
  void closeEvents();
  static gboolean eventsReady(gint fd, GIOCondition condition, gpointer self);
  static GdkFilterReturn gdkEvents(GdkXEvent* native, GdkEvent*, gpointer self);
  static gboolean fireNow(gpointer self);
  static gboolean fire(gpointer self);
  bool tickAndDecide();

  std::function<bool()> tick_;
  guint intervalMs_ = 33;
  guint source_ = 0;
  int quietTicks_ = 0;
  bool started_ = false;
  Display* events_ = nullptr;  // the connection the raw events arrive on
  int xiOpcode_ = -1;
  guint eventsSource_ = 0;
  bool filtering_ = false;  // GDK's events pass by gdkEvents
  bool fromWidgets_ = false;  // the pointer is heard only over the shell's own windows
};
