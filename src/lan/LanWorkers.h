#pragma once
// The LAN work that page messages start beside the fetch: pushes and probes (LanRuntime starts
// them as workers), shared with the command-line peer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/json.h"

class LanServer;
class WorkerStop;

inline constexpr std::size_t kLanProbeLimit = 6;
// What one page may have running at once; the next push is aborted, the next probe finds
// none, and the next fetch or prepared reception fails at once (deskFileDone ok false). A desk
// pushes to one device at a time, probes an address list per transfer it sets up and receives
// a few files at a time, so four of each is room to spare, while a page in a loop holds no
// more threads or open part files.
inline constexpr std::size_t kLanPushesAtOnce = 4;
inline constexpr std::size_t kLanProbesAtOnce = 4;
inline constexpr std::size_t kLanFetchesAtOnce = 4;
inline constexpr std::size_t kLanSinksAtOnce = 4;
inline constexpr int kLanProbeTimeoutMs = 1500;
inline constexpr std::uint64_t kLanProbeMaxBody = 1024;

// The probe candidates of a "lanProbe" message: text elements that are peer addresses, in
// order, at most six.
std::vector<std::string> keptProbeUrls(const Json& urls);

// How a push went, for the terminal; the page hears only deskLanNative 'done' or deskLanAbort.
struct LanPushReport {
  bool connected = false;
  bool refused = false;  // the peer's port refused the connection
  bool allSent = false;  // every record went out, and the answer was awaited
  std::string answer;    // what the peer answered (empty: nothing before it closed or 30 s passed)
};

// The push itself, shared with the command-line peer: connects to the peer address `url` and
// sends the offer `id` of `server` as a POST from record `from`. No such offer, from beyond its
// end or no connection: deskLanAbort, and false. Otherwise true only when all of it went out
// and the peer answered the empty 200.
bool pushOffer(LanServer& server, const std::string& id, const std::string& url, std::uint64_t from,
               WorkerStop* stop, LanPushReport* report = nullptr);
// The first of `urls` whose "/ping" is answered with 200 and at most 1,024 bytes, tried one
// after another with 1.5-second time-outs; empty when none is (or when stopped).
std::string probePeers(const std::vector<std::string>& urls, WorkerStop* stop);
