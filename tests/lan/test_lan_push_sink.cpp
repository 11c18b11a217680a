// Pushes into sinks and probes, through the page messages of shells in one namespace.
#include <gtest/gtest.h>

#include "LanPeers.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"
#include "lan/LanSink.h"

namespace {

constexpr std::uint64_t MiB = 1048576;

std::string abortOf(const std::string& id) { return "window.deskLanAbort && window.deskLanAbort('" + id + "')"; }
std::string pullOf(const std::string& id, std::uint64_t from) {
  return "window.deskLanPull && window.deskLanPull('" + id + "', " + std::to_string(from) + ")";
}

void feed(Shell& page, const std::string& id, const std::string& plain, std::uint64_t from) {
  for (const auto& record : sealRecords(plain, from)) page.send("lanChunk", {{"id", id}, {"data", base64Encode(record)}});
  page.send("lanFinish", {{"id", id}});
}

}  // namespace

TEST(LanPush, ArrivesWholeAndResumes) {
  const struct { bool native; std::uint64_t stored; } cases[] = {{true, 0}, {true, 2 * MiB + 77}, {false, 0}, {false, 3 * MiB}};
  char fill = '1';
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "native " << c.native << ", stored " << c.stored);
    Shell sender, receiver;
    const std::string lid = lanId(fill++);
    const std::string plain = randomBytes(4 * MiB + 5);
    const std::uint64_t from = c.stored / MiB;
    if (c.stored) writeFile(receiver.partFile(lid), plain.substr(0, c.stored));
    const std::uint16_t port = sinkPort(receiver, lid);
    sinkGet(receiver, lid, plain.size());
    EXPECT_EQ(receiver.scriptsStartingWith("window.deskLanSinkWait"),
              std::vector<std::string>{"window.deskLanSinkWait && window.deskLanSinkWait('" + lid + "', " +
                                       std::to_string(from) + ")"});
    writeFile(sender.desktop.temp() / "offer.bin", plain);
    if (c.native) offerNative(sender, lid, sender.desktop.temp() / "offer.bin", plain.size());
    if (!c.native) sender.send("lanOpen", {{"id", lid}, {"size", lanEncryptedSize(plain.size())}, {"key", kKeyHex}});
    sender.send("lanPush", {{"id", lid}, {"url", urlOf(port, lid)}, {"from", from}});
    if (!c.native) {
      ASSERT_TRUE(sender.pumpUntil([&] { return sender.ran(pullOf(lid, from)); }));
      feed(sender, lid, plain, from);
    }
    ASSERT_TRUE(receiver.waitDone());
    EXPECT_TRUE(receiver.done()[0].ok);
    EXPECT_EQ(receiver.done()[0].path, *receiver.desktop.downloads / "in" / "got.bin");
    EXPECT_EQ(sha256Hex(readFile(receiver.done()[0].path)), sha256Hex(plain));
    EXPECT_FALSE(std::filesystem::exists(receiver.partFile(lid)));
    EXPECT_FALSE(receiver.scriptsStartingWith("window.deskLanProgress && window.deskLanProgress('d1', ").empty());
    const std::string nativeDone = "window.deskLanNative && window.deskLanNative('" + lid + "', 'done', " +
                                   std::to_string(plain.size()) + ")";
    EXPECT_TRUE(!c.native || sender.pumpUntil([&] { return sender.ran(nativeDone); }));
    EXPECT_FALSE(sender.ran(abortOf(lid)));
    EXPECT_FALSE(receiver.app->lan->hasSink(lid));  // a sink takes one push
  }
  Shell receiver;  // a part file already whole is put in place without a push
  const std::string lid = lanId('9'), plain = randomBytes(2 * MiB + 3);
  writeFile(receiver.partFile(lid), plain);
  sinkGet(receiver, lid, plain.size());
  ASSERT_TRUE(receiver.waitDone());
  EXPECT_EQ(readFile(*receiver.desktop.downloads / "in" / "got.bin"), plain);
}

