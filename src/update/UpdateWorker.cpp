#include "update/UpdateWorker.h"

#include <memory>

#include "app/App.h"
#include "app/WorkerLink.h"
#include "common/http.h"
#include "update/UpdateManifest.h"
#include "update/UpdatePlatform.h"
#include "update/UpdateReady.h"

namespace {

// One check; returns 0 when an installer was announced, else the answer for a manual request.
unsigned runCheck(WorkerLink& link, const UpdateSource& source) {
  std::string body;
  const WString url = source.serverOrigin + toWide(updateManifestPath());
  Json manifestJson;
  if (httpGet(url, body, std::nullopt, kManifestMaxBytes, 0)) manifestJson = parseJson(body);
  if (!manifestJson.is_object()) return kUpdateStateFail;

  const UpdateManifest manifest = readManifest(manifestJson);
  switch (judgeManifest(manifest)) {
    case ManifestVerdict::NoVersion:
    case ManifestVerdict::NotNewer:
      return kUpdateStateLatest;
    case ManifestVerdict::Untrusted:
      return kUpdateStateFail;
    case ManifestVerdict::Accepted:
      break;
  }

  auto installer = obtainInstaller(source, manifest.version, manifest.file, manifest.size,
                                   manifest.sha256);
  if (!installer) return kUpdateStateFail;
  auto ready = std::make_unique<UpdateReady>();
  ready->path = std::move(*installer);
  ready->version = manifest.version;
  // A refused post (closing, App gone) frees the record here.
  link.post(WM_UPDATE_READY, 0, std::move(ready));
  return 0;
}

}  // namespace

void updateWorker(std::shared_ptr<WorkerLink> link, UpdateSource source) noexcept {
  if (!link) return;
  // A manual request that arrives after this check took its answer, but before the check is
  // over, finds updateChecking still set and starts nothing; it is run here instead of waiting
  // for the next timer.
  bool again = false;
  do {
    unsigned state = kUpdateStateFail;
    try {
      state = runCheck(*link, source);
    } catch (...) {
      state = kUpdateStateFail;
    }
    again = false;
    link->withApp([&](App& app) {
      if (app.updateManual.exchange(false) && state != 0) app.postPayload(WM_UPDATE_STATE, state, nullptr);
      app.updateChecking.store(false);
      again = app.updateManual.load() && !app.closing.load() && !app.updateChecking.exchange(true);
    });
  } while (again);
}
