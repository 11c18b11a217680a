// Receptions of pushes into sinks: the page's "lanSinkGet", the server's three sink callbacks,
// the 40-second wait and the cancel.
#include "lan/LanSink.h"

#include <algorithm>
#include <system_error>

#include "common/WorkerLink.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/LanWorkers.h"
#include "lan/TransferSocketTable.h"
#include "lan/WorkerStop.h"

std::optional<PendingSink> LanSinks::takeUnclaimed(const std::string& lid, bool& busy) {
  std::lock_guard guard(lock_);
  busy = false;
  const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const PendingSink& s) { return s.lid == lid; });
  if (it == pending_.end()) return std::nullopt;
  busy = it->claimed;
  if (busy) return std::nullopt;
  PendingSink sink = std::move(*it);
  pending_.erase(it);
  return sink;
}

void LanSinks::add(PendingSink sink) {
  std::lock_guard guard(lock_);
  pending_.push_back(std::move(sink));
}

std::shared_ptr<LanFrames> LanSinks::claim(LanServer& server, const std::string& lid, const std::string& peer) {
  std::lock_guard guard(lock_);
  for (auto& sink : pending_) {
    if (sink.lid != lid || sink.claimed || !sink.frames || !sink.frames->ready) continue;
    if (!server.claimSink(lid)) return nullptr;
    sink.claimed = true;
    if (!peer.empty()) sink.origin = "http://" + peer + "/" + lid;
    return sink.frames;
  }
  return nullptr;
}

std::optional<PendingSink> LanSinks::take(const std::string& lid) {
  std::lock_guard guard(lock_);
  const auto it = std::find_if(pending_.begin(), pending_.end(),
                               [&](const PendingSink& s) { return s.lid == lid && s.claimed; });
  if (it == pending_.end()) return std::nullopt;
  PendingSink sink = std::move(*it);
  pending_.erase(it);
  return sink;
}

std::optional<PendingSink> LanSinks::takeWaiting(LanServer& server, const std::string& lid, const LanFrames* only) {
  std::lock_guard guard(lock_);
  const auto it = std::find_if(pending_.begin(), pending_.end(), [&](const PendingSink& s) {
    return s.lid == lid && !s.claimed && (!only || s.frames.get() == only);
  });
  // A replaced reception's time-out leaves the registration to the one that replaced it.
  if (only && it == pending_.end()) return std::nullopt;
  // Only while the id is still registered: a push claimed it, or the page closed the sink.
  if (!server.claimSink(lid) || it == pending_.end()) return std::nullopt;
  PendingSink sink = std::move(*it);
  pending_.erase(it);
  return sink;
}

bool LanSinks::waiting(const LanFrames* frames) {
  std::lock_guard guard(lock_);
  return std::any_of(pending_.begin(), pending_.end(),
                     [&](const PendingSink& s) { return s.frames.get() == frames && !s.claimed; });
}

std::optional<std::pair<std::string, std::uint64_t>> LanSinks::progressTarget(const std::string& lid) {
  std::lock_guard guard(lock_);
  for (const auto& sink : pending_) {
    if (sink.lid == lid) return std::pair{sink.id, sink.size};
  }
  return std::nullopt;
}

void LanRuntime::completeSink(PendingSink& sink, LanResult result) {
  if (result != LanResult::Complete && !stopping()) {
    lanLog("receiving \"" + sink.name + "\" (transfer " + sink.lid + ") ended with result " +
           std::to_string(static_cast<int>(result)));
  }
  finishLanTransfer(*seams_.events, sink.id, sink.how, sink.name, *sink.frames, result, sink.folders, sink.lid,
                    sink.origin);
}

void LanRuntime::installSinkCallbacks() {
  server_->installSinkCallbacks(
      [this](const std::string& lid, const std::string& peer) { return sinks_.claim(*server_, lid, peer); },
      [this](const std::string& lid, std::uint64_t bytes) {
        const auto target = sinks_.progressTarget(lid);
        if (target && !target->first.empty()) seams_.events->report(LanReceiving{target->first, bytes, target->second});
      },
      [this](const std::string& lid, LanResult result) {
        if (auto sink = sinks_.take(lid)) completeSink(*sink, result);
      });
}