TEST(LanPush, ThatCannotBeDeliveredAborts) {
  FakePeer peer([](Socket&, const std::string&) {});
  Shell sender, receiver;
  const std::string offered = lanId('a'), unknown = lanId('b'), other = lanId('c');
  sender.send("lanOpen", {{"id", offered}, {"size", lanEncryptedSize(2 * MiB)}, {"key", kKeyHex}});
  // Nothing to send: an abort and no connection at all.
  const struct { std::string id; std::uint64_t from; } cases[] = {{unknown, 0}, {offered, 2}, {offered, 1ull << 40}};
  for (const auto& c : cases) {
    sender.send("lanPush", {{"id", c.id}, {"url", peer.url(c.id)}, {"from", c.from}});
    EXPECT_TRUE(sender.pumpUntil([&] { return sender.scriptsStartingWith(abortOf(c.id)).size() == 1; }));
    sender.web.scripts.clear();
  }
  EXPECT_TRUE(peer.heads().empty());
  // A sink of another id refuses the POST; larger than the sockets' buffers, the stream then
  // fails at a send.
  const std::string plain = randomBytes(40 * MiB);
  const std::uint16_t port = sinkPort(receiver, other);
  sinkGet(receiver, other, plain.size());
  writeFile(sender.desktop.temp() / "big.bin", plain);
  offerNative(sender, unknown, sender.desktop.temp() / "big.bin", plain.size());
  sender.send("lanPush", {{"id", unknown}, {"url", urlOf(port, other)}, {"from", 0}});
  EXPECT_TRUE(sender.pumpUntil([&] { return sender.ran(abortOf(unknown)); }));
  receiver.desktop.pump(*receiver.app);
  EXPECT_TRUE(receiver.done().empty());
  EXPECT_TRUE(receiver.app->lan->hasSink(other));  // still waiting for its own push
  // A receiver that reads everything and answers 400: broken off, never "done", native or page-fed.
  const std::string small = plain.substr(0, MiB + 9), late = lanId('d'), fed = lanId('e');
  FakePeer refuser([](Socket& s, const std::string&) {
    for (char piece[65536]; s.receive(piece, sizeof piece) > 0;) {}
    s.sendAll(lanAnswerHead(LanAnswer::BadRequest));
  });
  offerNative(sender, late, sender.desktop.temp() / "big.bin", plain.size());
  sender.send("lanOpen", {{"id", fed}, {"size", lanEncryptedSize(small.size())}, {"key", kKeyHex}});
  for (const auto& id : {late, fed}) sender.send("lanPush", {{"id", id}, {"url", refuser.url(id)}, {"from", 0}});
  ASSERT_TRUE(sender.pumpUntil([&] { return sender.ran(pullOf(fed, 0)); }));
  feed(sender, fed, small, 0);
  EXPECT_TRUE(sender.pumpUntil([&] { return sender.ran(abortOf(fed)) && sender.ran(abortOf(late)); }));
  EXPECT_TRUE(sender.scriptsStartingWith("window.deskLanNative && window.deskLanNative('" + late + "', 'done'").empty());
}

TEST(LanSink, EndsOnceByTimeOutOrCancel) {
  const std::string plain = randomBytes(3 * MiB);
  for (const bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "no push in 40 s");
    Shell receiver;
    const std::string lid = lanId(cancel ? 'e' : 'f');
    writeFile(receiver.partFile(lid), plain.substr(0, MiB));
    const std::uint16_t port = sinkPort(receiver, lid);
    sinkGet(receiver, lid, plain.size());
    for (const std::string& bad : {lid.substr(1), std::string(32, 'A')}) receiver.send("lanGetCancel", {{"lid", bad}});
    if (cancel) receiver.send("lanGetCancel", {{"lid", lid}});
    if (!cancel) receiver.desktop.advance(kLanSinkWaitMs);  // the desktop's clock: no real wait
    ASSERT_TRUE(receiver.waitDone());
    EXPECT_FALSE(receiver.done()[0].ok);
    EXPECT_EQ(receiver.done()[0].resume, !cancel);
    EXPECT_EQ(std::filesystem::exists(receiver.partFile(lid)), !cancel);
    EXPECT_FALSE(std::filesystem::exists(*receiver.desktop.downloads / "in"));  // no empty folder
    // Unregistered: a later push is refused, and nothing ends a second time.
    EXPECT_EQ(rawExchange(port, lanPushHead(lid, 1, kPeerHost, 100) + "x"), std::string(lanAnswerHead(LanAnswer::BadRequest)));
    receiver.desktop.advance(kLanSinkWaitMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    receiver.desktop.pump(*receiver.app);
    EXPECT_EQ(receiver.done().size(), 1u);
  }
}

TEST(LanSink, AReceptionUnderWayIsNotReplacedAndACloseEndsNone) {
  Shell receiver;
  const std::string lid = lanId('8');
  const auto records = sealRecords(randomBytes(3 * MiB));
  const std::uint16_t port = sinkPort(receiver, lid);
  sinkGet(receiver, lid, 3 * MiB, "first");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // its wait is under way
  receiver.desktop.advance(kLanSinkWaitMs - 1000);
  sinkGet(receiver, lid, 3 * MiB, "second");  // while it waits: replaces the first, silently
  receiver.desktop.advance(2000);  // the first's 40 s are over, not the second's
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  Socket push = Socket::connect(*parseIPv4(kPeerHost), port, 5000);
  ASSERT_TRUE(push.sendAll(lanPushHead(lid, 0, kPeerHost, joined(records).size()) + records[0]));
  const auto part = receiver.partFile(lid);
  ASSERT_TRUE(receiver.pumpUntil([&] { return std::filesystem::exists(part) && std::filesystem::file_size(part) == MiB; }));
  sinkGet(receiver, lid, 3 * MiB, "third");  // while a push is received: refused, the part file untouched
  EXPECT_EQ(std::filesystem::file_size(part), MiB);
  receiver.send("lanGetCancel", {{"lid", lid}});  // during the push: it ends, part file and all
  ASSERT_TRUE(receiver.waitDone(2));
  EXPECT_EQ(receiver.done()[0].id + receiver.done()[1].id, "thirdsecond");
  EXPECT_FALSE(receiver.done()[0].ok || receiver.done()[1].ok || receiver.done()[1].resume || std::filesystem::exists(part));
  // Closed, a sink answers no ping and takes no push, and its reception reports nothing.
  sinkGet(receiver, lid, 3 * MiB, "fourth");
  receiver.send("lanSinkClose", {{"id", lid}});
  EXPECT_EQ(rawExchange(port, "GET /" + lid + "/ping HTTP/1.1\r\n\r\n"), std::string(lanAnswerHead(LanAnswer::NotFound)));
  EXPECT_EQ(rawExchange(port, lanPushHead(lid, 0, kPeerHost, 100) + "x"), std::string(lanAnswerHead(LanAnswer::BadRequest)));
}

