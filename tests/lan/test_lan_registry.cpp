// The registry side of the page's LAN messages, and a push received into a sink.
#include <gtest/gtest.h>

#include "LanPeers.h"
#include "lan/LanAddresses.h"
#include "lan/LanFrames.h"
#include "lan/LanWorkers.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"
#include "lan/TransferSocketTable.h"
#include "support/TempDir.h"

namespace {

constexpr std::uint64_t MiB = 1048576;

std::string readyOf(Shell& shell) {
  const auto ready = shell.scriptsStartingWith("window.deskLanReady");
  return ready.empty() ? std::string() : ready.back();
}

}  // namespace

TEST(LanRegistry, NativeOnlyWithAFullKeyAndTheRightFile) {
  Shell shell;
  const auto file = shell.desktop.temp() / "f.bin";
  writeFile(file, "12345");
  const struct { const char* what; std::string key; std::uint64_t src; std::string path; bool native; } cases[] = {
      {"native", kKeyHex, 5, file.string(), true},
      {"63-character key", std::string(63, 'a'), 5, file.string(), false},
      {"src size 0", kKeyHex, 0, file.string(), false},
      {"no path", kKeyHex, 5, "", false},
      {"other size", kKeyHex, 6, file.string(), false},
      {"a folder", kKeyHex, 5, shell.desktop.temp().path().string(), false},
  };
  for (const auto& c : cases) {
    shell.send("lanOpen", {{"id", lanId('1')}, {"size", 37}, {"key", c.key}, {"_path", c.path},
                           {"src", {{"size", c.src}}}});
    EXPECT_NE(readyOf(shell).find(std::string("\"native\":") + (c.native ? "true" : "false")), std::string::npos)
        << c.what << ": " << readyOf(shell);
  }
  const std::string port = std::to_string(shell.app->lan->port());
  EXPECT_EQ(readyOf(shell), "window.deskLanReady && window.deskLanReady('" + lanId('1') + "', {\"addrs\":" +
                                jsonDump(Json(localLanAddresses())) + ",\"native\":false,\"port\":" + port + "})");
}

TEST(LanRegistry, LaterOfferWinsAndOneCancelRemovesOne) {
  Shell shell;
  const std::string id = lanId('2');
  shell.send("lanOpen", {{"id", id}, {"size", 33}, {"key", kKeyHex}});
  shell.send("lanOpen", {{"id", id}, {"size", 1048641}, {"key", kKeyHex}});
  LanServer& server = *shell.app->lan;
  EXPECT_EQ(server.findOffer(id), 1048641u);
  shell.send("lanCancel", {{"id", id}});
  EXPECT_EQ(server.findOffer(id), 1048641u);  // the first entry went
  shell.send("lanCancel", {{"id", id}});
  EXPECT_FALSE(server.findOffer(id));
  // Messages with a malformed id do nothing.
  shell.send("lanOpen", {{"id", std::string(32, 'A')}, {"size", 33}});
  EXPECT_FALSE(server.findOffer(std::string(32, 'A')));
}

