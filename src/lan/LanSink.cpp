// Receptions of pushes into sinks: the page's "lanSinkGet", the server's three sink callbacks,
// the 40-second wait and the cancel.
#include "lan/LanSink.h"

#include <algorithm>
#include <system_error>

#include "app/App.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/LanWorkers.h"
#include "web/Callbacks.h"

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

std::optional<PendingSink> LanSinks::takeWaiting(LanServer& server, const std::string& lid) {
  std::lock_guard guard(lock_);
  const auto it = std::find_if(pending_.begin(), pending_.end(),
                               [&](const PendingSink& s) { return s.lid == lid && !s.claimed; });
  // Only while the id is still registered: a push claimed it, or the page closed the sink.
  if (!server.claimSink(lid) || it == pending_.end()) return std::nullopt;
  PendingSink sink = std::move(*it);
  pending_.erase(it);
  return sink;
}

std::optional<std::pair<std::string, std::uint64_t>> LanSinks::progressTarget(const std::string& lid) {
  std::lock_guard guard(lock_);
  for (const auto& sink : pending_) {
    if (sink.lid == lid) return std::pair{sink.id, sink.size};
  }
  return std::nullopt;
}

namespace {

void completeSink(App& app, PendingSink& sink, int code) {
  if (code != kLanComplete && !app.closing) {
    lanLog("receiving \"" + sink.name + "\" (transfer " + sink.lid + ") ended with result " + std::to_string(code));
  }
  finishLanTransfer(app, sink.id, sink.how, sink.name, *sink.frames, code, sink.folders, sink.lid, sink.origin);
}

void installSinkCallbacks(App& app, LanSinks& sinks, LanServer& server) {
  server.installSinkCallbacks(
      [&sinks, &server](const std::string& lid, const std::string& peer) { return sinks.claim(server, lid, peer); },
      [&app, &sinks](const std::string& lid, std::uint64_t bytes) {
        const auto target = sinks.progressTarget(lid);
        if (target && !target->first.empty()) app.postLanProgress(target->first, bytes, target->second);
      },
      [&app, &sinks](const std::string& lid, int code) {
        if (auto sink = sinks.take(lid)) completeSink(app, *sink, code);
      });
}

// Forty seconds on the desktop's clock, in steps of at most a second (a test's clock moves
// without waking anyone); then a reception that no push claimed is given up, part file kept.
void sinkWaitWorker(App& app, LanSinks& sinks, LanServer& server, const std::string& lid, std::uint64_t start,
                    WorkerStop& stop) {
  Desktop& desktop = app.desktop();
  for (;;) {
    const std::uint64_t waited = desktop.tickMs() - start;
    if (waited >= kLanSinkWaitMs) break;
    if (!stop.sleepFor(std::min<std::uint64_t>(1000, kLanSinkWaitMs - waited))) return;
  }
  if (auto sink = sinks.takeWaiting(server, lid)) completeSink(app, *sink, kLanIncomplete);
}

}  // namespace

void App::lanSinkGet(const Json& message) {
  LanRuntime& runtime = lanRuntimeOf(*this);
  LanServer& server = lanServerWithScripts(*this);
  const std::string lid = jsonString(message, "lid").value_or("");
  const std::string id = jsonString(message, "id").value_or("");
  const std::string how = jsonString(message, "how").value_or("") == "open" ? "open" : "save";
  const std::string key = jsonString(message, "key").value_or("");
  const std::string name = jsonString(message, "name").value_or("");
  const std::string dir = jsonString(message, "dir").value_or("");
  const std::uint64_t size = jsonUnsigned(message, "size").value_or(0);
  if (isLanId(lid)) transferSockets()->clearCancelledTransfer(lid);
  if (!isLanId(lid) || key.size() != 64) {
    failLanReceptionNow(*this, id, how, name);
    return;
  }
  // An earlier reception of the lid is replaced, unless a push is being received into it: two
  // receptions would write into one part file.
  bool busy = false;
  std::optional<PendingSink> earlier = runtime.sinks().takeUnclaimed(lid, busy);
  const std::filesystem::path partPath = lanPartPath(*this, lid);
  PartFileClaim claim;
  if (!busy) claim = earlier ? earlier->frames->yieldClaim() : PartFileClaim::take(transferSockets(), partPath);
  if (!claim.owns()) {
    lanLog("refused a second reception of transfer " + lid + " while one is in progress");
    failLanReceptionNow(*this, id, how, name);
    return;
  }
  std::error_code ec;
  std::filesystem::create_directories(partPath.parent_path(), ec);
  auto frames = std::make_shared<LanFrames>(key, partPath, size);
  if (!frames->ready) {
    lanLog("receiving \"" + name + "\" (transfer " + lid + "): " + lanFramesFailure(*frames));
    // Nothing changes for the earlier reception.
    if (earlier) {
      earlier->frames->adoptClaim(std::move(claim));
      runtime.sinks().add(std::move(*earlier));
    }
    failLanReceptionNow(*this, id, how, name);
    return;
  }
  frames->adoptClaim(std::move(claim));
  earlier.reset();  // replaced silently, after the new frames read the part file
  const LanSaveFolders folders = lanSaveFolders(*this, dir);
  if (frames->received >= frames->total) {
    finishLanTransfer(*this, id, how, name, *frames, kLanComplete, folders, lid, std::string());
    return;
  }
  const std::uint32_t from = frames->nextIndex;
  runtime.sinks().add({lid, id, how, name, size, std::move(frames), folders, false, std::string()});
  server.addSink(lid);
  server.ensureStarted();
  installSinkCallbacks(*this, runtime.sinks(), server);
  runScript(lanSinkWaitScript(lid, from));
  LanSinks& sinks = runtime.sinks();
  const std::uint64_t start = desktop().tickMs();
  runtime.startWorker([this, &sinks, &server, lid, start](WorkerStop& stop) {
    sinkWaitWorker(*this, sinks, server, lid, start, stop);
  });
}

void cancelPendingSink(App& app, const std::string& lid) {
  if (!app.lanRuntime || !app.lan) return;
  LanRuntime& runtime = *app.lanRuntime;
  if (auto sink = runtime.sinks().takeWaiting(*app.lan, lid)) completeSink(app, *sink, kLanGone);
}