TEST(LanSink, TakesExactlyOneOfTwoSimultaneousPushes) {
  Shell receiver;
  const std::string lid = lanId('0');
  const std::string plain = randomBytes(2 * MiB + 3);
  const std::uint16_t port = sinkPort(receiver, lid);
  sinkGet(receiver, lid, plain.size());
  const std::string body = joined(sealRecords(plain));
  // Both heads are in before either body, so both connections pass the first checks together.
  Socket pushes[2] = {Socket::connect(*parseIPv4(kPeerHost), port, 5000), Socket::connect(*parseIPv4(kPeerHost), port, 5000)};
  for (auto& s : pushes) s.sendAll(lanPushHead(lid, 0, kPeerHost, body.size()));
  std::vector<std::string> answers(2);
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      pushes[i].sendAll(body);
      pushes[i].setReceiveTimeout(20000);
      char c[256];
      for (long n; (n = pushes[i].receive(c, sizeof c)) > 0;) answers[i].append(c, static_cast<std::size_t>(n));
    });
  }
  for (auto& t : threads) t.join();
  std::sort(answers.begin(), answers.end());
  EXPECT_EQ(answers, (std::vector<std::string>{std::string(lanAnswerHead(LanAnswer::Ok)), std::string(lanAnswerHead(LanAnswer::BadRequest))}));
  ASSERT_TRUE(receiver.waitDone());
  EXPECT_EQ(readFile(receiver.done()[0].path), plain);
  receiver.desktop.pump(*receiver.app);
  EXPECT_EQ(receiver.done().size(), 1u);
}

TEST(LanPush, AndAGetOfOneIdDoNotRunSideBySide) {
  Shell sender, fetcher, receiver;
  const std::string lid = lanId('9');
  const std::string plain = randomBytes(2 * MiB);
  sender.send("lanOpen", {{"id", lid}, {"size", lanEncryptedSize(plain.size())}, {"key", kKeyHex}});
  get(fetcher, urlOf(readyPayload(sender)["port"], lid), plain.size());
  ASSERT_TRUE(sender.pumpUntil([&] { return sender.ran(pullOf(lid, 0)); }));
  const std::uint16_t port = sinkPort(receiver, lid);
  sinkGet(receiver, lid, plain.size());
  sender.send("lanPush", {{"id", lid}, {"url", urlOf(port, lid)}, {"from", 0}});
  ASSERT_TRUE(sender.pumpUntil([&] { return sender.scriptsStartingWith(pullOf(lid, 0)).size() == 2; }));
  // The GET stopped when the push began; the page's records go to the push alone.
  ASSERT_TRUE(fetcher.waitDone());
  EXPECT_FALSE(fetcher.done()[0].ok);
  feed(sender, lid, plain, 0);
  ASSERT_TRUE(receiver.waitDone());
  EXPECT_EQ(readFile(receiver.done()[0].path), plain);
  EXPECT_FALSE(sender.ran(abortOf(lid)));
}

TEST(LanProbe, NamesTheFirstAddressThatAnswers) {
  Shell prober, peer;
  const std::string id = lanId('7');
  const std::string answering = urlOf(sinkPort(peer, id), id);
  std::vector<std::string> refusing;  // ports that were just free refuse at once
  for (int i = 0; i < 5; ++i) {
    std::uint16_t free = 0;
    Socket::listenAny(1, free);
    refusing.push_back(urlOf(free, id));
  }
  std::vector<std::string> six = refusing;
  six.push_back(answering);
  const struct { std::vector<std::string> urls; std::string found; } cases[] = {
      {{}, ""}, {{answering}, answering}, {six, answering}, {refusing, ""}};
  for (const auto& c : cases) {
    prober.web.scripts.clear();
    prober.send("lanProbe", {{"id", id}, {"urls", c.urls}});
    EXPECT_TRUE(prober.pumpUntil([&] { return !prober.scriptsStartingWith("window.deskLanProbed").empty(); }));
    EXPECT_EQ(prober.scriptsStartingWith("window.deskLanProbed"),
              std::vector<std::string>{"window.deskLanProbed && window.deskLanProbed('" + id + "', \"" + c.found + "\")"});
  }
}
