#pragma once
// What the LAN side of one shell runs: its LanServer, its pending sink receptions and its
// workers (fetches, pushes, probes, sink waits). Made (shared) on the first LAN message. Every
// worker holds the runtime, so it lives until its last worker has ended; stop() ends them all
// (sockets shut down, part files kept for a later resume) without having to wait for one that
// is blocked where nothing can reach it. It knows its owner only through the seams it is given.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lan/LanSink.h"

class LanFrames;
class LanServer;
class WorkerLink;
class WorkerStop;

// What the LAN side needs of its owner.
struct LanSeams {
  std::shared_ptr<WorkerLink> events;            // where the page's callbacks and saves go
  std::function<std::uint64_t()> clock;          // a millisecond tick; any thread
  std::function<void(bool)> keepAwake;           // counted; any thread
  std::function<std::filesystem::path()> partFolder;      // private, for part files; main thread
  std::function<std::filesystem::path()> receivedFolder;  // not created; main thread
  // Runs the work on a thread of its own; false when it cannot, and the work is dropped.
  std::function<bool(const char* name, std::function<void()> work)> startWorker;
};

// How a "lanSinkGet" began: refused at once, already whole in its part file, or waiting for a push.
enum class SinkStart { Failed, Complete, Waiting };

class LanRuntime : public std::enable_shared_from_this<LanRuntime> {
 public:
  explicit LanRuntime(LanSeams seams);
  ~LanRuntime();
  LanRuntime(const LanRuntime&) = delete;
  LanRuntime& operator=(const LanRuntime&) = delete;

  // Stops every worker and the server, and refuses new workers; then waits up to ms for the
  // workers to end (0: not at all). True when none runs any more.
  bool stop(std::uint64_t ms);

  LanServer& server() { return *server_; }
  const std::shared_ptr<LanServer>& sharedServer() const { return server_; }
  // The server with the owner's events installed (the first "lanOpen", "lanSink" or
  // "lanSinkGet" installs them).
  LanServer& serverWithEvents();
  // Runs `work` through the owner's worker start, counted; false when it could not start, while
  // stopping, or when `limit` (when not 0) workers of that name are running already.
  bool startWorker(const char* name, std::function<void(WorkerStop&)> work, std::size_t limit = 0);

  // ---- the page's requests (main thread) ----
  // A fetch from a checked peer address; false when it fails at once (the owner tells the page).
  bool get(const LanReceiveRequest& request);
  // `from`: the record a waiting sink expects first.
  SinkStart sinkGet(const LanReceiveRequest& request, std::uint32_t& from);
  // After a cancel: a prepared sink reception of the lid is taken out and completed as gone.
  void cancelSink(const std::string& lid);
  void push(const std::string& id, const std::string& url, std::uint64_t from);
  void probe(const std::string& id, std::vector<std::string> urls);

 private:
  struct Workers;
  void installSinkCallbacks();
  void completeSink(PendingSink& sink, LanResult result);
  void sinkWait(const std::string& lid, const std::weak_ptr<LanFrames>& reception, std::uint64_t start,
                WorkerStop& stop);
  std::filesystem::path partPath(const std::string& lid) const;
  bool stopping() const;

  LanSeams seams_;
  std::shared_ptr<LanServer> server_;
  LanSinks sinks_;
  std::shared_ptr<Workers> workers_;
};
