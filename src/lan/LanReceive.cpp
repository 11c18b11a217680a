#include "lan/LanReceive.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <system_error>

#include "app/App.h"
#include "files/FileJob.h"
#include "files/Saving.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "web/Callbacks.h"

LanSaveFolders lanSaveFolders(App& app, const std::string& dir) { return {receivedFolderPath(app), dir}; }

void lanLog(const std::string& line) { std::fprintf(stderr, "tamsel-desk: LAN: %s\n", line.c_str()); }

std::string lanFramesFailure(const LanFrames& frames) {
  if (frames.total == 0) return "the size is 0";
  if (!frames.key) return "the key is not 64 hexadecimal digits";
  return "cannot write the part file " + frames.partPath.string();
}

std::filesystem::path lanPartPath(App& app, const std::string& lid) {
  return app.desktop().partFileFolder() / ("lan-" + lid + ".part");
}

void App::postLanProgress(const std::string& id, std::uint64_t done, std::uint64_t total) {
  std::uint64_t percent = 0;
  if (total != 0) {
    if (done >= total) {
      percent = 99;
    } else if (done <= std::numeric_limits<std::uint64_t>::max() / 100) {
      percent = done * 100 / total;
    } else {
      percent = done / (total / 100);
    }
    percent = std::min<std::uint64_t>(percent, 99);
  }
  postScript(lanProgressScript(id, percent, done));
}

void failLanReceptionNow(App& app, const std::string& id, const std::string& how,
                         const std::string& name) {
  auto job = std::make_unique<FileJob>();
  job->app = &app;
  job->id = id;
  job->how = how;
  job->reservation = uniqueSavePath(app, name, std::string());
  job->path = job->reservation.path();
  job->ok = false;
  job->resume = false;
  app.onFileDone(std::move(job));
}

void App::lanGet(const Json& message) {
  const std::string id = jsonString(message, "id").value_or("");
  const std::string how = jsonString(message, "how").value_or("") == "open" ? "open" : "save";
  const std::string name = jsonString(message, "name").value_or("");
  const std::string url = jsonString(message, "url").value_or("");
  const std::string key = jsonString(message, "key").value_or("");
  const std::string dir = jsonString(message, "dir").value_or("");
  const std::uint64_t size = jsonUnsigned(message, "size").value_or(0);
  if (!isPeerUrl(url) || key.size() != 64) {
    failLanReceptionNow(*this, id, how, name);
    return;
  }
  auto job = std::make_shared<LanGetJob>();
  job->app = this;
  job->id = id;
  job->how = how;
  job->name = name;
  job->url = url;
  job->key = key;
  job->size = size;
  job->lid = url.substr(url.rfind('/') + 1);
  job->partPath = lanPartPath(*this, job->lid);
  // A second transfer of the id while the first runs would write into the same part file:
  // it is refused, and the first one's part file and outcome stay untouched.
  job->claim = PartFileClaim::take(transferSockets(), job->partPath);
  if (!job->claim.owns()) {
    failLanReceptionNow(*this, id, how, name);
    return;
  }
  job->folders = lanSaveFolders(*this, dir);
  transferSockets()->clearCancelledTransfer(job->lid);
  lanRuntimeOf(*this).startWorker([job](WorkerStop& stop) { lanGetWorker(*job, stop); });
}

void lanGetWorker(LanGetJob& job, WorkerStop& stop) {
  App& app = *job.app;
  std::error_code ec;
  std::filesystem::create_directories(job.partPath.parent_path(), ec);
  LanFrames frames(job.key, job.partPath, job.size);
  frames.adoptClaim(std::move(job.claim));
  int status = kLanGone;
  if (!frames.ready) lanLog("fetching \"" + job.name + "\" from " + job.url + ": " + lanFramesFailure(frames));
  if (frames.ready) {
    status = kLanComplete;
    if (frames.received < frames.total) {
      Desktop& desktop = app.desktop();
      std::uint64_t last = 0;
      bool first = true;
      const LanProgress progress = [&](std::uint64_t done) {
        const std::uint64_t now = desktop.tickMs();
        if (!first && now - last < kLanProgressIntervalMs) return;
        first = false;
        last = now;
        app.postLanProgress(job.id, done, job.size);
      };
      LanFetchReport report;
      desktop.keepAwake(true);
      status = fetchPeer(job.url, frames, {progress, &stop, false, &report});
      desktop.keepAwake(false);
      if (status != kLanComplete && !stop.stopped()) {
        lanLog("fetching \"" + job.name + "\" from " + job.url + ": " + describeLanFailure(report, job.url));
      }
    }
  }
  finishLanTransfer(app, job.id, job.how, job.name, frames, status, job.folders, job.lid, job.url);
}

void settleLanTransfer(FileJob& job, const std::string& name, LanFrames& frames, int status,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin) {
  if (!lid.empty() && transferSockets()->isCancelled(lid)) status = kLanGone;
  // The part file counts as complete only once the system has taken every byte of it.
  if (!frames.close() && status == kLanComplete) {
    lanLog("could not finish writing " + frames.partPath.string());
    status = kLanIncomplete;
  }
  job.ok = false;
  job.resume = false;
  const WString clean = cleanFileName(toWide(name));
  std::filesystem::path folder = folders.received;
  if (status == kLanComplete) {
    // Chosen now rather than when the transfer began, since the user may have removed or
    // renamed the folder meanwhile; and a failed transfer leaves no empty folder behind.
    std::error_code ec;
    std::filesystem::create_directories(folders.received, ec);
    folder = saveFolderUnder(folders.received, folders.dir);
  }
  job.reservation = reserveFreePath(folder, clean);
  job.path = job.reservation.path();
  if (status == kLanComplete) {
    // Never replaces anything; on failure the part file stays where it is.
    if (!placeSavedFile(job, frames.partPath, toWide(origin))) {
      lanLog("could not put " + frames.partPath.string() + " in place as " + job.path.string());
    }
  } else {
    std::error_code ec;
    if (status == kLanGone || status == kLanBroken) std::filesystem::remove(frames.partPath, ec);
    job.resume = status != kLanGone;
  }
  // The part file is settled; another transfer of the id may start once the page hears of it.
  frames.releaseClaim();
}

void finishLanTransfer(App& app, const std::string& id, const std::string& how,
                       const std::string& name, LanFrames& frames, int status,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin) {
  auto job = std::make_unique<FileJob>();
  job->app = &app;
  job->id = id;
  job->how = how;
  settleLanTransfer(*job, name, frames, status, folders, lid, origin);
  app.postPayload(WM_FILE_DONE, 0, std::move(job));
}
