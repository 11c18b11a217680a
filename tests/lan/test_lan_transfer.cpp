// Two shells in one namespace move files through their page messages; raw peers stand in
// where the test needs a stream that a shell would never send.
#include <gtest/gtest.h>

#include <algorithm>

#include "LanPeers.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"

namespace {

constexpr std::uint64_t MiB = 1048576;

// A peer that answers every request with a stream head and the given bytes, then closes.
FakePeer::Answer streamAnswer(std::function<std::string(const std::string& head)> body) {
  return [body](Socket& s, const std::string& head) {
    const std::string bytes = body(head);
    s.sendAll(lanStreamHead(bytes.size()) + bytes);
  };
}

}  // namespace

TEST(LanTransfer, NativeOfferArrivesWhole) {
  Shell server, client;
  const std::string id = lanId('1');
  const std::string plain = randomBytes(10 * MiB + 123);
  writeFile(server.desktop.temp() / "offer.bin", plain);
  const auto port = offerNative(server, id, server.desktop.temp() / "offer.bin", plain.size());
  ASSERT_NE(port, 0);
  const Json ready = readyPayload(server);
  EXPECT_EQ(ready["native"], true);
  auto addrs = ready["addrs"].get<std::vector<std::string>>();
  std::sort(addrs.begin(), addrs.end());
  EXPECT_EQ(addrs, (std::vector<std::string>{"10.213.0.1", "10.213.0.2"}));

  get(client, urlOf(port, id), plain.size());
  ASSERT_TRUE(client.waitDone());
  const auto done = client.done().front();
  EXPECT_TRUE(done.ok);
  EXPECT_FALSE(done.resume);
  EXPECT_EQ(sha256Hex(readFile(done.path)), sha256Hex(plain));
  EXPECT_FALSE(std::filesystem::exists(client.partFile(id)));
  // The scripted clock stands still, so the 250 ms throttle lets exactly one progress through.
  EXPECT_EQ(client.scriptsStartingWith("window.deskLanProgress"),
            std::vector<std::string>{"window.deskLanProgress && window.deskLanProgress('d1', 0, 0)"});
  ASSERT_TRUE(server.pumpUntil([&] { return !server.scriptsStartingWith("window.deskLanNative && "
                                                                           "window.deskLanNative('" + id + "', 'done'").empty(); }));
  const auto native = server.scriptsStartingWith("window.deskLanNative");
  EXPECT_EQ(native.front(), "window.deskLanNative && window.deskLanNative('" + id + "', 'start', 0)");
  EXPECT_EQ(native[1], "window.deskLanNative && window.deskLanNative('" + id + "', 'progress', 1048576)");
  EXPECT_EQ(native.back(), "window.deskLanNative && window.deskLanNative('" + id + "', 'done', " +
                               std::to_string(plain.size()) + ")");
}

TEST(LanTransfer, PageFedOfferArrivesWhole) {
  Shell server, client;
  const std::string id = lanId('2');
  const std::string plain = randomBytes(3 * MiB + 7);
  server.send("lanOpen", {{"id", id}, {"size", lanEncryptedSize(plain.size())}, {"key", kKeyHex}});
  const Json ready = readyPayload(server);
  EXPECT_EQ(ready["native"], false);
  get(client, urlOf(ready["port"], id), plain.size());
  const std::string pull = "window.deskLanPull && window.deskLanPull('" + id + "', 0)";
  ASSERT_TRUE(server.pumpUntil([&] { return !server.scriptsStartingWith(pull).empty(); }));
  for (const auto& record : sealRecords(plain)) server.send("lanChunk", {{"id", id}, {"data", base64Encode(record)}});
  server.send("lanFinish", {{"id", id}});
  ASSERT_TRUE(client.waitDone());
  EXPECT_TRUE(client.done().front().ok);
  EXPECT_EQ(sha256Hex(readFile(client.done().front().path)), sha256Hex(plain));
  ASSERT_TRUE(server.pumpUntil([&] { return server.scriptsStartingWith("window.deskLanAck").size() == 4; }));
  EXPECT_EQ(server.scriptsStartingWith("window.deskLanAck").front(),
            "window.deskLanAck && window.deskLanAck('" + id + "', true)");
  EXPECT_TRUE(server.scriptsStartingWith("window.deskLanAbort").empty());
}

