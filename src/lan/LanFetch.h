#pragma once
// Fetching a peer's offer: the connect, the request, the answer head and the record stream,
// written into a LanFrames. Shared by App::lanGet's worker and the command-line peer.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "lan/Socket.h"

class LanFrames;

// Result codes of a received transfer.
inline constexpr int kLanComplete = 1;
inline constexpr int kLanIncomplete = 0;
inline constexpr int kLanGone = 404;
inline constexpr int kLanBroken = -1;

inline constexpr int kLanConnectTimeoutMs = 6000;
inline constexpr int kLanIoTimeoutMs = 30000;
inline constexpr std::size_t kLanAnswerPiece = 4096;
inline constexpr std::size_t kLanAnswerHeadLimit = 8191;

// Lets the owner of a fetch end it from another thread (at exit): stop() wakes a wait for a
// connection and shuts down the connected socket. The fetch then ends as incomplete.
class FetchStop {
 public:
  void stop();
  bool stopped() const { return stopped_.load(); }
  const std::atomic<bool>* flag() const { return &stopped_; }
  bool attach(const Socket* socket);  // false when already stopped
  void detach();

 private:
  std::mutex lock_;
  const Socket* socket_ = nullptr;
  std::atomic<bool> stopped_{false};
};

// Connects to a checked peer address (exactly the address whose fields the check saw) within
// 6 seconds and sets 30-second send and receive time-outs. `host` and `id` get the address's
// host text and id. Invalid socket on failure.
Socket connectPeer(const std::string& url, std::string& host, std::string& id,
                   const FetchStop* stop = nullptr);

using LanProgress = std::function<void(std::uint64_t received)>;

// One request and its answer: 1 complete, 0 incomplete, 404 answered 404, -1 broken stream.
int fetchPeerStream(const std::string& url, LanFrames& frames, const LanProgress& progress,
                    FetchStop* stop = nullptr);
// A fetch as a whole: nothing to do when the part file already holds the file, and one
// repetition from record 0 when a resumed request is answered 404.
int fetchPeer(const std::string& url, LanFrames& frames, const LanProgress& progress,
              FetchStop* stop = nullptr);
