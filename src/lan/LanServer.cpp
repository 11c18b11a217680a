#include "lan/LanServer.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "common/WorkerLink.h"
#include "common/gcm.h"
#include "common/records.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/RecordPipe.h"
#include "lan/TransferSocketTable.h"

namespace {
constexpr std::uint64_t kFileReadPiece = 65536;

// The file-reading stage of a native stream: records [i, records) of `file` into the pipe's
// buffers, each payload read in pieces (the page cache hands those over faster than one large
// copy). It stops at the first short read, and when the pipe closes.
void readRecords(std::ifstream& file, std::uint64_t size, std::uint64_t i, std::uint64_t records,
                 RecordPipe& pipe) {
  for (; i < records; ++i) {
    RecordBuffer* buffer = pipe.takeEmpty();
    if (!buffer) break;
    const std::uint64_t n = std::min(kLanRecordPlain, size - i * kLanRecordPlain);
    std::uint64_t got = 0;
    while (got < n && file) {
      file.read(reinterpret_cast<char*>(buffer->payload()) + got,
                static_cast<std::streamsize>(std::min(kFileReadPiece, n - got)));
      got += static_cast<std::uint64_t>(file.gcount());
    }
    if (got != n) break;
    buffer->index = i;
    buffer->bytes = static_cast<std::size_t>(n);
    pipe.passFull(buffer);
  }
}

// Runs readRecords on a thread of its own; nothing escapes the thread, and the pipe always
// hears the end. A thread that cannot start leaves the returned one not joinable.
std::thread startRecordReader(std::ifstream& file, std::uint64_t size, std::uint64_t i, std::uint64_t records,
                              RecordPipe& pipe) {
  try {
    return std::thread([&file, size, i, records, &pipe] {
      try {
        readRecords(file, size, i, records, pipe);
      } catch (...) {
      }
      try {
        pipe.end();
      } catch (...) {
      }
    });
  } catch (...) {
    return {};
  }
}
}  // namespace

LanServer::LanServer(std::function<std::uint64_t()> tickMs, std::function<void(bool)> keepAwake)
    : tickMs_(std::move(tickMs)), keepAwake_(std::move(keepAwake)) {}

LanServer::~LanServer() { stop(); }

// ---- callbacks ----

void LanServer::installEvents(std::shared_ptr<WorkerLink> events) {
  std::lock_guard guard(lock_);
  if (!events_) events_ = std::move(events);
}

void LanServer::installSinkCallbacks(OpenSink open, SinkProgress progress, SinkDone done) {
  std::lock_guard guard(lock_);
  openSink_ = std::move(open);
  sinkProgress_ = std::move(progress);
  sinkDone_ = std::move(done);
}

void LanServer::setStreamSendTimeout(int ms) {
  std::lock_guard guard(lock_);
  streamSendTimeoutMs_ = ms;
}

void LanServer::report(const PageEvent& event) const {
  std::shared_ptr<WorkerLink> events;
  {
    std::lock_guard guard(lock_);
    events = events_;
  }
  if (events) events->report(event);
}