TEST(LanTransfer, FixedAnswersByteForByte) {
  Shell server;
  const std::string offer = lanId('3'), sink = lanId('4'), unknown = lanId('5');
  server.send("lanOpen", {{"id", offer}, {"size", 1048641}, {"key", kKeyHex}});
  server.send("lanSink", {{"id", sink}});
  const std::uint16_t port = readyPayload(server)["port"];
  const std::string ok(lanAnswerHead(LanAnswer::Ok)), notFound(lanAnswerHead(LanAnswer::NotFound)), range(lanAnswerHead(LanAnswer::OutOfRange)),
      bad(lanAnswerHead(LanAnswer::BadRequest));
  const std::string tail = " HTTP/1.1\r\nHost: x\r\n\r\n";
  const struct { std::string request; std::string answer; } cases[] = {
      {"HELLO\r\n\r\n", notFound},
      {"GET /" + unknown + tail, notFound},
      {"GET /" + std::string(32, 'A') + tail, notFound},
      {"GET /" + offer + "?x=1" + tail, notFound},
      {"GET /" + offer + "/ping" + tail, ok},
      {"GET /" + sink + "/ping" + tail, ok},
      {"GET /" + unknown + "/ping" + tail, notFound},
      {"GET /" + offer + "?from=2" + tail, range},
      {"GET /" + offer + "?from=-1" + tail, range},
      {"POST /" + unknown + "?from=0" + tail, bad},
      {"POST /" + sink + "?from=0" + tail, bad},  // no sink reception prepared
  };
  for (const auto& c : cases) EXPECT_EQ(rawExchange(port, c.request), c.answer) << c.request;
  // A resumed request of a page-fed offer gets its shortened head, then the page's records.
  server.send("lanFinish", {{"id", offer}});
  std::string answer;
  std::thread t([&] { answer = rawExchange(port, "GET /" + offer + "?from=1" + tail); });
  const std::string pull = "window.deskLanPull && window.deskLanPull('" + offer + "', 1)";
  ASSERT_TRUE(server.pumpUntil([&] { return !server.scriptsStartingWith(pull).empty(); }));
  server.send("lanFinish", {{"id", offer}});
  t.join();
  EXPECT_EQ(answer, lanStreamHead(33));
}

TEST(LanTransfer, ResumesFromTheLastWholeRecord) {
  const std::string id = lanId('6');
  const std::string plain = randomBytes(10 * MiB);
  FakePeer peer(streamAnswer([&](const std::string& head) {
    const auto r = parseLanRequest(head);
    return joined(sealRecords(plain, r.from));
  }));
  Shell client;
  writeFile(client.partFile(id), plain.substr(0, 3 * MiB + MiB / 2));
  get(client, peer.url(id), plain.size());
  ASSERT_TRUE(client.waitDone());
  EXPECT_TRUE(client.done().front().ok);
  EXPECT_EQ(peer.heads().front().rfind("GET /" + id + "?from=3 HTTP/1.1\r\n", 0), 0u);
  EXPECT_EQ(client.scriptsStartingWith("window.deskLanProgress").front(),
            "window.deskLanProgress && window.deskLanProgress('d1', 30, 3145728)");
  EXPECT_EQ(sha256Hex(readFile(client.done().front().path)), sha256Hex(plain));
}

