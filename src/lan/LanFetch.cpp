#include "lan/LanFetch.h"

#include <vector>

#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/TransferSocketTable.h"

using enum LanResult;

std::string describeLanFailure(const LanFetchReport& report, const std::string& url) {
  const auto peer = parsePeerUrl(url);
  const std::string where = peer ? peer->host + ":" + std::to_string(peer->port) : url;
  switch (report.failure) {
    case LanFailure::None: return "complete";
    case LanFailure::Refused: return "connection refused by " + where + " (nothing listens on that port)";
    case LanFailure::NoConnection: return "no connection to " + where + " within 6 seconds";
    case LanFailure::Cancelled: return "cancelled";
    case LanFailure::NoOffer: return "no such offer at " + url;
    case LanFailure::Status: return where + " answered " + report.detail;
    case LanFailure::Cut: return "the connection to " + where + " ended before the whole file arrived";
    case LanFailure::BadRecord: return "a record from " + where + " did not open (wrong key, or altered data)";
    case LanFailure::WriteFailed: return "the disk refused the data (full, or the part file went away)";
    case LanFailure::WrongSize:
      if (report.detail.empty()) return "the answer's length fits no file, let alone one of the size given";
      return "the offer holds " + report.detail + " bytes, not the size given";
  }
  return "failed";
}

Socket connectPeer(const std::string& url, std::string& host, std::string& id, const WorkerStop* stop,
                   bool* refused) {
  if (refused) *refused = false;
  const auto peer = parsePeerUrl(url);
  if (!peer) return {};
  host = peer->host;
  id = peer->id;
  Socket socket = Socket::connect(peer->address, peer->port, kLanConnectTimeoutMs,
                                  stop ? stop->flag() : nullptr, refused);
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
  const LanChannel* socket = nullptr;
  WorkerStop* stop = nullptr;
  bool registered = false;
  ~Registration() {
    if (registered) table->unregisterTransferSocket(id, socket);
    if (stop) stop->detach();
  }
};

LanResult failed(const LanFetchOptions& options, LanFailure failure, LanResult code, std::string detail = {}) {
  if (options.report) *options.report = {failure, std::move(detail)};
  return code;
}

// A record that would not open breaks the stream; a write the disk refused leaves whole
// records behind that a later fetch resumes after.
LanResult brokenFeed(const LanFetchOptions& options, const LanFrames& frames) {
  if (frames.writeFailed) return failed(options, LanFailure::WriteFailed, Incomplete);
  return failed(options, LanFailure::BadRecord, Broken);
}

}  // namespace

LanResult fetchOverChannel(LanChannel& socket, const std::string& id, const std::string& host, LanFrames& frames,
                     const LanFetchOptions& options) {
  if (!socket.sendAll(lanFetchHead(id, frames.nextIndex, host))) return failed(options, LanFailure::Cut, Incomplete);
  std::vector<char> piece(kLanAnswerPiece);
  std::string gathered;
  std::size_t end = std::string::npos;
  while (end == std::string::npos) {
    if (gathered.size() > kLanAnswerHeadLimit) return failed(options, LanFailure::Status, Incomplete, "an endless head");
    const long n = socket.receive(piece.data(), piece.size());
    if (n <= 0) return failed(options, LanFailure::Cut, Incomplete);
    gathered.append(piece.data(), static_cast<std::size_t>(n));
    end = gathered.find("\r\n\r\n");
  }
  const int status = lanAnswerStatus(gathered);
  if (status == static_cast<int>(LanAnswer::NotFound)) return failed(options, LanFailure::NoOffer, Gone);
  if (status != static_cast<int>(LanAnswer::Ok)) {
    // The status line of something that is not HTTP reads as 0, or as any number.
    const bool http = status >= 100 && status <= 999;
    return failed(options, LanFailure::Status, Incomplete, http ? std::to_string(status) : "with something other than HTTP");
  }
  if (options.checkLength) {
    const auto length = lanAnswerContentLength(std::string_view(gathered).substr(0, end + 4));
    const std::uint64_t expected = lanStreamLength(lanEncryptedSize(frames.total), frames.nextIndex);
    if (length && *length != expected) {
      const auto plain = lanPlainSize(*length + std::uint64_t{frames.nextIndex} * kLanRecordSpan);
      return failed(options, LanFailure::WrongSize, Incomplete, plain ? std::to_string(*plain) : std::string());
    }
  }
  // Bytes after the file's last record are ignored, as they are when they come in a later piece.
  if (gathered.size() > end + 4 && !frames.feed(std::string_view(gathered).substr(end + 4)) &&
      frames.received < frames.total) {
    return brokenFeed(options, frames);
  }
  if (options.progress) options.progress(frames.received);
  // The body is received straight into the record being assembled: no copy before opening.
  while (frames.received < frames.total) {
    const std::span<char> space = frames.receiveSpace();
    if (space.empty()) return failed(options, LanFailure::BadRecord, Broken);
    const long n = socket.receive(space.data(), space.size());
    if (n <= 0) break;
    if (!frames.commit(static_cast<std::size_t>(n))) return brokenFeed(options, frames);
    if (options.progress) options.progress(frames.received);
  }
  if (frames.received >= frames.total) {
    if (!frames.flushWrites()) return brokenFeed(options, frames);
    return failed(options, LanFailure::None, Complete);
  }
  return failed(options, LanFailure::Cut, Incomplete);
}

LanResult fetchPeerStream(const std::string& url, LanFrames& frames, const LanFetchOptions& options) {
  std::string host;
  std::string id;
  bool refused = false;
  Socket socket = connectPeer(url, host, id, options.stop, &refused);
  if (!socket.valid()) {
    return failed(options, refused ? LanFailure::Refused : LanFailure::NoConnection, Incomplete);
  }
  Registration reg{transferSockets(), id, &socket, options.stop};
  if (options.stop && !options.stop->attach(&socket)) return failed(options, LanFailure::Cancelled, Incomplete);
  reg.registered = true;
  if (!reg.table->registerTransferSocket(id, &socket)) return failed(options, LanFailure::Cancelled, Incomplete);
  return fetchOverChannel(socket, id, host, frames, options);
}

LanResult fetchPeer(const std::string& url, LanFrames& frames, const LanFetchOptions& options) {
  if (!frames.ready) return Gone;
  if (frames.received >= frames.total) return Complete;
  LanResult status = fetchPeerStream(url, frames, options);
  if (status == Gone && frames.nextIndex != 0) {
    frames.restart();
    status = fetchPeerStream(url, frames, options);
  }
  return status;
}
