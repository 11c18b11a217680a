// The App's side of the self-update, all on the main thread.
#include <system_error>

#include "app/App.h"
#include "common/json.h"
#include "update/UpdateReady.h"
#include "update/UpdateWorker.h"
#include "web/Callbacks.h"

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
  const UpdateSource source{serverOrigin, dataDir};
  if (desktop_.startWorker("update", [link = workerLink, source] { updateWorker(link, source); })) return;
  // No thread: updateManual stays set, and the next check answers it.
  updateChecking.store(false);
}

bool App::updateChecked(UpdateOutcome outcome) {
  // Under the worker's link: this App is alive for the whole step.
  if (updateManual.exchange(false) && outcome != UpdateOutcome::Ready) {
    postPayload(WM_UPDATE_STATE, outcome == UpdateOutcome::UpToDate ? 1 : 2, nullptr);
  }
  updateChecking.store(false);
  return updateManual.load() && !closing.load() && !updateChecking.exchange(true);
}

void App::onUpdateReady(std::unique_ptr<UpdateReady> ready) {
  if (!ready) return;
  updatePath = std::move(ready->path);
  updateVersion = std::move(ready->version);
  announceUpdate();
}

void App::announceUpdate() { runScript(updateReadyScript(updateVersion)); }

void App::installUpdate() {
  if (updatePath.empty()) return;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(updatePath, ec))) return;
  if (desktop_.startDetached(updatePath, {toWide("/S"), toWide("/UPDATE")})) {
    desktop_.destroyWindow();
  }
}
