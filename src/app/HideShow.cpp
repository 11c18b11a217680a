// Hiding the companion for a while, showing it again, and handing addresses to the browser.
#include <algorithm>
#include <cmath>

#include "app/App.h"
#include "common/url.h"
#include "web/Callbacks.h"

namespace {
constexpr std::uint64_t kHideMs = 3600000;
constexpr double kMaxHideMs = 86400000;
}

void App::hide() {
  runScript(blurScript());  // dropped without a web view or while closing
  pressDown = false;
  fileDragging = false;
  reportPageRegion();
  desktop_.hideWindow();
  hideUntil = desktop_.tickMs() + kHideMs;
  updateTrayMenu();
}

void App::hideFor(double ms) {
  if (!std::isfinite(ms) || ms <= 0) return;
  hide();
  hideUntil = desktop_.tickMs() + static_cast<std::uint64_t>(std::min(ms, kMaxHideMs));
}

void App::show() {
  hideUntil = 0;
  desktop_.showWindowNoActivate();
  updateTrayMenu();
}

void App::openUrl(const WString& url) {
  if (crackUrl(url).valid) desktop_.openWebAddress(url);
}
