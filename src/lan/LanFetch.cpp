#include "lan/LanFetch.h"

#include <vector>

#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/TransferSocketTable.h"

void FetchStop::stop() {
  std::lock_guard guard(lock_);
  stopped_ = true;
  if (socket_) socket_->shutdownBoth();
}

bool FetchStop::attach(const Socket* socket) {
  std::lock_guard guard(lock_);
  socket_ = socket;
  return !stopped_;
}

void FetchStop::detach() {
  std::lock_guard guard(lock_);
  socket_ = nullptr;
}

Socket connectPeer(const std::string& url, std::string& host, std::string& id, const FetchStop* stop) {
  const auto peer = parsePeerUrl(url);
  if (!peer) return {};
  host = peer->host;
  id = peer->id;
  Socket socket = Socket::connect(peer->address, peer->port, kLanConnectTimeoutMs,
                                  stop ? stop->flag() : nullptr);
  if (!socket.valid()) return {};
  socket.setReceiveTimeout(kLanIoTimeoutMs);
  socket.setSendTimeout(kLanIoTimeoutMs);
  return socket;
}

namespace {

// Unregisters and detaches before the socket closes, so no other thread can reach a closed
// (and possibly reused) handle.
struct Registration {
  std::shared_ptr<TransferSocketTable> table;
  std::string id;
  const Socket* socket = nullptr;
  FetchStop* stop = nullptr;
  bool registered = false;
  ~Registration() {
    if (registered) table->unregisterTransferSocket(id, socket);
    if (stop) stop->detach();
  }
};

}  // namespace

int fetchPeerStream(const std::string& url, LanFrames& frames, const LanProgress& progress,
                    FetchStop* stop) {
  std::string host;
  std::string id;
  Socket socket = connectPeer(url, host, id, stop);
  if (!socket.valid()) return kLanIncomplete;
  Registration reg{transferSockets(), id, &socket, stop};
  if (stop && !stop->attach(&socket)) return kLanIncomplete;
  reg.registered = true;
  if (!reg.table->registerTransferSocket(id, &socket)) return kLanIncomplete;
  if (!socket.sendAll(lanFetchHead(id, frames.nextIndex, host))) return kLanIncomplete;

  std::vector<char> piece(kLanAnswerPiece);
  std::string gathered;
  std::size_t end = std::string::npos;
  while (end == std::string::npos) {
    if (gathered.size() > kLanAnswerHeadLimit) return kLanIncomplete;
    const long n = socket.receive(piece.data(), piece.size());
    if (n <= 0) return kLanIncomplete;
    gathered.append(piece.data(), static_cast<std::size_t>(n));
    end = gathered.find("\r\n\r\n");
  }
  const int status = lanAnswerStatus(gathered);
  if (status != 200) return status == 404 ? kLanGone : kLanIncomplete;
  if (gathered.size() > end + 4 && !frames.feed(std::string_view(gathered).substr(end + 4))) {
    return kLanBroken;
  }
  if (progress) progress(frames.received);
  // The body is received straight into the record being assembled: no copy before opening.
  while (frames.received < frames.total) {
    const std::span<char> space = frames.receiveSpace();
    if (space.empty()) return kLanBroken;
    const long n = socket.receive(space.data(), space.size());
    if (n <= 0) break;
    if (!frames.commit(static_cast<std::size_t>(n))) return kLanBroken;
    if (progress) progress(frames.received);
  }
  return frames.received >= frames.total ? kLanComplete : kLanIncomplete;
}

int fetchPeer(const std::string& url, LanFrames& frames, const LanProgress& progress, FetchStop* stop) {
  if (!frames.ready) return kLanGone;
  if (frames.received >= frames.total) return kLanComplete;
  int status = fetchPeerStream(url, frames, progress, stop);
  if (status == kLanGone && frames.nextIndex != 0) {
    frames.restart();
    status = fetchPeerStream(url, frames, progress, stop);
  }
  return status;
}
