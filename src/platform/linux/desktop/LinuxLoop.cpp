// The main loop: GLib's default context. A posted message is one heap record carried by an idle
// source; whether it is dispatched or the source is dropped unrun, the destroy notify deletes
// the record and with it any payload nobody took.
#include <glib.h>

#include "LinuxDesktop.h"
#include "PointerWatch.h"
#include "app/Timers.h"

namespace {

struct PostedRecord {
  LinuxDesktop* desktop;
  unsigned message;
  std::uintptr_t wParam;
  PayloadPtr payload;
};

gboolean deliverPosted(gpointer data) {
  auto* record = static_cast<PostedRecord*>(data);
  if (record->desktop->accepting()) {
    record->desktop->deliver(record->message, record->wParam, std::move(record->payload));
  }
  return G_SOURCE_REMOVE;
}

void freePosted(gpointer data) { delete static_cast<PostedRecord*>(data); }

struct TimerRecord {
  LinuxDesktop* desktop;
  int id;
};

gboolean timerFired(gpointer data) {
  auto* record = static_cast<TimerRecord*>(data);
  record->desktop->deliverTimer(record->id);
  return G_SOURCE_CONTINUE;
}

void freeTimer(gpointer data) { delete static_cast<TimerRecord*>(data); }

}  // namespace

std::uint64_t LinuxDesktop::tickMs() { return static_cast<std::uint64_t>(g_get_monotonic_time() / 1000); }

void LinuxDesktop::startTimer(int id, std::uint32_t intervalMs) {
  killTimer(id);
  if (id == kTimerPointer) {
    // The pointer tick runs when the pointer gives a reason, not on a clock.
    if (!pointerWatch_) pointerWatch_ = std::make_unique<PointerWatch>([this] { return pointerTick(); });
    GdkDisplay* display = gtkReady_ ? gdk_display_get_default() : nullptr;
    pointerWatch_->start(display && !layer_ ? gdk_display_get_name(display) : "", intervalMs);
    return;
  }
  auto* record = new TimerRecord{this, id};
  timers_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, intervalMs, timerFired, record, freeTimer);
}

void LinuxDesktop::killTimer(int id) {
  if (id == kTimerPointer && pointerWatch_) pointerWatch_->stop();
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  const guint source = it->second;
  timers_.erase(it);
  g_source_remove(source);
}

void LinuxDesktop::deliverTimer(int id) {
  if (events_ && timers_.count(id)) events_->onTimer(id);
}

bool LinuxDesktop::post(unsigned message, std::uintptr_t wParam, PayloadPtr& payload) {
  if (!accepting_) return false;
  auto* record = new PostedRecord{this, message, wParam, std::move(payload)};
  // Always queued, even from the main thread: a post never runs its handler re-entrantly.
  g_idle_add_full(G_PRIORITY_DEFAULT, deliverPosted, record, freePosted);
  return true;
}

void LinuxDesktop::deliver(unsigned message, std::uintptr_t wParam, PayloadPtr payload) {
  if (events_) events_->onPrivateMessage(message, wParam, std::move(payload));
}

int LinuxDesktop::runLoop() {
  // A quit asked for before the loop runs ends it at once, like a posted quit message.
  if (!quitRequested_) {
    if (!loop_) loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
  }
  // Nobody is left to take a message: a later post fails and its sender keeps the payload.
  accepting_ = false;
  return quitCode_;
}

void LinuxDesktop::quit(int code) {
  quitRequested_ = true;
  quitCode_ = code;
  if (loop_ && g_main_loop_is_running(loop_)) g_main_loop_quit(loop_);
}
