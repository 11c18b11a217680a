// Pushes: one of this shell's offers sent to a peer's sink as the body of a POST. The stream is
// the server's own; this adds the outgoing connection and the request head.
#include "lan/LanFetch.h"
#include "lan/LanProtocol.h"
#include "lan/LanReceive.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "lan/LanWorkers.h"

namespace {
// The answer of a sink that refused the POST is in already when a send fails; this is room
// for a slow host.
constexpr int kRefusalReadMs = 1000;
}  // namespace

bool pushOffer(LanServer& server, const std::string& id, const std::string& url, std::uint64_t from,
               WorkerStop* stop, LanPushReport* report) {
  LanPushReport unread;
  LanPushReport& out = report ? *report : unread;
  const auto size = server.findOffer(id);
  const std::uint64_t length = size ? lanStreamLength(*size, from) : 0;
  std::string host;
  std::string unused;  // the id at the end of the address: the POST names the offer's own
  Socket socket;
  if (length != 0) socket = connectPeer(url, host, unused, stop, &out.refused);
  out.connected = socket.valid();
  if (!socket.valid() || (stop && !stop->attach(&socket))) {
    server.report(LanAbort{id});
    return false;
  }
  // No limit while streaming: a page-fed offer waits for its page. Sends keep their 30 s.
  socket.setReceiveTimeout(0);
  const auto readAnswer = [&](int timeoutMs) {
    socket.setReceiveTimeout(timeoutMs);
    char piece[512];
    for (long n; out.answer.size() < kLanAnswerHeadLimit && (n = socket.receive(piece, sizeof piece)) > 0;) {
      out.answer.append(piece, static_cast<std::size_t>(n));
    }
  };
  // The bytes left the socket's buffers, not necessarily the host: only the receiver's empty
  // 200 after the last record says the file arrived. Anything else, silence or a closed
  // connection breaks the push off.
  const auto confirmed = [&] {
    out.allSent = true;
    readAnswer(kLanIoTimeoutMs);
    return out.answer == lanAnswerHead(LanAnswer::Ok);
  };
  const bool sent = server.streamOffer(socket, id, lanPushHead(id, from, host, length), from, confirmed);
  // A sink that refuses the POST answers at once and closes, and a later send fails: the answer
  // says why, for the terminal.
  if (!sent && report && !out.allSent && !(stop && stop->stopped())) readAnswer(kRefusalReadMs);
  if (stop) stop->detach();
  return sent;
}

void LanRuntime::push(const std::string& id, const std::string& url, std::uint64_t from) {
  const bool started = startWorker("lanPush", [this, id, url, from](WorkerStop& stop) {
    if (!pushOffer(*server_, id, url, from, &stop, nullptr) && !stop.stopped()) {
      lanLog("pushing offer " + id + " to " + url + " from record " + std::to_string(from) + " did not complete");
    }
  }, kLanPushesAtOnce);
  if (started) return;
  lanLog("pushing offer " + id + " to " + url + " did not start: " + std::to_string(kLanPushesAtOnce) +
         " pushes are running already, or no thread could be started");
  server_->report(LanAbort{id});
}