TEST(LanRegistry, RefusedChunks) {
  Shell shell;
  const std::string id = lanId('3');
  const std::string refused = "window.deskLanAck && window.deskLanAck('" + id + "', false)";
  shell.send("lanChunk", {{"id", id}, {"data", "!!not base64!!"}});
  EXPECT_EQ(shell.scripts().back(), refused);  // at once, on the main thread
  shell.send("lanOpen", {{"id", id}, {"size", 33}, {"key", kKeyHex}});
  shell.send("lanChunk", {{"id", id}, {"data", base64Encode("bytes")}});  // nothing is waiting
  ASSERT_TRUE(shell.pumpUntil([&] { return shell.scriptsStartingWith(refused).size() == 2; }));
  shell.send("lanFinish", {{"id", id}});  // nothing waiting: nothing happens
  shell.desktop.pump(*shell.app);
  EXPECT_EQ(shell.scriptsStartingWith(refused).size(), 2u);
  // A reader that takes nothing: the page's chunks queue up to a bound, the rest are refused.
  Socket reader = Socket::connect(*parseIPv4(kPeerHost), readyPayload(shell).value("port", std::uint16_t{0}), 5000);
  ASSERT_TRUE(reader.sendAll("GET /" + id + " HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(shell.pumpUntil([&] { return shell.ran("window.deskLanPull && window.deskLanPull('" + id + "', 0)"); }));
  for (int i = 0; i < 40; ++i) shell.send("lanChunk", {{"id", id}, {"data", base64Encode(std::string(MiB, 'x'))}});
  EXPECT_TRUE(shell.pumpUntil([&] { return shell.scriptsStartingWith(refused).size() > 2; }));
  shell.send("lanCancel", {{"id", id}});  // each chunk is answered once: the one being sent and the queued too
  const std::string answered = "window.deskLanAck && window.deskLanAck('" + id + "', ";
  EXPECT_TRUE(shell.pumpUntil([&] { return shell.scriptsStartingWith(answered).size() == 42; }));
  FakePeer peer([](Socket&, const std::string&) {});  // pushes beyond the bound: broken off at once
  for (char c = 'a'; c <= 'a' + static_cast<char>(kLanPushesAtOnce); ++c) {
    shell.send("lanOpen", {{"id", lanId(c)}, {"size", lanEncryptedSize(MiB)}, {"key", kKeyHex}});
    shell.send("lanPush", {{"id", lanId(c)}, {"url", peer.url(lanId(c))}, {"from", 0}});
  }
  EXPECT_TRUE(shell.pumpUntil([&] { return shell.ran("window.deskLanAbort && window.deskLanAbort('" + lanId('e') + "')"); }));
  EXPECT_EQ(shell.scriptsStartingWith("window.deskLanAbort").size(), 1u);
  // Receptions beyond the bound fail at once, leaving no sink or part file (fetches count alike).
  for (char c = '5'; c <= '5' + static_cast<char>(kLanSinksAtOnce); ++c) sinkGet(shell, lanId(c), MiB, std::string(1, c));
  ASSERT_EQ(shell.done().size(), 1u);
  EXPECT_EQ(shell.done()[0].id, "9");
  EXPECT_FALSE(std::filesystem::exists(shell.partFile(lanId('9'))) || shell.app->lan->hasSink(lanId('9')));
}

TEST(LanRegistry, ProbeCandidates) {
  const std::string id = lanId('4');
  Json urls = Json::array();
  urls.push_back(5);
  urls.push_back("http://8.8.8.8:1/" + id);
  for (int i = 1; i <= 8; ++i) urls.push_back("http://10.0.0." + std::to_string(i) + ":1/" + id);
  const auto kept = keptProbeUrls(urls);
  ASSERT_EQ(kept.size(), 6u);
  EXPECT_EQ(kept.front(), "http://10.0.0.1:1/" + id);
  EXPECT_EQ(kept.back(), "http://10.0.0.6:1/" + id);
  EXPECT_TRUE(keptProbeUrls(Json::array({"http://172.32.0.1:1/" + id})).empty());
}

TEST(LanRegistry, PushIntoASink) {
  TempDir dir("push");
  const std::string id = lanId('5');
  const std::string plain = randomBytes(2 * MiB + 9);
  LanServer server;
  std::shared_ptr<LanFrames> frames;
  std::mutex lock;
  std::vector<LanResult> results;
  server.installSinkCallbacks([&](const std::string& sink, const std::string&) {
                                return frames && server.claimSink(sink) ? frames : nullptr;
                              }, nullptr,
                              [&](const std::string&, LanResult r) {
                                std::lock_guard g(lock);
                                results.push_back(r);
                              });
  server.addSink(id);
  const std::uint16_t port = server.ensureStarted();
  const std::string head = lanPushHead(id, 0, kPeerHost, lanEncryptedSize(plain.size()));
  const std::string body = joined(sealRecords(plain));

  // No ready frames yet: refused.
  EXPECT_EQ(rawExchange(port, head + body), std::string(lanAnswerHead(LanAnswer::BadRequest)));
  frames = std::make_shared<LanFrames>(kKeyHex, dir / "sink.part", plain.size());
  EXPECT_EQ(rawExchange(port, head + body), std::string(lanAnswerHead(LanAnswer::Ok)));
  EXPECT_FALSE(server.hasSink(id));
  // The sink took its one push; the next is refused.
  EXPECT_EQ(rawExchange(port, head + body), std::string(lanAnswerHead(LanAnswer::BadRequest)));

  // A cancelled id: the gathered body is still fed, nothing more is read, no answer.
  const std::string other = lanId('6');
  frames = std::make_shared<LanFrames>(kKeyHex, dir / "other.part", plain.size());
  server.addSink(other);
  transferSockets()->cancelTransfer(other);
  EXPECT_EQ(rawExchange(port, lanPushHead(other, 0, kPeerHost, body.size()) + body), "");
  transferSockets()->clearCancelledTransfer(other);
  server.stop();
  EXPECT_EQ(results, (std::vector<LanResult>{LanResult::Complete, LanResult::Incomplete}));
  frames->close();
  frames.reset();
  std::filesystem::remove(dir / "other.part");
}
