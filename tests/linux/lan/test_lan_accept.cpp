// The server keeps accepting when the process runs out of descriptors, and serves again once
// some are given back.
#include <gtest/gtest.h>

#include "LanPeers.h"
#include "LinuxLan.h"
#include "lan/LanProtocol.h"
#include "support/TempDir.h"

TEST(LanAccept, GoesOnAfterTheDescriptorsRanOut) {
  TempDir dir("accept");
  writeFile(dir / "offer.bin", randomBytes(1000));
  const std::string id = lanId('a');
  ChildProcess offer;
  // Room for a handful of connections only.
  ASSERT_TRUE(startDeskLan(offer, {"offer", (dir / "offer.bin").string(), "--id", id, "--key", kKeyHex},
                           dir / "offer.log", 12));
  const std::string port = printedValue(dir / "offer.log", "port");
  ASSERT_FALSE(port.empty());
  const auto address = *parseIPv4(kPeerHost);
  std::vector<Socket> idle;
  for (int i = 0; i < 16; ++i) idle.push_back(Socket::connect(address, std::stoi(port), 500));
  // Let the server meet the limit, then give everything back.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  idle.clear();
  EXPECT_EQ(rawExchange(static_cast<std::uint16_t>(std::stoi(port)), "GET /" + id + "/ping HTTP/1.1\r\n\r\n"),
            std::string(kLanAnswerOk));
  EXPECT_TRUE(offer.running());
}