TEST(LanTransfer, CutConnectionKeepsThePartFileForAResume) {
  const std::string plain = randomBytes(5 * MiB);
  // Where the stream of a fresh fetch ends: inside record 2 (length field, nonce, body, tag) or
  // right after it. Exactly the two whole records before it stay.
  const struct { const char* what; std::uint64_t cut; } cases[] = {
      {"length", 2 * kLanRecordSpan + 2},
      {"nonce", 2 * kLanRecordSpan + 4 + 5},
      {"body", 2 * kLanRecordSpan + 16 + MiB / 2},
      {"tag", 3 * kLanRecordSpan - 7},
      {"whole records", 2 * kLanRecordSpan},
  };
  char fill = '0';
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string id = lanId(fill++);
    FakePeer peer([&](Socket& s, const std::string& head) {
      const auto r = parseLanRequest(head);
      const std::string body = joined(sealRecords(plain, r.from));
      s.sendAll(lanStreamHead(body.size()) + (r.from == 0 ? body.substr(0, c.cut) : body));
    });
    Shell client;
    get(client, peer.url(id), plain.size());
    ASSERT_TRUE(client.waitDone(1));
    EXPECT_FALSE(client.done()[0].ok);
    EXPECT_TRUE(client.done()[0].resume);
    EXPECT_EQ(readFile(client.partFile(id)), plain.substr(0, 2 * MiB));
    get(client, peer.url(id), plain.size());
    ASSERT_TRUE(client.waitDone(2));
    EXPECT_EQ(peer.heads()[1].rfind("GET /" + id + "?from=2 HTTP/1.1\r\n", 0), 0u);
    EXPECT_TRUE(client.done()[1].ok);
    EXPECT_EQ(sha256Hex(readFile(client.done()[1].path)), sha256Hex(plain));
  }
}

