// The fetch of a "lanGet": the part file resumed, the peer's stream received into it, the file
// put in place.
#include <system_error>

#include "common/WorkerLink.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanReceive.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/LanWorkers.h"
#include "lan/TransferSocketTable.h"

void lanGetWorker(LanGetJob& job, WorkerStop& stop, const LanSeams& seams) {
  const LanReceiveRequest& r = job.request;
  std::error_code ec;
  std::filesystem::create_directories(job.partPath.parent_path(), ec);
  LanFrames frames(r.key, job.partPath, r.size);
  frames.adoptClaim(std::move(job.claim));
  LanResult result = LanResult::Gone;
  if (!frames.ready) lanLog("fetching \"" + r.name + "\" from " + r.url + ": " + lanFramesFailure(frames));
  if (frames.ready) {
    result = LanResult::Complete;
    if (frames.received < frames.total) {
      ProgressThrottle throttle;
      const LanFetchProgress progress = [&](std::uint64_t done) {
        if (throttle.due(seams.clock())) seams.events->report(LanReceiving{r.id, done, r.size});
      };
      LanFetchReport report;
      seams.keepAwake(true);
      result = fetchPeer(r.url, frames, {progress, &stop, false, &report});
      seams.keepAwake(false);
      if (result != LanResult::Complete && !stop.stopped()) {
        lanLog("fetching \"" + r.name + "\" from " + r.url + ": " + describeLanFailure(report, r.url));
      }
    }
  }
  finishLanTransfer(*seams.events, r.id, r.how, r.name, frames, result, job.folders, job.lid, r.url);
}

bool LanRuntime::get(const LanReceiveRequest& request) {
  if (!isPeerUrl(request.url) || request.key.size() != 64) return false;
  auto job = std::make_shared<LanGetJob>();
  job->request = request;
  job->lid = request.url.substr(request.url.rfind('/') + 1);
  job->partPath = partPath(job->lid);
  // A second transfer of the id while the first runs would write into the same part file:
  // it is refused, and the first one's part file and outcome stay untouched.
  job->claim = PartFileClaim::take(job->partPath);
  if (!job->claim.owns()) return false;
  job->folders = {seams_.receivedFolder(), request.dir};
  transferSockets()->clearCancelledTransfer(job->lid);
  // Refused, the job goes with its claim on the part file, and the page hears of a failure.
  return startWorker("lanGet", [this, job](WorkerStop& stop) { lanGetWorker(*job, stop, seams_); }, kLanFetchesAtOnce);
}
