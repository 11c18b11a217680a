#pragma once
// What the workers (server-file and update downloads, the LAN server and its transfers) tell
// their owner, as typed events. The shell turns them into page callbacks (web/Callbacks.h) or
// main-thread work; the command-line peer prints them. Any thread; an implementation never
// blocks for long, since a worker waits for it.
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

struct FileJob;
struct UpdateReady;

// Outgoing LAN streams: a fetch wants the page-fed offer from record `from`; a chunk went out
// (or had no stream to go to); a stream ended before its end; a native offer's stream started,
// went on or ended with `bytes` sent (the file's size when done).
struct LanPull { std::string id; std::uint64_t from = 0; };
struct LanAck { std::string id; bool accepted = false; };
struct LanAbort { std::string id; };
enum class LanNativeStep { Start, Progress, Done };
struct LanNative { std::string id; LanNativeStep step = LanNativeStep::Start; std::uint64_t bytes = 0; };
// Receptions and probes: the page's download `pageId` holds `done` of `total` bytes; the first
// of a peer's addresses that answered (empty when none did).
struct LanReceiving { std::string pageId; std::uint64_t done = 0; std::uint64_t total = 0; };
struct LanProbed { std::string id; std::string found; };

using PageEvent = std::variant<LanPull, LanAck, LanAbort, LanNative, LanReceiving, LanProbed>;

// How an update check ended.
enum class UpdateOutcome { Ready, UpToDate, Failed };

class WorkerEvents {
 public:
  virtual ~WorkerEvents() = default;
  virtual void report(const PageEvent& event) = 0;
  // A finished save (server fetch or LAN reception); a job that is not taken is freed.
  virtual void fileDone(std::unique_ptr<FileJob> job) = 0;
  // A verified installer; one that is not taken is forgotten.
  virtual void updateReady(std::unique_ptr<UpdateReady> ready) = 0;
  // The end of one check; true when the checker is to run again at once (a request came in
  // while it ran).
  virtual bool updateChecked(UpdateOutcome outcome) = 0;
};