std::uint64_t LanServer::now() const {
  if (tickMs_) return tickMs_();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void LanServer::keepAwake(bool on) const {
  if (keepAwake_) keepAwake_(on);
}

// ---- registry ----

void LanServer::addOffer(const std::string& id, std::uint64_t size) {
  std::lock_guard guard(lock_);
  offers_.push_back({id, size});
}

std::optional<std::uint64_t> LanServer::findOffer(const std::string& id) const {
  std::lock_guard guard(lock_);
  for (auto it = offers_.rbegin(); it != offers_.rend(); ++it) {
    if (it->id == id) return it->size;
  }
  return std::nullopt;
}

void LanServer::addNativeOffer(NativeOffer offer) {
  std::lock_guard guard(lock_);
  std::erase_if(nativeOffers_, [&](const NativeOffer& n) { return n.id == offer.id; });
  nativeOffers_.push_back(std::move(offer));
}

std::optional<NativeOffer> LanServer::findNativeOffer(const std::string& id) const {
  std::lock_guard guard(lock_);
  for (auto it = nativeOffers_.rbegin(); it != nativeOffers_.rend(); ++it) {
    if (it->id == id) return *it;
  }
  return std::nullopt;
}

void LanServer::cancelOffer(const std::string& id) {
  stopStreams(id);
  std::lock_guard guard(lock_);
  std::erase_if(nativeOffers_, [&](const NativeOffer& n) { return n.id == id; });
  const auto first = std::find_if(offers_.begin(), offers_.end(), [&](const LanOffer& o) { return o.id == id; });
  if (first != offers_.end()) offers_.erase(first);
}

void LanServer::stopStreams(const std::string& id) {
  std::size_t dropped = 0;
  {
    std::lock_guard guard(lock_);
    for (LanStream* s : streams_) {
      if (s->id != id) continue;
      s->cancelled = true;
      dropped += s->chunks.size();
      s->chunks.clear();
      s->queued = 0;
      if (s->socket) s->socket->shutdownBoth();
      s->wake.notify_all();
    }
  }
  // Refused here, before a stream that replaces this one asks its page for records.
  for (; dropped > 0; --dropped) report(LanAck{id, false});
}

void LanServer::deliverChunk(const std::string& id, std::string bytes, bool finished) {
  {
    std::lock_guard guard(lock_);
    for (LanStream* s : streams_) {
      if (s->id != id || s->cancelled) continue;
      if (finished) {
        s->finished = true;
      } else if (s->queued + bytes.size() > kLanQueuedChunkLimit) {
        break;
      } else {
        s->queued += bytes.size();
        s->chunks.push_back(std::move(bytes));
      }
      s->wake.notify_all();
      return;
    }
  }
  if (!finished) report(LanAck{id, false});
}

void LanServer::addSink(const std::string& id) {
  std::lock_guard guard(lock_);
  if (std::find(sinkIds_.begin(), sinkIds_.end(), id) == sinkIds_.end()) sinkIds_.push_back(id);
}

void LanServer::removeSink(const std::string& id) {
  std::lock_guard guard(lock_);
  std::erase(sinkIds_, id);
}

bool LanServer::hasSink(const std::string& id) const {
  std::lock_guard guard(lock_);
  return std::find(sinkIds_.begin(), sinkIds_.end(), id) != sinkIds_.end();
}

bool LanServer::claimSink(const std::string& id) {
  std::lock_guard guard(lock_);
  return std::erase(sinkIds_, id) != 0;
}

void LanServer::addStream(LanStream& stream) {
  std::lock_guard guard(lock_);
  streams_.push_back(&stream);
  // A stop that came first cancels late starters too.
  if (stopped_) {
    stream.cancelled = true;
    if (stream.socket) stream.socket->shutdownBoth();
  }
}

bool LanServer::removeStream(LanStream& stream) {
  std::lock_guard guard(lock_);
  std::erase(streams_, &stream);
  return stream.cancelled;
}

// ---- server ----

std::uint16_t LanServer::port() const {
  std::lock_guard guard(lock_);
  return port_;
}

std::uint16_t LanServer::ensureStarted() {
  {
    std::lock_guard guard(lock_);
    if (port_ != 0) return port_;
    if (stopped_) return 0;
  }
  std::uint16_t port = 0;
  Socket listener = Socket::listenAny(kLanListenBacklog, port);
  if (!listener.valid() || port == 0) return 0;
  {
    std::lock_guard guard(lock_);
    listening_ = std::move(listener);
    port_ = port;
  }
  std::lock_guard threads(threadsLock_);
  try {
    acceptThread_ = std::thread([this] { acceptLoop(); });
  } catch (...) {
    // The port stays known; no connection is ever accepted.
  }
  return port;
}

void LanServer::reapConnections() {
  std::vector<ConnectionThread> finished;
  {
    std::lock_guard threads(threadsLock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (it->done) {
        finished.push_back(std::move(it->thread));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& t : finished) t.join();
}

bool LanServer::roomFor(const std::string& peer) const {
  std::size_t all = 0;
  std::size_t fromPeer = 0;
  for (const auto& c : connections_) {
    if (c.done) continue;
    ++all;
    if (c.peer == peer) ++fromPeer;
  }
  return all < kLanConnectionsInAll && fromPeer < kLanConnectionsPerPeer;
}

void LanServer::acceptLoop() {
  for (;;) {
    bool listenerGone = false;
    Socket accepted = listening_.accept(listenerGone);
    if (!accepted.valid()) {
      if (listenerGone) return;
      // Out of descriptors or memory: the port is still advertised, so accepting goes on once
      // something has been given back, with a pause instead of a spin meanwhile.
      std::unique_lock guard(lock_);
      if (stopWake_.wait_for(guard, std::chrono::milliseconds(kLanAcceptRetryMs), [&] { return stopped_; })) {
        return;
      }
      continue;
    }
    reapConnections();
    std::string peer = accepted.peerAddress();
    std::lock_guard threads(threadsLock_);
    {
      std::lock_guard guard(lock_);
      if (stopped_) return;
    }
    // Over a cap the connection is closed at once rather than queued, so that it holds neither
    // a thread nor a descriptor; the connections already served go on undisturbed.
    if (!roomFor(peer)) continue;
    connections_.emplace_back();
    Connection& c = connections_.back();
    c.socket = std::move(accepted);
    c.peer = std::move(peer);
    c.socket.setNoDelay();
    const bool started = c.thread.start([this, &c] {
      serveConnection(c.socket);
      std::lock_guard done(threadsLock_);
      c.socket.close();
      c.done = true;
    });
    if (!started) connections_.pop_back();  // closes the socket
  }
}

void LanServer::stop() {
  {
    std::lock_guard guard(lock_);
    stopped_ = true;
    stopWake_.notify_all();
    listening_.shutdownBoth();
    for (LanStream* s : streams_) {
      s->cancelled = true;
      if (s->socket) s->socket->shutdownBoth();
      s->wake.notify_all();
    }
  }
  {
    std::lock_guard threads(threadsLock_);
    for (auto& c : connections_) {
      if (!c.done) c.socket.shutdownBoth();
    }
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  std::list<Connection> remaining;
  {
    std::lock_guard threads(threadsLock_);
    remaining.swap(connections_);
  }
  for (auto& c : remaining) c.thread.join();
  std::lock_guard guard(lock_);
  listening_.close();
}

void LanServer::serveConnection(LanChannel& socket) {
  int sendTimeoutMs = 0;
  {
    std::lock_guard guard(lock_);
    sendTimeoutMs = streamSendTimeoutMs_;
  }
  // A reader that stops taking a stream ends it, and with it the keep-awake request.
  socket.setSendTimeout(sendTimeoutMs);
  // One deadline for the whole head: a peer that trickles a byte at a time cannot extend it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLanHeadTimeoutMs);
  std::string gathered;
  char piece[kLanHeadPiece];
  while (gathered.find("\r\n\r\n") == std::string::npos && gathered.size() <= kLanHeadLimit) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    // 0 would mean no limit at all.
    if (left <= 0 || !socket.setReceiveTimeout(static_cast<int>(left))) return;
    const long n = socket.receive(piece, sizeof piece);
    if (n <= 0) return;
    gathered.append(piece, static_cast<std::size_t>(n));
  }
  const LanRequest request = parseLanRequest(gathered);
  if (request.kind == LanRequestKind::Push) {
    const std::size_t end = gathered.find("\r\n\r\n");
    std::optional<std::string_view> body;
    if (end != std::string::npos) body = std::string_view(gathered).substr(end + 4);
    receivePush(socket, request, body);
    return;
  }
  routeGet(socket, request);
}

void LanServer::routeGet(LanChannel& socket, const LanRequest& request) {
  if (request.kind == LanRequestKind::Ping && hasSink(request.id)) {
    socket.sendAll(lanAnswerHead(LanAnswer::Ok));
    return;
  }
  const auto size = request.kind == LanRequestKind::NotFound ? std::nullopt : findOffer(request.id);
  if (!size) {
    socket.sendAll(lanAnswerHead(LanAnswer::NotFound));
    return;
  }
  if (request.kind == LanRequestKind::Ping) {
    socket.sendAll(lanAnswerHead(LanAnswer::Ok));
    return;
  }
  const std::uint64_t length = lanStreamLength(*size, request.from);
  if (length == 0) {
    socket.sendAll(lanAnswerHead(LanAnswer::OutOfRange));
    return;
  }
  streamOffer(socket, request.id, lanStreamHead(length), request.from);
}

bool LanServer::streamOffer(LanChannel& socket, const std::string& id, const std::string& head,
                            std::uint64_t from, const Confirm& confirmed) {
  if (auto native = findNativeOffer(id)) return streamNativeFile(socket, *native, head, from, confirmed);
  stopStreams(id);
  if (!socket.sendAll(head)) return false;
  keepAwake(true);
  LanStream stream;
  stream.id = id;
  stream.socket = &socket;
  addStream(stream);
  report(LanPull{id, from});
  bool finished = false;
  {
    std::unique_lock guard(lock_);
    for (;;) {
      if (stream.cancelled) break;
      if (!stream.chunks.empty()) {
        std::string chunk = std::move(stream.chunks.front());
        stream.chunks.pop_front();
        stream.queued -= chunk.size();
        guard.unlock();
        const bool sent = socket.sendAll(chunk, chunk.size());
        report(LanAck{id, sent});
        guard.lock();
        if (!sent) break;
        continue;
      }
      if (stream.finished) {
        finished = true;
        break;
      }
      stream.wake.wait_for(guard, std::chrono::milliseconds(kLanStreamWaitMs));
    }
  }
  const bool cancelled = removeStream(stream);
  // Every chunk is answered once: the page counts on it to tell a late answer from its own.
  for (std::size_t left = stream.chunks.size(); left > 0; --left) report(LanAck{id, false});
  if (finished) {
    socket.shutdownSend();
    if (confirmed && !confirmed()) finished = false;
  }
  if (!finished && !cancelled) report(LanAbort{id});
  keepAwake(false);
  return finished;
}

bool LanServer::streamNativeFile(LanChannel& socket, const NativeOffer& offer, const std::string& head,
                                 std::uint64_t from, const Confirm& confirmed) {
  stopStreams(offer.id);
  auto key = openGcmKey(offer.key);
  std::ifstream file;
  bool started = false;
  if (key) {
    file.open(offer.path, std::ios::binary);
    if (file.is_open()) {
      socket.setBulkBuffers(kLanSocketBuffer);
      started = socket.sendAll(head);
    }
  }
  LanStream stream;
  stream.id = offer.id;
  stream.socket = &socket;
  addStream(stream);
  keepAwake(true);
  const std::uint64_t records = lanRecordCount(offer.size);
  std::uint64_t sent = from * kLanRecordPlain;
  bool complete = false;
  if (started) {
    report(LanNative{offer.id, LanNativeStep::Start, sent});
    ProgressThrottle throttle;
    std::uint64_t i = from;
    complete = i >= records;
    RecordPipe pipe;
    std::thread reader;
    if (!complete && pipe.valid()) {
      file.seekg(static_cast<std::streamoff>(i * kLanRecordPlain));
      reader = startRecordReader(file, offer.size, i, records, pipe);
    }
    while (!complete && reader.joinable()) {
      {
        std::lock_guard guard(lock_);
        if (stream.cancelled) break;
      }
      RecordBuffer* buffer = pipe.takeFull();
      // The reader ends early when the file is shorter than offered or cannot be read.
      if (!buffer || buffer->index != i) break;
      const std::size_t n = buffer->bytes;
      const std::size_t length = n + kLanRecordExtra;
      // One call per record: a split-off tail would wait for the peer's delayed acknowledgement.
      const bool ok = sealRecordInPlace(*key, static_cast<std::uint32_t>(i), {buffer->record(), length}) &&
                      socket.sendAll({reinterpret_cast<const char*>(buffer->record()), length}, length);
      pipe.giveBack(buffer);
      if (!ok) break;
      sent += n;
      if (throttle.due(now())) report(LanNative{offer.id, LanNativeStep::Progress, sent});
      if (++i >= records) complete = true;
    }
    pipe.close();
    if (reader.joinable()) reader.join();
  }
  key.reset();
  const bool cancelled = removeStream(stream);
  if (complete) {
    socket.shutdownSend();
    if (confirmed && !confirmed()) complete = false;
  }
  if (complete) {
    report(LanNative{offer.id, LanNativeStep::Done, offer.size});
  } else if (!cancelled) {
    report(LanAbort{offer.id});
  }
  keepAwake(false);
  return complete;
}

void LanServer::receivePush(LanChannel& socket, const LanRequest& request, std::optional<std::string_view> body) {
  const std::string& id = request.id;
  OpenSink open;
  SinkProgress progress;
  SinkDone done;
  {
    std::lock_guard guard(lock_);
    open = openSink_;
    progress = sinkProgress_;
    done = sinkDone_;
  }
  std::shared_ptr<LanFrames> frames;
  const bool headOk = request.pushable && body && hasSink(id) && open;
  // The callback claims the sink (and unregisters the id) in the same step that hands out
  // the frames, so two pushes arriving together cannot both feed them.
  if (headOk) frames = open(id, socket.peerAddress());
  if (!frames || !frames->ready) {
    socket.sendAll(lanAnswerHead(LanAnswer::BadRequest));
    return;
  }
  keepAwake(true);
  socket.setReceiveTimeout(kLanPushTimeoutMs);
  socket.setBulkBuffers(kLanSocketBuffer);
  const auto table = transferSockets();
  LanResult result = table->registerTransferSocket(id, &socket) ? LanResult::Complete : LanResult::Incomplete;
  // A record that would not open breaks the stream; a write the disk refused leaves a part file
  // of whole, good records that a later push can resume after.
  const auto broken = [&] { return frames->writeFailed ? LanResult::Incomplete : LanResult::Broken; };
  // Bytes after the file's last record are ignored, as they are when they come in a later piece.
  if (!body->empty() && !frames->feed(*body) && frames->received < frames->total) result = broken();
  if (result == LanResult::Complete) {
    ProgressThrottle throttle;
    while (frames->received < frames->total) {
      const std::span<char> space = frames->receiveSpace();
      const long n = space.empty() ? -1 : socket.receive(space.data(), space.size());
      if (n <= 0) {
        result = space.empty() ? LanResult::Broken : LanResult::Incomplete;
        break;
      }
      if (!frames->commit(static_cast<std::size_t>(n))) {
        result = broken();
        break;
      }
      if (progress && throttle.due(now())) progress(id, frames->received);
    }
  }
  table->unregisterTransferSocket(id, &socket);
  // The pusher hears "done" only once the disk has taken every record.
  const bool whole = result == LanResult::Complete && frames->received >= frames->total;
  if (whole && !frames->flushWrites()) result = LanResult::Incomplete;
  if (whole && result == LanResult::Complete) socket.sendAll(lanAnswerHead(LanAnswer::Ok));
  keepAwake(false);
  if (done) done(id, result);
}
