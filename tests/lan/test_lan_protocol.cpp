// Addresses, ids, heads and sizes of the wire protocol.
#include <gtest/gtest.h>

#include <algorithm>

#include "lan/LanAddresses.h"
#include "lan/LanProtocol.h"

TEST(LanProtocol, TransferIds) {
  const struct { std::string text; bool ok; } cases[] = {
      {std::string(32, 'a'), true},  {"0123456789abcdef0123456789abcdef", true},
      {std::string(31, 'a'), false}, {std::string(33, 'a'), false},
      {"A" + std::string(31, 'a'), false}, {"g" + std::string(31, 'a'), false}, {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isLanId(c.text), c.ok) << c.text;
}

TEST(LanProtocol, PrivateHostsParseStrictly) {
  const struct { const char* text; bool ok; } cases[] = {
      {"10.0.0.1", true},       {"192.168.1.20", true},  {"172.16.0.1", true},
      {"172.31.255.255", true}, {"172.15.0.1", false},   {"172.32.0.1", false},
      {"192.169.0.1", false},   {"8.8.8.8", false},      {"10.0.0.256", false},
      // Leading zeros would be octal to the system's resolver: 010.0.0.1 is 8.0.0.1.
      {"010.0.0.1", false},     {"172.016.0.1", false},  {"10.0.0.01", false},
      {"10.0.0.0", true},       {" 10.0.0.1", false},    {"+10.0.0.1", false},
      {"10.0.0.1 ", false},     {"10.0.0", false},       {"10.0.0.1.2", false},
      {"10..0.1", false},       {"1000.0.0.1", false},   {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isPrivateIPv4(c.text), c.ok) << c.text;
}

TEST(LanProtocol, PeerAddressConnectsToTheCheckedFields) {
  const std::string id(32, 'c');
  const auto peer = parsePeerUrl("http://172.20.3.4:49152/" + id);
  ASSERT_TRUE(peer);
  EXPECT_EQ(peer->address, (PeerIpv4{{172, 20, 3, 4}}));
  EXPECT_EQ(peer->host, "172.20.3.4");
  EXPECT_EQ(peer->port, 49152u);
  EXPECT_EQ(peer->id, id);

  const struct { std::string url; bool ok; } cases[] = {
      {"http://10.0.0.1:8/" + id, true},
      {"http://10.0.0.1:99999/" + id, true},  // the check reads digits only; connecting fails
      {"http://010.0.0.1:80/" + id, false},
      {"http://8.8.8.8:80/" + id, false},
      {"http://10.0.0.1:123456/" + id, false},
      {"http://10.0.0.1:/" + id, false},
      {"http://10.0.0.1:8a/" + id, false},
      {"http://10.0.0.1/" + id, false},
      {"http://10.0.0.1:80/" + std::string(32, 'C'), false},
      {"http://10.0.0.1:80/" + id + "/ping", false},
      {"https://10.0.0.1:80/" + id, false},
  };
  for (const auto& c : cases) EXPECT_EQ(isPeerUrl(c.url), c.ok) << c.url;
}

TEST(LanProtocol, SizesAndStreamLengths) {
  EXPECT_EQ(lanEncryptedSize(1), 33u);
  EXPECT_EQ(lanEncryptedSize(1048576), 1048608u);
  EXPECT_EQ(lanEncryptedSize(1048577), 1048641u);
  EXPECT_EQ(lanEncryptedSize(0), 0u);
  EXPECT_EQ(lanStreamLength(1048641, 1), 33u);
  EXPECT_EQ(lanStreamLength(1048641, 2), 0u);
  EXPECT_EQ(lanStreamLength(0, 0), 0u);
  EXPECT_EQ(lanStreamLength(1048641, ~0ull), 0u);  // no wrap-around
}

TEST(LanProtocol, HeadsByteForByte) {
  const std::string id(32, 'e');
  EXPECT_EQ(lanFetchHead(id, 0, "10.0.0.2"),
            "GET /" + id + " HTTP/1.1\r\nHost: 10.0.0.2\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(lanFetchHead(id, 3, "10.0.0.2"),
            "GET /" + id + "?from=3 HTTP/1.1\r\nHost: 10.0.0.2\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(lanPushHead(id, 0, "10.0.0.2", 33),
            "POST /" + id + "?from=0 HTTP/1.1\r\nHost: 10.0.0.2\r\nContent-Type: application/octet-stream"
            "\r\nContent-Length: 33\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(lanStreamHead(33),
            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 33\r\n"
            "Connection: close\r\n\r\n");
}

TEST(LanProtocol, RequestLines) {
  const std::string id(32, 'a');
  const struct { std::string head; LanRequestKind kind; std::uint64_t from; } cases[] = {
      {"GET /" + id + " HTTP/1.1\r\n\r\n", LanRequestKind::Stream, 0},
      {"GET /" + id + "?from=7 HTTP/1.1\r\n\r\n", LanRequestKind::Stream, 7},
      {"GET /" + id + "?from=abc HTTP/1.1\r\n\r\n", LanRequestKind::Stream, 0},
      {"GET /" + id + "?from=-1 HTTP/1.1\r\n\r\n", LanRequestKind::Stream, ~0ull},
      {"GET /" + id + "?from=99999999999999999999999 HTTP/1.1\r\n\r\n", LanRequestKind::Stream, ~0ull},
      {"GET /" + id + "/ping HTTP/1.1\r\n\r\n", LanRequestKind::Ping, 0},
      {"GET /" + id + "?to=1 HTTP/1.1\r\n\r\n", LanRequestKind::NotFound, 0},
      {"GET /" + std::string(32, 'A') + " HTTP/1.1\r\n\r\n", LanRequestKind::NotFound, 0},
      {"GET /" + id, LanRequestKind::Stream, 0},
      {"GET /abc", LanRequestKind::NotFound, 0},
      {"POST /" + id + " ", LanRequestKind::Push, 0},
      {"PUT /" + id + " HTTP/1.1\r\n\r\n", LanRequestKind::NotFound, 0},
  };
  for (const auto& c : cases) {
    const auto r = parseLanRequest(c.head);
    EXPECT_EQ(r.kind, c.kind) << c.head;
    EXPECT_EQ(r.from, c.from) << c.head;
  }
  EXPECT_EQ(lanAnswerStatus("HTTP/1.1 416 Range Not Satisfiable\r\n"), 416);
  EXPECT_EQ(lanAnswerStatus("HTTP/1.1"), 0);
}

TEST(LanProtocol, LocalAddressesArePrivateOrderedAndOnce) {
  EXPECT_EQ(privateAddressesOf({"8.8.8.8", "10.0.0.2", "192.168.1.4", "10.0.0.2", "010.0.0.3"}),
            (std::vector<std::string>{"10.0.0.2", "192.168.1.4"}));
  // The network with the way out first; a host-only switch's address is of no use to a peer.
  EXPECT_EQ(privateAddressesOf(std::vector<LanAdapter>{{{"172.20.0.1"}, false, true},
                                                       {{"10.8.0.5", "8.8.4.4"}, false, false},
                                                       {{"192.168.1.4", "10.8.0.5"}, true, false}}),
            (std::vector<std::string>{"192.168.1.4", "10.8.0.5"}));
  // Inside the test namespace: the veth pair's two addresses, loop-back left out.
  auto local = localLanAddresses();
  std::sort(local.begin(), local.end());
  EXPECT_EQ(local, (std::vector<std::string>{"10.213.0.1", "10.213.0.2"}));
}
