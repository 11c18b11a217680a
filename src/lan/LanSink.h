#pragma once
// Receptions of pushes. "lanSinkGet" prepares one: the part file of the transfer id with its
// resume point, one sink id on the server, and a 40-second wait. The server's push receiver
// claims it, and it completes exactly once: when the push ends, when 40 seconds pass without a
// push, or when the page cancels it.
//
// The sink lock is taken before the LanServer's lock wherever both are held: claiming a
// reception unregisters its id on the server inside this lock, which is what makes a push, a
// second push, the time-out and a cancel exclusive of each other.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lan/LanReceive.h"

class LanFrames;
class LanServer;

inline constexpr std::uint64_t kLanSinkWaitMs = 40000;

struct PendingSink {
  std::string lid;   // the transfer id
  std::string id;    // the page's identifier of the download
  std::string how;
  std::string name;
  std::uint64_t size = 0;
  std::shared_ptr<LanFrames> frames;
  LanSaveFolders folders;
  bool claimed = false;  // a push is being received into it
  std::string origin;    // the pushing peer's address, once claimed
};

class LanSinks {
 public:
  // Takes out the reception of `lid` unless a push is being received into it; `busy` tells
  // whether one is.
  std::optional<PendingSink> takeUnclaimed(const std::string& lid, bool& busy);
  void add(PendingSink sink);
  // For a push from `peer`: the ready frames of the lid's reception, its id unregistered on the
  // server in the same step; nothing when there is no such reception or it was claimed.
  std::shared_ptr<LanFrames> claim(LanServer& server, const std::string& lid, const std::string& peer);
  // Takes out the reception of `lid` (the one a push claimed, when it ends).
  std::optional<PendingSink> take(const std::string& lid);
  // Takes out the reception of `lid` only while its id is still registered (prepared, no push):
  // for a cancel, and (only the reception of those frames) for its time-out.
  std::optional<PendingSink> takeWaiting(LanServer& server, const std::string& lid, const LanFrames* only = nullptr);
  // Whether the reception of these frames waits for its push (prepared or closed, not claimed,
  // not replaced by another reception of its lid).
  bool waiting(const LanFrames* frames);
  // The page's id and the size of the lid's reception, for its progress.
  std::optional<std::pair<std::string, std::uint64_t>> progressTarget(const std::string& lid);

 private:
  std::mutex lock_;  // the sink lock
  std::vector<PendingSink> pending_;
};
