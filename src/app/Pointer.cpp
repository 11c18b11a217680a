// Makes a full-screen transparent window behave as if only the page's shapes existed: the cursor
// is polled, the window takes the mouse only over a shape (or near the zone while a file is
// dragged), a press that began on the page keeps the window until the buttons are released, and
// the page hears about hover, activity and idle time.
//
// The pointer tick runs about 30 times a second while the pointer moves (for the life of the
// process where the backend cannot tell), so its steady path allocates nothing and touches the
// window style only when click-through really flips.
#include <cmath>
#include <cstdint>

#include "app/App.h"
#include "web/Callbacks.h"

namespace {

constexpr double kShapeMargin = 2.0;
constexpr double kFileDropMargin = 12.0;
constexpr std::uint64_t kActivityWindowMs = 4000;

// Inclusive on every edge: a cursor exactly on the widened border counts as inside.
bool inside(const Rect& r, double margin, double x, double y) {
  return r.x - margin <= x && x <= r.x + r.w + margin && r.y - margin <= y && y <= r.y + r.h + margin;
}

// A scale of zero or worse (a backend that could not read the DPI) would turn every position
// into infinity; treat it as unscaled instead.
double usableScale(double scale) { return std::isfinite(scale) && scale > 0 ? scale : 1.0; }

// The pixels a widened page rectangle covers, rounded outwards.
ScreenRect coveredPixels(const Rect& r, double margin, double scale) {
  return {static_cast<int>(std::floor((r.x - margin) * scale)), static_cast<int>(std::floor((r.y - margin) * scale)),
          static_cast<int>(std::ceil((r.x + r.w + margin) * scale)),
          static_cast<int>(std::ceil((r.y + r.h + margin) * scale))};
}

}  // namespace

void App::reportPageRegion() {
  const double scale = usableScale(pageScale);
  PageRegion region;
  region.shapes.reserve(hitRects.size());
  for (const Rect& r : hitRects) region.shapes.push_back(coveredPixels(r, kShapeMargin, scale));
  if (zoneValid) region.zone = coveredPixels(zoneRect, kFileDropMargin, scale);
  region.zoneTakesMouse = fileDragging;
  desktop_.setPageRegion(region);
}

void App::setClickThrough(bool on) {
  if (on == clickThrough) return;
  clickThrough = on;
  desktop_.setClickThrough(on);
}

void App::pointerTick() {
  if (!desktop_.windowVisible() || !web_.hasWebView()) return;

  const ScreenPoint cursor = desktop_.cursorPos();
  ScreenPoint client = desktop_.screenToClient(cursor);

  if (screenDragging) {
    const MonitorHandle nearest = desktop_.monitorNearest(cursor);
    // The window covers its monitor's work area, so its own top-left corner names the monitor it
    // sits on. That check is free; the full lookup reads every monitor's name and allocates, so
    // it runs only when the cursor is somewhere else.
    const MonitorHandle windowOn = desktop_.monitorNearest({cursor.x - client.x, cursor.y - client.y});
    if (nearest != 0 && nearest != windowOn && nearest != currentMonitor()) {
      moveToMonitor(nearest);
      // Reported only when the move took: a monitor that cannot be identified is not moved to,
      // and the page must not hear of a crossing 30 times a second.
      if (currentMonitor() == nearest) {
        // Relative to the moved window, in the scale of the monitor it now sits on.
        client = desktop_.screenToClient(cursor);
        const double scale = usableScale(pageScale);
        runScript(screenMovedScript(client.x / scale, client.y / scale));
      }
    }
  }

  if (!(cursor == lastCursor)) {
    lastCursor = cursor;
    lastMoveTick = desktop_.tickMs();
  }

  const double scale = usableScale(pageScale);
  const double x = client.x / scale;
  const double y = client.y / scale;

  const bool inZone = zoneValid && inside(zoneRect, 0.0, x, y);
  if (inZone != hovering) {
    hovering = inZone;
    runScript(hoverScript(inZone));
  }

  const bool buttonsUp = !desktop_.mouseButtonsDown();
  if (buttonsUp) pressDown = false;

  // Up to 2,048 shapes every 33 ms: a plain pointer walk stays fast even in unoptimised builds.
  for (const Rect *r = hitRects.data(), *end = r + hitRects.size(); r != end; ++r) {
    if (inside(*r, kShapeMargin, x, y)) {
      setClickThrough(false);
      return;
    }
  }
  if (fileDragging && zoneValid && inside(zoneRect, kFileDropMargin, x, y)) {
    setClickThrough(false);
    return;
  }
  // A button held over a window that takes the mouse: keep it only for a press that began on
  // the page, so dragging a shape off its own outline does not drop the drag.
  if (!buttonsUp && !clickThrough && pressDown) return;
  setClickThrough(true);
}

void App::activityTick(bool isActivity) {
  const std::uint32_t idleMs = desktop_.millisSinceLastInput();
  const std::uint64_t now = desktop_.tickMs();

  if (isActivity) {
    const char* kind = "type";
    if (sessionLocked) {
      kind = "lock";
    } else if (idleMs >= kActivityWindowMs) {
      kind = "";
    } else if (lastMoveTick != 0 && now >= lastMoveTick && now - lastMoveTick < kActivityWindowMs) {
      kind = "mouse";
    }
    runScript(activityScript(kind));
  } else {
    runScript(idleScript(idleMs / 1000));
  }

  if (hideUntil != 0 && now >= hideUntil) {
    hideUntil = 0;
    show();  // shows without activating
  }
  if (reloadAt != 0 && now >= reloadAt) {
    loadPage();
  }
}

void App::focusInput() {
  if (!web_.hasController() || !desktop_.windowVisible()) return;
  setClickThrough(false);
  if (!desktop_.isForeground()) desktop_.setForeground();
}
