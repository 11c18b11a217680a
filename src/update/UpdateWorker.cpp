#include "update/UpdateWorker.h"

#include <memory>

#include "app/App.h"
#include "common/http.h"
#include "update/UpdateManifest.h"
#include "update/UpdatePlatform.h"
#include "update/UpdateReady.h"

namespace {

// One check; returns 0 when an installer was announced, else the answer for a manual request.
unsigned runCheck(App& app, const UpdateSource& source) {
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
  if (!app.closing.load()) {
    auto ready = std::make_unique<UpdateReady>();
    ready->path = std::move(*installer);
    ready->version = manifest.version;
    // A failed post frees the record with its owner here.
    app.postPayload(WM_UPDATE_READY, 0, std::move(ready));
  }
  return 0;
}

}  // namespace

void updateWorker(App& app, UpdateSource source) noexcept {
  // A manual request that arrives after this check took its answer, but before the check is
  // over, finds updateChecking still set and starts nothing; it is run here instead of waiting
  // for the next timer.
  do {
    unsigned state = kUpdateStateFail;
    try {
      state = runCheck(app, source);
    } catch (...) {
      state = kUpdateStateFail;
    }
    if (app.updateManual.exchange(false) && state != 0 && !app.closing.load()) {
      app.postPayload(WM_UPDATE_STATE, state, nullptr);
    }
    app.updateChecking.store(false);
  } while (app.updateManual.load() && !app.closing.load() && !app.updateChecking.exchange(true));
}
