// The App's side of the self-update, all on the main thread.
#include <system_error>
#include <thread>

#include "app/App.h"
#include "app/WorkerLink.h"
#include "common/json.h"
#include "update/UpdateReady.h"
#include "update/UpdateWorker.h"

void App::checkForUpdate(bool manual) {
  if (manual) {
    if (!updatePath.empty()) {
      announceUpdate();
      return;
    }
    updateManual.store(true);
  }
  if (closing.load()) return;
  // The running check reads updateManual when it ends, so it answers this request too.
  if (updateChecking.exchange(true)) return;
  try {
    if (workerMayStart("update")) {
      std::thread(updateWorker, workerLink, UpdateSource{serverOrigin, dataDir}).detach();
      return;
    }
  } catch (...) {
  }
  // No thread: updateManual stays set, and the next check answers it.
  updateChecking.store(false);
}

void App::onUpdateReady(std::unique_ptr<UpdateReady> ready) {
  if (!ready) return;
  updatePath = std::move(ready->path);
  updateVersion = std::move(ready->version);
  announceUpdate();
}

void App::announceUpdate() {
  runScript(toWide("window.deskUpdateReady && window.deskUpdateReady(") + scriptString(updateVersion) +
            toWide(")"));
}

void App::installUpdate() {
  if (updatePath.empty()) return;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(updatePath, ec))) return;
  if (desktop_.startDetached(updatePath, {toWide("/S"), toWide("/UPDATE")})) {
    desktop_.destroyWindow();
  }
}