// Forty seconds on the owner's clock, in steps of at most a second (a test's clock moves
// without waking anyone); then a reception that no push claimed is given up, part file kept.
// One that a push claimed or the page cancelled ends the wait early, freeing its place.
// One that a push claimed, the page cancelled or a later "lanSinkGet" of the lid replaced ends
// the wait early, freeing its place; a replaced one's forty seconds are never the new one's.
void LanRuntime::sinkWait(const std::string& lid, const std::weak_ptr<LanFrames>& reception, std::uint64_t start,
                          WorkerStop& stop) {
  for (;;) {
    const std::uint64_t waited = seams_.clock() - start;
    if (waited >= kLanSinkWaitMs) break;
    // Held while looking, so that no other reception's frames can be where these were.
    if (const auto frames = reception.lock(); !frames || !sinks_.waiting(frames.get())) return;
    if (!stop.sleepFor(std::min<std::uint64_t>(1000, kLanSinkWaitMs - waited))) return;
  }
  const auto frames = reception.lock();
  if (!frames) return;
  if (auto sink = sinks_.takeWaiting(*server_, lid, frames.get())) completeSink(*sink, LanResult::Incomplete);
}

SinkStart LanRuntime::sinkGet(const LanReceiveRequest& request, std::uint32_t& from) {
  LanServer& server = serverWithEvents();
  const std::string& lid = request.lid;
  if (isLanId(lid)) transferSockets()->clearCancelledTransfer(lid);
  if (!isLanId(lid) || request.key.size() != 64) return SinkStart::Failed;
  // An earlier reception of the lid is replaced, unless a push is being received into it: two
  // receptions would write into one part file.
  bool busy = false;
  std::optional<PendingSink> earlier = sinks_.takeUnclaimed(lid, busy);
  const std::filesystem::path part = partPath(lid);
  PartFileClaim claim;
  if (!busy) claim = earlier ? earlier->frames->yieldClaim() : PartFileClaim::take(part);
  if (!claim.owns()) {
    lanLog("refused a second reception of transfer " + lid + " while one is in progress");
    return SinkStart::Failed;
  }
  std::error_code ec;
  std::filesystem::create_directories(part.parent_path(), ec);
  auto frames = std::make_shared<LanFrames>(request.key, part, request.size);
  if (!frames->ready) {
    lanLog("receiving \"" + request.name + "\" (transfer " + lid + "): " + lanFramesFailure(*frames));
    // Nothing changes for the earlier reception.
    if (earlier) {
      earlier->frames->adoptClaim(std::move(claim));
      sinks_.add(std::move(*earlier));
    }
    return SinkStart::Failed;
  }
  frames->adoptClaim(std::move(claim));
  earlier.reset();  // replaced silently, after the new frames read the part file
  const LanSaveFolders folders{seams_.receivedFolder(), request.dir};
  if (frames->received >= frames->total) {
    // Across file systems the move is a copy of the whole file: never on the page's thread.
    auto settle = [events = seams_.events, request, frames, folders] {
      finishLanTransfer(*events, request.id, request.how, request.name, *frames, LanResult::Complete, folders,
                        request.lid, std::string());
    };
    if (!startWorker("lanSinkMove", [settle](WorkerStop&) { settle(); })) settle();
    return SinkStart::Complete;
  }
  from = frames->nextIndex;
  const std::weak_ptr<LanFrames> reception = frames;
  sinks_.add({lid, request.id, request.how, request.name, request.size, std::move(frames), folders, false, {}});
  server.addSink(lid);
  server.ensureStarted();
  installSinkCallbacks();
  const std::uint64_t start = seams_.clock();
  if (startWorker("lanSinkWait", [this, lid, reception, start](WorkerStop& stop) { sinkWait(lid, reception, start, stop); },
                  kLanSinksAtOnce)) {
    return SinkStart::Waiting;
  }
  // A reception that nothing would ever give up is not left waiting; the part file stays. One
  // that a push claimed meanwhile needs no wait: the push's end reports it.
  const auto refused = sinks_.takeWaiting(server, lid, reception.lock().get());
  if (!refused) return SinkStart::Waiting;
  lanLog("refused receiving transfer " + lid + ": " + std::to_string(kLanSinksAtOnce) +
         " receptions are waiting already, or no thread could be started");
  // A part file without one whole record is of no use to a later run.
  if (refused->frames->received == 0) {
    refused->frames->close();
    std::filesystem::remove(part, ec);
  }
  return SinkStart::Failed;
}

void LanRuntime::cancelSink(const std::string& lid) {
  if (auto sink = sinks_.takeWaiting(*server_, lid)) completeSink(*sink, LanResult::Gone);
}
