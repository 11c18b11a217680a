// One connection's whole conversation with the LAN server on arbitrary bytes: gathering the
// head, routing it, a native GET stream, a ping, and a push into a prepared sink with its head
// checks and its record stream. Nothing may crash or hang; a push ends with one result code and
// never stores more than the sink's total; the server answers only with its fixed answers or a
// stream head.
//
// Input: 1 byte choosing the size of the pieces the connection delivers, 3 bytes of the sink's
// total (big-endian, plus one), then the bytes the peer sends. The key is fixed, so the corpus
// can hold valid records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>

#include "support/MemoryChannel.h"
#include "support/MemoryPartStore.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"

namespace {

constexpr const char* kKey = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
constexpr const char* kSinkId = "0123456789abcdef0123456789abcdef";
constexpr const char* kOfferId = "fedcba9876543210fedcba9876543210";
constexpr std::uint64_t kOfferSize = 3000;

struct Rig {
  std::filesystem::path dir;
  LanServer server;
  std::shared_ptr<LanFrames> frames;
  int results = 0;
  LanResult lastResult = LanResult::Incomplete;
};

Rig& rig() {
  static Rig* r = [] {
    auto* made = new Rig;
    made->dir = std::filesystem::temp_directory_path() / ("fuzz-lan-server-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(made->dir);
    std::ofstream(made->dir / "offer.bin", std::ios::binary) << std::string(kOfferSize, 'o');
    made->server.addOffer(kOfferId, lanEncryptedSize(kOfferSize));
    made->server.addNativeOffer({kOfferId, made->dir / "offer.bin", kKey, kOfferSize});
    made->server.installSinkCallbacks(
        [made](const std::string& id, const std::string&) {
          return made->frames && made->frames->ready && made->server.claimSink(id) ? made->frames : nullptr;
        },
        nullptr,
        [made](const std::string&, LanResult result) {
          ++made->results;
          made->lastResult = result;
        });
    return made;
  }();
  return *r;
}

bool fixedAnswer(const std::string& sent) {
  for (LanAnswer answer : {LanAnswer::Ok, LanAnswer::NotFound, LanAnswer::BadRequest, LanAnswer::OutOfRange}) {
    if (sent == lanAnswerHead(answer)) return true;
  }
  return sent.empty() || sent.rfind("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  Rig& r = rig();
  const std::size_t piece = std::size_t{data[0]} * 4099 + 1;
  const std::uint64_t total = ((std::uint64_t{data[1]} << 16) | (std::uint64_t{data[2]} << 8) | data[3]) + 1;
  r.frames = std::make_shared<LanFrames>(kKey, std::make_unique<MemoryPartStore>(std::make_shared<std::string>()), total);
  r.server.addSink(kSinkId);
  r.results = 0;
  MemoryChannel channel(std::string_view(reinterpret_cast<const char*>(data + 4), size - 4), piece);
  r.server.serveConnection(channel);
  using enum LanResult;
  if (r.results > 1 || (r.results == 1 && r.lastResult != Complete && r.lastResult != Incomplete &&
                        r.lastResult != Broken)) {
    std::abort();
  }
  if (r.results == 1 && (r.lastResult == Complete) != (r.frames->received == r.frames->total)) std::abort();
  if (r.frames->received > r.frames->total) std::abort();
  if (!fixedAnswer(channel.sent)) std::abort();
  r.server.removeSink(kSinkId);
  r.frames.reset();
  return 0;
}
