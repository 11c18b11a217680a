// The end of every reception: the part file put in place, kept for a resume, or removed.
#include <system_error>

#include "common/WorkerLink.h"
#include "files/FileJob.h"
#include "files/Saving.h"
#include "lan/LanFrames.h"
#include "lan/LanReceive.h"
#include "lan/TransferSocketTable.h"

void settleLanTransfer(FileJob& job, const std::string& name, LanFrames& frames, LanResult result,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin) {
  if (!lid.empty() && transferSockets()->isCancelled(lid)) result = LanResult::Gone;
  // The part file counts as complete only once the system has taken every byte of it.
  if (!frames.close() && result == LanResult::Complete) {
    lanLog("could not finish writing " + frames.partPath.string());
    result = LanResult::Incomplete;
  }
  job.ok = false;
  job.resume = false;
  const WString clean = cleanFileName(toWide(name));
  std::filesystem::path folder = folders.received;
  if (result == LanResult::Complete) {
    // Chosen now rather than when the transfer began, since the user may have removed or
    // renamed the folder meanwhile; and a failed transfer leaves no empty folder behind.
    std::error_code ec;
    std::filesystem::create_directories(folders.received, ec);
    folder = saveFolderUnder(folders.received, folders.dir);
  }
  job.reservation = reserveFreePath(folder, clean);
  job.path = job.reservation.path();
  if (result == LanResult::Complete) {
    // Never replaces anything; on failure the part file stays where it is.
    if (!placeSavedFile(job, frames.partPath, toWide(origin))) {
      lanLog("could not put " + frames.partPath.string() + " in place as " + job.path.string());
    }
  } else {
    std::error_code ec;
    if (result == LanResult::Gone || result == LanResult::Broken) std::filesystem::remove(frames.partPath, ec);
    job.resume = result != LanResult::Gone;
  }
  // The part file is settled; another transfer of the id may start once the page hears of it.
  frames.releaseClaim();
}

void finishLanTransfer(WorkerLink& events, const std::string& id, const std::string& how,
                       const std::string& name, LanFrames& frames, LanResult result,
                       const LanSaveFolders& folders, const std::string& lid, const std::string& origin) {
  auto job = std::make_unique<FileJob>();
  job->id = id;
  job->how = how;
  settleLanTransfer(*job, name, frames, result, folders, lid, origin);
  events.with([&](WorkerEvents& owner) { owner.fileDone(std::move(job)); });
}