TEST(LanTransfer, HostileAnswerHeads) {
  const std::string plain = randomBytes(2 * MiB + 5);
  const std::string body = joined(sealRecords(plain));
  const std::string tail = "Connection: close\r\n\r\n";
  // Every case runs at once: the silent ones take the fetch's whole 30 s time-out.
  const struct { const char* what; std::string answer; bool ok; } cases[] = {
      {"endless head", "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(9000, 'a'), false},
      {"status 500", "HTTP/1.1 500 Internal Server Error\r\n" + tail + body, false},
      {"redirect", "HTTP/1.1 302 Found\r\nLocation: http://10.213.0.2:1/" + lanId('0') + "\r\n" + tail, false},
      {"partial content", "HTTP/1.1 206 Partial Content\r\n" + tail + body, false},
      {"status 2000", "HTTP/1.1 2000 OK\r\n" + tail + body, false},
      {"no status line", "\r\n\r\n" + body, false},
      {"not HTTP", "ICY 200 OK\r\n" + tail + body, false},
      {"silence", "", false},
      {"silence after the head", lanStreamHead(body.size()), false},
      // The records, not the stated length, say what arrives: every one is checked.
      {"length too short", lanStreamHead(5) + body, true},
      {"length too long", lanStreamHead(body.size() * 3) + body + "trailing bytes", true},
      {"length unreadable", "HTTP/1.1 200 OK\r\nContent-Length: -x\r\n" + tail + body, true},
      {"no length", "HTTP/1.1 200 OK\r\n" + tail + body, true},
  };
  std::vector<std::unique_ptr<FakePeer>> peers;
  std::vector<std::unique_ptr<Shell>> clients;
  const auto idOf = [](std::size_t i) { return lanId("0123456789abcdef"[i]); };
  for (const auto& c : cases) {
    peers.push_back(std::make_unique<FakePeer>([&c](Socket& s, const std::string&) {
      s.sendAll(c.answer);
      // Held open until the fetch gives up.
      s.setReceiveTimeout(45000);
      char byte;
      while (s.receive(&byte, 1) > 0) {
      }
    }));
    clients.push_back(std::make_unique<Shell>());
    get(*clients.back(), peers.back()->url(idOf(clients.size() - 1)), plain.size());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const auto allDone = [&] {
    return std::all_of(clients.begin(), clients.end(), [](const auto& c) { return !c->done().empty(); });
  };
  while (!allDone() && std::chrono::steady_clock::now() < deadline) {
    for (auto& c : clients) c->desktop.pump(*c->app);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (std::size_t i = 0; i < clients.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    Shell& client = *clients[i];
    ASSERT_EQ(client.done().size(), 1u);
    const DoneRecord done = client.done()[0];
    EXPECT_EQ(done.ok, cases[i].ok);
    EXPECT_EQ(peers[i]->heads().size(), 1u);  // no second request, nowhere else
    if (done.ok) {
      EXPECT_EQ(readFile(done.path), plain);
      continue;
    }
    EXPECT_TRUE(done.resume);
    EXPECT_TRUE(std::filesystem::is_empty(*client.desktop.downloads));
    std::error_code ec;
    EXPECT_EQ(std::filesystem::file_size(client.partFile(idOf(i)), ec), 0u);
  }
}

TEST(LanTransfer, ResumedRequestAnswered404IsRetriedOnceFromZero) {
  const std::string id = lanId('8');
  const std::string plain = randomBytes(2 * MiB + 5);
  FakePeer peer([&](Socket& s, const std::string& head) {
    if (parseLanRequest(head).from != 0) {
      s.sendAll(lanAnswerHead(LanAnswer::NotFound));
      return;
    }
    const std::string body = joined(sealRecords(plain));
    s.sendAll(lanStreamHead(body.size()) + body);
  });
  Shell client;
  writeFile(client.partFile(id), randomBytes(MiB + 1));  // not this file's bytes
  get(client, peer.url(id), plain.size());
  ASSERT_TRUE(client.waitDone());
  ASSERT_EQ(peer.heads().size(), 2u);
  EXPECT_EQ(peer.heads()[1].rfind("GET /" + id + " HTTP/1.1\r\n", 0), 0u);
  EXPECT_TRUE(client.done().front().ok);
  EXPECT_EQ(readFile(client.done().front().path), plain);
}

TEST(LanTransfer, BrokenStreamsRemoveThePartFile) {
  const std::string plain = randomBytes(2 * MiB + 5);
  const auto records = sealRecords(plain);
  std::string tampered = joined(records);
  tampered[MiB + 500] ^= 0x40;
  std::string last = records[2];
  last[3] = static_cast<char>(last[3] - 1);  // the last record's length one short, and its tag too
  last.pop_back();
  const std::string truncated = records[0] + records[1] + last;
  const struct { const char* what; std::string body; } cases[] = {
      {"tampered", tampered},
      {"reordered", records[1] + records[0] + records[2]},
      {"truncated", truncated},
  };
  char fill = 'a';
  for (const auto& c : cases) {
    const std::string id = lanId(fill++);
    FakePeer peer(streamAnswer([&](const std::string&) { return c.body; }));
    Shell client;
    get(client, peer.url(id), plain.size());
    ASSERT_TRUE(client.waitDone()) << c.what;
    EXPECT_FALSE(client.done().front().ok) << c.what;
    EXPECT_TRUE(client.done().front().resume) << c.what;
    EXPECT_FALSE(std::filesystem::exists(client.partFile(id))) << c.what;
  }
}

TEST(LanTransfer, CancelDuringAndBeforeAFetch) {
  const std::string id = lanId('d');
  const std::string plain = randomBytes(3 * MiB);
  std::atomic<bool> stall{true};
  FakePeer peer([&](Socket& s, const std::string&) {
    const auto records = sealRecords(plain);
    s.sendAll(lanStreamHead(joined(records).size()) + records[0]);
    if (stall) {
      char c;
      s.receive(&c, 1);  // until the client goes away
      return;
    }
    s.sendAll(records[1] + records[2]);
  });
  Shell client;
  get(client, peer.url(id), plain.size());
  ASSERT_TRUE(client.pumpUntil([&] { return std::filesystem::exists(client.partFile(id)) &&
                                            std::filesystem::file_size(client.partFile(id)) == MiB; }));
  client.send("lanGetCancel", {{"lid", id}});
  ASSERT_TRUE(client.waitDone());
  EXPECT_FALSE(client.done()[0].ok);
  EXPECT_FALSE(client.done()[0].resume);
  EXPECT_FALSE(std::filesystem::exists(client.partFile(id)));

  // A cancel with nothing running stays noted, and the next fetch clears it and runs.
  stall = false;
  client.send("lanGetCancel", {{"lid", id}});
  get(client, peer.url(id), plain.size());
  ASSERT_TRUE(client.waitDone(2));
  EXPECT_TRUE(client.done()[1].ok);
}

TEST(LanTransfer, SecondFetchOfARunningIdIsRefused) {
  const std::string id = lanId('e');
  const std::string plain = randomBytes(2 * MiB);
  std::atomic<bool> release{false};
  FakePeer peer(stallingAnswer(plain, release));
  Shell client;
  get(client, peer.url(id), plain.size(), "first");
  ASSERT_TRUE(client.pumpUntil([&] { return std::filesystem::exists(client.partFile(id)) &&
                                            std::filesystem::file_size(client.partFile(id)) == MiB; }));
  get(client, peer.url(id), plain.size(), "second");
  ASSERT_TRUE(client.waitDone(1));
  EXPECT_EQ(client.done()[0].id, "second");
  EXPECT_FALSE(client.done()[0].ok);
  EXPECT_FALSE(client.done()[0].resume);
  EXPECT_EQ(std::filesystem::file_size(client.partFile(id)), MiB);  // the first one's, untouched
  release = true;
  ASSERT_TRUE(client.waitDone(2));
  EXPECT_EQ(client.done()[1].id, "first");
  EXPECT_TRUE(client.done()[1].ok);
  EXPECT_EQ(readFile(client.done()[1].path), plain);
}

TEST(LanTransfer, SecondGetStopsTheFirstSilently) {
  Shell server;
  const std::string id = lanId('f');
  server.send("lanOpen", {{"id", id}, {"size", 1048641}, {"key", kKeyHex}});
  const std::uint16_t port = readyPayload(server)["port"];
  const std::string request = "GET /" + id + " HTTP/1.1\r\n\r\n";
  std::string first, second;
  std::thread a([&] { first = rawExchange(port, request); });
  const std::string pull = "window.deskLanPull && window.deskLanPull('" + id + "', 0)";
  ASSERT_TRUE(server.pumpUntil([&] { return server.scriptsStartingWith(pull).size() == 1; }));
  std::thread b([&] { second = rawExchange(port, request); });
  ASSERT_TRUE(server.pumpUntil([&] { return server.scriptsStartingWith(pull).size() == 2; }));
  a.join();
  server.send("lanChunk", {{"id", id}, {"data", base64Encode("records")}});
  server.send("lanFinish", {{"id", id}});
  b.join();
  EXPECT_EQ(first, lanStreamHead(1048641));
  EXPECT_EQ(second, lanStreamHead(1048641) + "records");
  server.pumpUntil([&] { return !server.scriptsStartingWith("window.deskLanAck").empty(); });
  EXPECT_TRUE(server.scriptsStartingWith("window.deskLanAbort").empty());
}

TEST(LanTransfer, AReaderThatStopsReadingEndsItsStream) {
  Shell server;
  const std::string id = lanId('c');
  const std::string plain = randomBytes(48 * MiB);
  writeFile(server.desktop.temp() / "offer.bin", plain);
  const auto port = offerNative(server, id, server.desktop.temp() / "offer.bin", plain.size());
  server.app->lan->setStreamSendTimeout(500);
  Socket reader = Socket::connect(*parseIPv4(kPeerHost), port, 5000);
  ASSERT_TRUE(reader.sendAll("GET /" + id + " HTTP/1.1\r\n\r\n"));
  char head[64];
  ASSERT_GT(reader.receive(head, sizeof head), 0);
  // The reader takes nothing more, but stays connected.
  const std::string abort = "window.deskLanAbort && window.deskLanAbort('" + id + "')";
  ASSERT_TRUE(server.pumpUntil([&] { return server.ran(abort) && server.desktop.keepAwakeRequests() == 0; }));
  EXPECT_TRUE(server.scriptsStartingWith("window.deskLanNative && window.deskLanNative('" + id + "', 'done'").empty());
  // A reader that takes a byte now and then cannot stretch the limit with each partial send.
  struct Trickle final : LanChannel {
    long send(const void*, std::size_t) override { return std::this_thread::sleep_for(std::chrono::milliseconds(1)), 1; }
    long receive(void*, std::size_t) override { return -1; }
    bool setReceiveTimeout(int) override { return true; }
    bool applySendTimeout(int) override { return true; }
    void setBulkBuffers(int) override {}
    void shutdownBoth() const override {}
    void shutdownSend() const override {}
    std::string peerAddress() const override { return {}; }
  } trickle;
  trickle.setSendTimeout(50);
  EXPECT_FALSE(trickle.sendAll(plain.substr(0, MiB)));
}

TEST(LanTransfer, NativeOfferThatCannotBeServedAborts) {
  const struct { const char* what; std::string key; bool deleted; } cases[] = {
      {"key not hexadecimal", std::string(63, 'a') + "z", false},
      {"file deleted", kKeyHex, true},
  };
  char fill = '0';
  for (const auto& c : cases) {
    Shell server;
    const std::string id = lanId(fill++);
    const auto file = server.desktop.temp() / "offer.bin";
    writeFile(file, "content");
    const auto port = offerNative(server, id, file, 7, c.key);
    EXPECT_EQ(readyPayload(server)["native"], true) << c.what;
    if (c.deleted) std::filesystem::remove(file);
    EXPECT_EQ(rawExchange(port, "GET /" + id + " HTTP/1.1\r\n\r\n"), "") << c.what;
    const std::string abort = "window.deskLanAbort && window.deskLanAbort('" + id + "')";
    EXPECT_TRUE(server.pumpUntil([&] { return !server.scriptsStartingWith(abort).empty(); })) << c.what;
  }
}

// A native stream stopped midway, its file reader ahead of the socket: the peer going away and
// a file shorter than offered abort it, a cancel ends it silently; either way both of its
// threads end, and no "done" is heard.
TEST(LanTransfer, NativeStreamStoppedMidwayEndsCleanly) {
  enum class Stop { PeerGone, FileCut, Cancelled };
  const struct { const char* what; Stop stop; } cases[] = {
      {"the peer goes away", Stop::PeerGone},
      {"the file is cut short", Stop::FileCut},
      {"the offer is cancelled", Stop::Cancelled},
  };
  const std::uint64_t size = 24 * MiB;
  const std::string plain = randomBytes(size);
  char fill = 'a';
  for (const auto& c : cases) {
    Shell server;
    const std::string id = lanId(fill++);
    const auto file = server.desktop.temp() / "offer.bin";
    writeFile(file, plain);
    const auto port = offerNative(server, id, file, size);
    if (c.stop == Stop::FileCut) std::filesystem::resize_file(file, 5 * MiB / 2);
    Socket s = Socket::connect(*parseIPv4(kPeerHost), port, 5000);
    ASSERT_TRUE(s.valid()) << c.what;
    s.setReceiveTimeout(20000);
    s.sendAll("GET /" + id + " HTTP/1.1\r\n\r\n");
    std::uint64_t got = 0;
    std::vector<char> piece(65536);
    const auto readUntil = [&](std::uint64_t limit) {
      for (long n = 1; got < limit && n > 0;) {
        n = s.receive(piece.data(), piece.size());
        if (n > 0) got += static_cast<std::uint64_t>(n);
      }
    };
    readUntil(2 * MiB);
    EXPECT_GE(got, 2 * MiB) << c.what;
    if (c.stop == Stop::PeerGone) s.close();
    if (c.stop == Stop::Cancelled) server.send("lanCancel", {{"id", id}});
    if (c.stop != Stop::PeerGone) {
      readUntil(UINT64_MAX);
      EXPECT_LT(got, lanEncryptedSize(size)) << c.what;
    }
    const std::string native = "window.deskLanNative && window.deskLanNative('" + id + "', ";
    if (c.stop != Stop::Cancelled) {
      const std::string abort = "window.deskLanAbort && window.deskLanAbort('" + id + "')";
      EXPECT_TRUE(server.pumpUntil([&] { return !server.scriptsStartingWith(abort).empty(); })) << c.what;
    }
    EXPECT_TRUE(server.scriptsStartingWith(native + "'done'").empty()) << c.what;
  }
}

TEST(LanTransfer, RefusedRequestsFailAtOnce) {
  Shell client;
  const std::string id = lanId('9');
  const struct { std::string url; std::string key; } cases[] = {
      {"http://8.8.8.8:80/" + id, kKeyHex},
      {"http://010.0.0.1:80/" + id, kKeyHex},
      {"http://10.213.0.1:80/" + id, std::string(63, 'a')},
  };
  for (const auto& c : cases) {
    client.send("lanGet", {{"id", "x"}, {"url", c.url}, {"key", c.key}, {"name", "n"}, {"size", 10}});
  }
  for (const std::string& lid : {id.substr(1), std::string(32, 'A'), id})  // bad lids; then a key of no hex
    client.send("lanSinkGet", {{"id", "x"}, {"lid", lid}, {"key", std::string(64, 'g')}, {"name", "n"}, {"size", 10}});
  // Refused on the main thread: reported at once, without a thread or a part file.
  EXPECT_FALSE(client.app->lan->hasSink(id));
  ASSERT_EQ(client.done().size(), 6u);
  for (const auto& d : client.done()) EXPECT_FALSE(d.ok || d.resume);
  EXPECT_FALSE(std::filesystem::exists(client.partFile(id)));
}

TEST(LanTransfer, ProgressStaysBelowCompletion) {
  Shell shell;
  shell.app->report(LanReceiving{"p", 10, 10});
  shell.app->report(LanReceiving{"p", 5, 10});
  shell.app->report(LanReceiving{"p", 0, 0});
  shell.desktop.pump(*shell.app);
  EXPECT_EQ(shell.scriptsStartingWith("window.deskLanProgress"),
            (std::vector<std::string>{"window.deskLanProgress && window.deskLanProgress('p', 99, 10)",
                                      "window.deskLanProgress && window.deskLanProgress('p', 50, 5)",
                                      "window.deskLanProgress && window.deskLanProgress('p', 0, 0)"}));
}

TEST(LanTransfer, ClosingWhileAFetchStallsJoinsItsThread) {
  const std::string id = lanId('b');
  FakePeer peer([&](Socket& s, const std::string&) {
    s.sendAll(lanStreamHead(100));
    char c;
    s.receive(&c, 1);
  });
  auto client = std::make_unique<Shell>();
  get(*client, peer.url(id), 5 * MiB);
  ASSERT_TRUE(client->pumpUntil([&] { return peer.heads().size() == 1; }));
  client->app.reset();  // must stop and join the fetch, which then reports nothing
  EXPECT_TRUE(client->done().empty() || !client->done().front().ok);
}

TEST(LanTransfer, TheFolderIsChosenWhenTheFileIsComplete) {
  const std::string plain = randomBytes(2 * MiB);
  std::atomic<bool> release{false};
  FakePeer peer(stallingAnswer(plain, release));
  FakePeer cut([](Socket& s, const std::string&) { s.sendAll(lanStreamHead(100)); });
  Shell client;
  const auto downloads = *client.desktop.downloads;
  client.send("lanGet", {{"id", "a"}, {"url", peer.url(lanId('1'))}, {"key", kKeyHex}, {"name", "got.bin"},
                         {"size", plain.size()}, {"dir", "album/2024"}});
  ASSERT_TRUE(client.pumpUntil([&] { return std::filesystem::exists(client.partFile(lanId('1'))) &&
                                            std::filesystem::file_size(client.partFile(lanId('1'))) == MiB; }));
  // The user removes the folder while the file arrives: it is made again for the file.
  std::filesystem::remove_all(downloads);
  release = true;
  ASSERT_TRUE(client.waitDone());
  EXPECT_TRUE(client.done()[0].ok);
  EXPECT_EQ(client.done()[0].path, downloads / "album" / "2024" / "got.bin");
  EXPECT_EQ(readFile(downloads / "album" / "2024" / "got.bin"), plain);
  // A fetch that breaks off makes no folder.
  client.send("lanGet", {{"id", "b"}, {"url", cut.url(lanId('2'))}, {"key", kKeyHex}, {"name", "got.bin"},
                         {"size", plain.size()}, {"dir", "other"}});
  ASSERT_TRUE(client.waitDone(2));
  EXPECT_FALSE(client.done()[1].ok);
  EXPECT_FALSE(std::filesystem::exists(downloads / "other"));
}
