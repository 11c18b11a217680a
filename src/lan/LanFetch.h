#pragma once
// Fetching a peer's offer: the connect, the request, the answer head and the record stream,
// written into a LanFrames. Shared by App::lanGet's worker and the command-line peer.
#include <cstdint>
#include <functional>
#include <string>

#include "lan/LanChannel.h"
#include "lan/LanResult.h"
#include "lan/Socket.h"
#include "lan/WorkerStop.h"

class LanFrames;

inline constexpr int kLanConnectTimeoutMs = 6000;
inline constexpr int kLanIoTimeoutMs = 30000;
inline constexpr std::size_t kLanAnswerPiece = 4096;
inline constexpr std::size_t kLanAnswerHeadLimit = 8191;

// Why a fetch ended as it did, for the terminal (the page only hears the result).
enum class LanFailure { None, Refused, NoConnection, Cancelled, NoOffer, Status, Cut, BadRecord, WriteFailed, WrongSize };
struct LanFetchReport {
  LanFailure failure = LanFailure::None;
  std::string detail;  // the status answered, or the offer's plain size for WrongSize (empty: none fits)
};
// "connection refused by 10.0.0.2:4000", "the disk refused the data", ...
std::string describeLanFailure(const LanFetchReport& report, const std::string& url);

using LanFetchProgress = std::function<void(std::uint64_t received)>;

struct LanFetchOptions {
  LanFetchProgress progress;
  WorkerStop* stop = nullptr;
  // Compare the answer's Content-Length with the stream the frames expect and give up at once
  // on a mismatch (the command-line peer, whose size is typed by hand; the shell relies on its
  // page's size and never reads the length).
  bool checkLength = false;
  LanFetchReport* report = nullptr;
};

// Connects to a checked peer address (exactly the address whose fields the check saw) within
// 6 seconds and sets 30-second send and receive time-outs. `host` and `id` get the address's
// host text and id. Invalid socket on failure; `refused` tells whether the peer refused.
Socket connectPeer(const std::string& url, std::string& host, std::string& id,
                   const WorkerStop* stop = nullptr, bool* refused = nullptr);

// One request and its answer: Gone when answered 404, Broken when a record does not open.
// A write the disk refused ends the fetch as incomplete: the part file keeps whole records.
LanResult fetchPeerStream(const std::string& url, LanFrames& frames, const LanFetchOptions& options);
// The exchange after the connection is made and registered: the request on `socket`, the answer
// head (at most 8,191 bytes gathered), then the records into frames until the total is there.
LanResult fetchOverChannel(LanChannel& socket, const std::string& id, const std::string& host, LanFrames& frames,
                     const LanFetchOptions& options);
// A fetch as a whole: nothing to do when the part file already holds the file, and one
// repetition from record 0 when a resumed request is answered 404.
LanResult fetchPeer(const std::string& url, LanFrames& frames, const LanFetchOptions& options);
