// The server keeps accepting when the process runs out of descriptors, and keeps serving while
// hosts of the LAN open more connections than it takes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>

#include "LanPeers.h"
#include "LinuxLan.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"
#include "support/TempDir.h"

namespace {

// Connections of hostile peers, each from a loop-back address of its own so that the server
// counts the peers apart. Closed when the object goes.
class Flood {
 public:
  ~Flood() {
    for (const auto& c : connections_) ::close(c.fd);
  }
  void open(const std::string& from, std::uint16_t port, bool slow) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_in source{}, target{};
    source.sin_family = target.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
    ::inet_pton(AF_INET, "127.0.0.1", &target.sin_addr);
    target.sin_port = htons(port);
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
      ::close(fd);
      return;
    }
    connections_.push_back({fd, from, slow});
  }
  // One byte more from every slow sender of a head; then how many connections the server has
  // not closed yet.
  std::size_t trickle() {
    std::size_t open = 0;
    for (auto& c : connections_) {
      if (c.closed) continue;
      char byte;
      const ssize_t n = ::recv(c.fd, &byte, 1, MSG_DONTWAIT);
      c.closed = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
      if (!c.closed && c.slow) c.closed = ::send(c.fd, "GET /x", 1 + c.sent++ % 5, MSG_DONTWAIT | MSG_NOSIGNAL) < 0;
      if (!c.closed) ++open;
    }
    return open;
  }
  std::size_t size() const { return connections_.size(); }
  std::size_t mostOpenFromOnePeer() const {
    std::map<std::string, std::size_t> open;
    for (const auto& c : connections_) open[c.from] += c.closed ? 0 : 1;
    std::size_t most = 0;
    for (const auto& [from, n] : open) most = std::max(most, n);
    return most;
  }

 private:
  struct Connection {
    int fd = -1;
    std::string from;
    bool slow = false;
    bool closed = false;
    std::size_t sent = 0;
  };
  std::vector<Connection> connections_;
};

}  // namespace

TEST(LanAccept, GoesOnAfterTheDescriptorsRanOut) {
  TempDir dir("accept");
  writeFile(dir / "offer.bin", randomBytes(1000));
  const std::string id = lanId('a');
  ChildProcess offer;
  // Room for a handful of connections only.
  const std::uint16_t port = offerWithDeskLan(offer, dir / "offer.bin", id, dir.path(), 12);
  ASSERT_NE(port, 0);
  const auto address = *parseIPv4(kPeerHost);
  std::vector<Socket> idle;
  for (int i = 0; i < 16; ++i) idle.push_back(Socket::connect(address, port, 500));
  // Let the server meet the limit, then give everything back.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  idle.clear();
  EXPECT_EQ(rawExchange(port, "GET /" + id + "/ping HTTP/1.1\r\n\r\n"),
            std::string(lanAnswerHead(LanAnswer::Ok)));
  EXPECT_TRUE(offer.running());
}

TEST(LanAccept, ATransferCompletesWhileHostsFloodTheServer) {
  constexpr std::uint64_t size = 256ull << 20;
  TempDir dir("flood");
  writeRandomFile(dir / "big.bin", size, 17);
  const std::string id = lanId('b');
  ChildProcess offer;
  const std::uint16_t port = offerWithDeskLan(offer, dir / "big.bin", id, dir.path());
  ASSERT_NE(port, 0);
  const auto fetch = [&](ChildProcess& get, const std::string& into) {
    return startDeskLan(get, {"get", urlOf(port, id), "--key", kKeyHex, "--size", std::to_string(size), "--name",
                              "big.bin", "--dir", (dir / into).string()},
                        dir / (into + ".log"));
  };
  ChildProcess get;
  ASSERT_TRUE(fetch(get, "in"));
  // Held still once its stream has begun, so that it is in progress through the whole flood.
  const auto part = dir / "in" / ("lan-" + id + ".part");
  for (int i = 0; i < 10000 && get.running(); ++i) {
    std::error_code ec;
    if (std::filesystem::file_size(part, ec) > 0 && !ec) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(::kill(get.pid(), SIGSTOP), 0);
  const int threadsBefore = threadsOf(offer.pid());
  const int descriptorsBefore = descriptorsOf(offer.pid());

  // 300 connections that send nothing and 300 that send their head a byte at a time, ten from
  // each of 60 peers.
  Flood flood;
  for (int i = 0; i < 600; ++i) flood.open("127.0.0." + std::to_string(2 + i / 10), port, i % 2 == 1);
  ASSERT_EQ(flood.size(), 600u);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const std::size_t held = flood.trickle();
  EXPECT_LE(flood.mostOpenFromOnePeer(), kLanConnectionsPerPeer);
  const int threadsDuring = threadsOf(offer.pid());
  const int descriptorsDuring = descriptorsOf(offer.pid());
  std::printf("flood: %zu of 600 connections held; server threads %d -> %d, descriptors %d -> %d\n", held,
              threadsBefore, threadsDuring, descriptorsBefore, descriptorsDuring);
  EXPECT_LT(held, kLanConnectionsInAll);  // one place is the transfer's
  EXPECT_LE(threadsDuring, threadsBefore + static_cast<int>(kLanConnectionsInAll));
  EXPECT_LE(descriptorsDuring, descriptorsBefore + static_cast<int>(kLanConnectionsInAll));

  // The transfer goes on; every head, however it trickles in, meets its one deadline.
  ASSERT_EQ(::kill(get.pid(), SIGCONT), 0);
  std::optional<int> fetched;
  std::size_t open = held;
  for (int second = 0; second < 60 && (open > 0 || !fetched); ++second) {
    if (!fetched) fetched = get.wait(1000);
    if (fetched) std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    open = flood.trickle();
  }
  ASSERT_EQ(fetched, 0);
  EXPECT_TRUE(sameBytes(dir / "big.bin", dir / "in" / "big.bin"));
  EXPECT_FALSE(std::filesystem::exists(part));
  EXPECT_EQ(open, 0u);

  // And the next fetch is served.
  ChildProcess again;
  ASSERT_TRUE(fetch(again, "again"));
  EXPECT_EQ(again.wait(60000), 0);
  EXPECT_TRUE(sameBytes(dir / "big.bin", dir / "again" / "big.bin"));
  EXPECT_TRUE(offer.running());
}
