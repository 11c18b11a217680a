// What the web view may do: show only the desk page (everything else goes to the user's
// browser), never open a window, never grant a permission, retry an unreachable server behind
// an offline notice, and recover from crashed browser processes.
#include "app/App.h"
#include "web/Bridge.h"

namespace {
constexpr std::uint64_t kOfflineRetryMs = 10000;
constexpr std::uint64_t kRendererReloadMs = 2000;
}  // namespace

void App::forgetPageState() {
  hitRects.clear();
  zoneValid = false;
  pressDown = false;
  fileDragging = false;
  setClickThrough(true);
  reportPageRegion();
}

bool App::onNavigationStarting(const WString& uri) {
  // The offline notice is shown with navigateToString, which a runtime may report as
  // about:blank or as a data: address; only that one navigation may be a data: one.
  const bool notice = offlineNavigation_;
  offlineNavigation_ = false;
  if (uri == DESK_W("about:blank") || isDeskPage(uri)) return true;
  if (notice && WStringView(uri).substr(0, 5) == DESK_W("data:")) return true;
  openUrl(uri);
  return false;
}

void App::onNewWindowRequested(const WString& uri) {
  if (!uri.empty()) openUrl(uri);
}

void App::onNavigationCompleted(bool success, bool cancelled) {
  if (!success && !cancelled) showOffline();
}

void App::onProcessFailed(bool browserProcessExited) {
  if (browserProcessExited) {
    // Rebuilt from the loop, outside the failing host's own event.
    postPayload(WM_RESTART_WEB, 0, nullptr);
  } else {
    reloadAt = desktop_.tickMs() + kRendererReloadMs;
  }
}

bool App::onPermissionRequested() { return false; }

void App::loadPage() {
  reloadAt = 0;
  forgetPageState();
  if (web_.hasWebView()) web_.navigate(pageUrl);
}

void App::showOffline() {
  forgetPageState();
  reloadAt = desktop_.tickMs() + kOfflineRetryMs;
  if (!web_.hasWebView()) return;
  offlineNavigation_ = true;
  web_.navigateToString(offlineDocument());
}
