#pragma once
// The LAN registry and server. The registry holds what this shell offers (page-fed and native
// offers), the outgoing streams in progress and the sink ids it accepts a push for; the
// server listens on an ephemeral port of every IPv4 interface, gives each connection a thread,
// and answers one request per connection (ping, offer stream, push into a sink). Connections
// beyond a cap, per peer address and in all, are closed as soon as they are accepted.
//
// One lock guards the registry and the callbacks; it is never held across socket or file work
// or while a callback runs. What the streams do is reported as events through the owner's link. Every thread the server starts is joined by stop(), which the
// owner calls before anything the callbacks reach goes away (the destructor calls it too).
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/WorkerEvents.h"
#include "lan/ConnectionThread.h"
#include "lan/LanChannel.h"
#include "lan/LanProtocol.h"
#include "lan/LanResult.h"
#include "lan/Socket.h"

class LanFrames;
class WorkerLink;

struct LanOffer {
  std::string id;
  std::uint64_t size = 0;  // the encrypted stream size E
};

struct NativeOffer {
  std::string id;
  std::filesystem::path path;
  std::string key;         // 64 digits as received; decoded when served
  std::uint64_t size = 0;  // plaintext size P
};

// An outgoing stream; it belongs to the thread that serves it and is listed only while that
// thread runs. Its fields are guarded by the server lock.
struct LanStream {
  std::string id;
  const LanChannel* socket = nullptr;
  std::deque<std::string> chunks;
  std::size_t queued = 0;  // bytes in chunks
  bool finished = false;
  bool cancelled = false;
  std::condition_variable wake;
};

// Sizes and limits of the server side.
inline constexpr std::size_t kLanHeadPiece = 2048;
inline constexpr std::size_t kLanHeadLimit = 8191;
inline constexpr int kLanHeadTimeoutMs = 15000;
inline constexpr int kLanPushTimeoutMs = 30000;
inline constexpr std::uint64_t kLanProgressIntervalMs = 250;
// Lets the first progress report through, then one every kLanProgressIntervalMs at most.
class ProgressThrottle {
 public:
  bool due(std::uint64_t nowMs) {
    if (!first_ && nowMs - last_ < kLanProgressIntervalMs) return false;
    first_ = false;
    last_ = nowMs;
    return true;
  }

 private:
  std::uint64_t last_ = 0;
  bool first_ = true;
};
inline constexpr int kLanStreamWaitMs = 1000;
inline constexpr int kLanListenBacklog = 8;
inline constexpr int kLanSocketBuffer = 4 * 1024 * 1024;
// How long the accept loop pauses after a failure that passes (no descriptors, no memory).
inline constexpr int kLanAcceptRetryMs = 100;
// Connections served at once. A desk page needs a handful: a stream per transfer, a push
// received, a probe's pings. These leave room for several devices fetching at once, while any
// host on the LAN can make the server hold no more than this many threads and descriptors.
inline constexpr std::size_t kLanConnectionsPerPeer = 8;
inline constexpr std::size_t kLanConnectionsInAll = 32;
// The page's chunks a stream holds before it refuses the next: the kit feeds one record at a
// time, so four leave room for a page that runs ahead, and a page in a loop cannot fill memory.
inline constexpr std::size_t kLanQueuedChunkLimit = 4 * (kLanRecordPlain + kLanRecordExtra);
// A served stream whose reader stops taking bytes ends after this long without progress.
inline constexpr int kLanStreamSendTimeoutMs = 30000;

class LanServer {
 public:
  // Claims the sink of `id` for a push from `peer` (dotted IPv4): hands out its ready frames
  // and unregisters the id (claimSink) in one step, or gives nothing. Of two pushes arriving
  // together only one can get the frames.
  using OpenSink = std::function<std::shared_ptr<LanFrames>(const std::string& id, const std::string& peer)>;
  using SinkDone = std::function<void(const std::string&, LanResult)>;
  using SinkProgress = std::function<void(const std::string&, std::uint64_t)>;

