// The fetch of a "lanGet": the part file resumed, the peer's stream received into it, the file
// put in place.
#include <system_error>

#include "common/WorkerLink.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanReceive.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/TransferSocketTable.h"

void lanGetWorker(LanGetJob& job, WorkerStop& stop, const LanSeams& seams) {
  std::error_code ec;
  std::filesystem::create_directories(job.partPath.parent_path(), ec);
  LanFrames frames(job.key, job.partPath, job.size);
  frames.adoptClaim(std::move(job.claim));
  LanResult result = LanResult::Gone;
  if (!frames.ready) lanLog("fetching \"" + job.name + "\" from " + job.url + ": " + lanFramesFailure(frames));
  if (frames.ready) {
    result = LanResult::Complete;
    if (frames.received < frames.total) {
      std::uint64_t last = 0;
      bool first = true;
      const LanFetchProgress progress = [&](std::uint64_t done) {
        const std::uint64_t now = seams.clock();
        if (!first && now - last < kLanProgressIntervalMs) return;
        first = false;
        last = now;
        seams.events->report(LanReceiving{job.id, done, job.size});
      };
      LanFetchReport report;
      seams.keepAwake(true);
      result = fetchPeer(job.url, frames, {progress, &stop, false, &report});
      seams.keepAwake(false);
      if (result != LanResult::Complete && !stop.stopped()) {
        lanLog("fetching \"" + job.name + "\" from " + job.url + ": " + describeLanFailure(report, job.url));
      }
    }
  }
  finishLanTransfer(*seams.events, job.id, job.how, job.name, frames, result, job.folders, job.lid, job.url);
}

bool LanRuntime::get(const LanReceiveRequest& request) {
  if (!isPeerUrl(request.url) || request.key.size() != 64) return false;
  auto job = std::make_shared<LanGetJob>();
  job->id = request.id;
  job->how = request.how;
  job->name = request.name;
  job->url = request.url;
  job->key = request.key;
  job->size = request.size;
  job->lid = request.url.substr(request.url.rfind('/') + 1);
  job->partPath = partPath(job->lid);
  // A second transfer of the id while the first runs would write into the same part file:
  // it is refused, and the first one's part file and outcome stay untouched.
  job->claim = PartFileClaim::take(job->partPath);
  if (!job->claim.owns()) return false;
  job->folders = {seams_.receivedFolder(), request.dir};
  transferSockets()->clearCancelledTransfer(job->lid);
  startWorker("lanGet", [this, job](WorkerStop& stop) { lanGetWorker(*job, stop, seams_); });
  return true;
}
