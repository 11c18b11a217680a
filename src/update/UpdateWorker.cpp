#include "update/UpdateWorker.h"

#include <memory>

#include "common/WorkerLink.h"
#include "common/http.h"
#include "update/UpdateManifest.h"
#include "update/UpdatePlatform.h"
#include "update/UpdateReady.h"

namespace {

// One check; an installer found is reported as ready.
UpdateOutcome runCheck(WorkerLink& link, const UpdateSource& source) {
  std::string body;
  const WString url = source.serverOrigin + toWide(updateManifestPath());
  Json manifestJson;
  if (httpGet(url, body, std::nullopt, kManifestMaxBytes, 0)) manifestJson = parseJson(body);
  if (!manifestJson.is_object()) return UpdateOutcome::Failed;

  const UpdateManifest manifest = readManifest(manifestJson);
  switch (judgeManifest(manifest)) {
    case ManifestVerdict::NoVersion:
    case ManifestVerdict::NotNewer:
      return UpdateOutcome::UpToDate;
    case ManifestVerdict::Untrusted:
      return UpdateOutcome::Failed;
    case ManifestVerdict::Accepted:
      break;
  }

  auto installer = obtainInstaller(source, manifest.version, manifest.file, manifest.size,
                                   manifest.sha256);
  if (!installer) return UpdateOutcome::Failed;
  auto ready = std::make_unique<UpdateReady>();
  ready->path = std::move(*installer);
  ready->version = manifest.version;
  // A record nobody takes (closing, owner gone) is freed here.
  link.with([&](WorkerEvents& events) { events.updateReady(std::move(ready)); });
  return UpdateOutcome::Ready;
}

}  // namespace

void updateWorker(std::shared_ptr<WorkerLink> link, UpdateSource source) noexcept {
  if (!link) return;
  // A manual request that arrives after this check took its answer, but before the check is
  // over, finds the check still running and starts nothing; it is run here instead of waiting
  // for the next timer.
  bool again = false;
  do {
    UpdateOutcome outcome = UpdateOutcome::Failed;
    try {
      outcome = runCheck(*link, source);
    } catch (...) {
      outcome = UpdateOutcome::Failed;
    }
    again = false;
    link->with([&](WorkerEvents& events) { again = events.updateChecked(outcome); });
  } while (again);
}