  // The millisecond clock of the progress throttle (the steady clock when empty) and the
  // keep-awake switch (a counted request: every true is followed by a false).
  explicit LanServer(std::function<std::uint64_t()> tickMs = {}, std::function<void(bool)> keepAwake = {});
  ~LanServer();
  LanServer(const LanServer&) = delete;
  LanServer& operator=(const LanServer&) = delete;

  // ---- callbacks (installed on the main thread; read by the server's threads) ----
  void installEvents(std::shared_ptr<WorkerLink> events);  // only when none is installed yet
  void installSinkCallbacks(OpenSink open, SinkProgress progress, SinkDone done);
  // The send time-out of connections accepted from now on (kLanStreamSendTimeoutMs unless
  // changed; tests shorten it).
  void setStreamSendTimeout(int ms);

  // ---- registry ----
  void addOffer(const std::string& id, std::uint64_t size);
  std::optional<std::uint64_t> findOffer(const std::string& id) const;
  void addNativeOffer(NativeOffer offer);
  std::optional<NativeOffer> findNativeOffer(const std::string& id) const;
  void cancelOffer(const std::string& id);
  void stopStreams(const std::string& id);
  void deliverChunk(const std::string& id, std::string bytes, bool finished);
  void addSink(const std::string& id);
  void removeSink(const std::string& id);
  bool hasSink(const std::string& id) const;
  // Unregisters the id when it is registered, and tells whether it was: a sink takes one push.
  bool claimSink(const std::string& id);

  // ---- server ----
  // The listening port, starting the server first when needed; 0 when it cannot start.
  std::uint16_t ensureStarted();
  std::uint16_t port() const;
  // Closes the listener, ends every stream and connection, and joins every thread. Afterwards
  // the server does not start again.
  void stop();

  // One connection's exchange: gather the head, read it once, answer it. The caller closes the
  // connection.
  void serveConnection(LanChannel& socket);
  // Sends `head` and the offer's records from `from` on a connected socket (a served GET, or
  // the caller's push). True when the whole stream went out and `confirmed` (when given) says
  // the receiver took it; until then the stream is not reported done.
  using Confirm = std::function<bool()>;
  bool streamOffer(LanChannel& socket, const std::string& id, const std::string& head, std::uint64_t from,
                   const Confirm& confirmed = {});
  bool streamNativeFile(LanChannel& socket, const NativeOffer& offer, const std::string& head,
                        std::uint64_t from, const Confirm& confirmed = {});
  // `body`: what came after the head with it; nothing when the head had no end.
  void receivePush(LanChannel& socket, const LanRequest& request, std::optional<std::string_view> body);
  // Hands an event to the installed events, when there are any.
  void report(const PageEvent& event) const;

 private:
  struct Connection {
    Socket socket;
    std::string peer;
    ConnectionThread thread;
    bool done = false;  // guarded by threadsLock_
  };

  void acceptLoop();
  void routeGet(LanChannel& socket, const LanRequest& request);
  std::uint64_t now() const;
  void keepAwake(bool on) const;
  void addStream(LanStream& stream);
  bool removeStream(LanStream& stream);  // the stream's cancelled flag
  void reapConnections();
  bool roomFor(const std::string& peer) const;  // with threadsLock_

  mutable std::mutex lock_;
  std::vector<LanOffer> offers_;
  std::vector<LanStream*> streams_;
  Socket listening_;
  std::uint16_t port_ = 0;
  std::vector<std::string> sinkIds_;
  std::vector<NativeOffer> nativeOffers_;
  std::shared_ptr<WorkerLink> events_;
  OpenSink openSink_;
  SinkDone sinkDone_;
  SinkProgress sinkProgress_;
  const std::function<std::uint64_t()> tickMs_;
  const std::function<void(bool)> keepAwake_;
  int streamSendTimeoutMs_ = kLanStreamSendTimeoutMs;
  bool stopped_ = false;
  std::condition_variable stopWake_;  // with lock_: wakes the accept loop's pause

  std::mutex threadsLock_;  // taken before lock_ when both are needed
  std::thread acceptThread_;
  std::list<Connection> connections_;
};
