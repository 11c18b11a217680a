// LAN receptions against a disk that says no, and the mark on what arrives. Every case mounts
// what it needs in the program's private mount namespace.
#include <gtest/gtest.h>

#include <atomic>

#include "LanPeers.h"
#include "LinuxLan.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"

namespace {

constexpr std::uint64_t MiB = 1048576;

// Offers `plain` from `sender` and moves it into `receiver` by a fetch or by a push.
void transfer(Shell& sender, Shell& receiver, const std::string& lid, const std::string& plain, bool push,
              std::uint64_t from = 0) {
  const auto file = sender.desktop.temp() / "offer.bin";
  writeFile(file, plain);
  const std::uint16_t port = offerNative(sender, lid, file, plain.size());
  if (!push) {
    get(receiver, urlOf(port, lid), plain.size());
    return;
  }
  const std::uint16_t sink = sinkPort(receiver, lid);
  sinkGet(receiver, lid, plain.size());
  sender.send("lanPush", {{"id", lid}, {"url", urlOf(sink, lid)}, {"from", from}});
}

}  // namespace

TEST(LanDisk, AFullDiskFailsTheTransferAndKeepsWholeRecords) {
  // One whole record and 100 bytes on a 1 MiB file system: the record fits, the tail does not.
  const std::string plain = randomBytes(1048676);
  for (const bool push : {false, true}) {
    SCOPED_TRACE(push ? "push" : "fetch");
    Shell sender, receiver;
    const std::string lid = lanId(push ? '2' : '1');
    Mounted small = Mounted::tmpfs(receiver.desktop.partFolder, "1m");
    ASSERT_TRUE(small.ok());
    transfer(sender, receiver, lid, plain, push);
    ASSERT_TRUE(receiver.waitDone());
    EXPECT_FALSE(receiver.done()[0].ok);
    EXPECT_TRUE(receiver.done()[0].resume);
    EXPECT_TRUE(std::filesystem::is_empty(*receiver.desktop.downloads));
    EXPECT_EQ(std::filesystem::file_size(receiver.partFile(lid)), MiB);
    // With room again, the next transfer resumes after the whole record.
    ASSERT_TRUE(small.remount("size=4m"));
    transfer(sender, receiver, lid, plain, push, 1);
    ASSERT_TRUE(receiver.waitDone(2));
    EXPECT_TRUE(receiver.done()[1].ok);
    EXPECT_EQ(readFile(receiver.done()[1].path), plain);
  }
}

TEST(LanDisk, AMoveThatCannotRemoveItsSourceIsReportedAsFailed) {
  const std::string lid = lanId('3');
  const std::string plain = randomBytes(2 * MiB);
  std::atomic<bool> release{false};
  FakePeer peer(stallingAnswer(plain, release));
  Shell receiver;
  get(receiver, peer.url(lid), plain.size());
  ASSERT_TRUE(receiver.pumpUntil([&] { return std::filesystem::exists(receiver.partFile(lid)) &&
                                              std::filesystem::file_size(receiver.partFile(lid)) == MiB; }));
  // The open part file stays writable; its name can no longer be removed, and the move to the
  // Downloads folder becomes a copy across mounts.
  Mounted frozen = Mounted::readOnlyBind(receiver.desktop.partFolder);
  ASSERT_TRUE(frozen.ok());
  release = true;
  ASSERT_TRUE(receiver.waitDone());
  EXPECT_FALSE(receiver.done()[0].ok);
  EXPECT_FALSE(receiver.done()[0].resume);
  EXPECT_EQ(readFile(receiver.done()[0].path), plain);  // the copy is there, as reported
  EXPECT_TRUE(std::filesystem::exists(receiver.partFile(lid)));
}

TEST(LanDisk, SavesAreMarkedWithThePeersAddress) {
  const std::string plain = randomBytes(MiB + 1);
  for (const bool push : {false, true}) {
    Shell sender, receiver;
    const std::string lid = lanId(push ? '5' : '4');
    transfer(sender, receiver, lid, plain, push);
    ASSERT_TRUE(receiver.waitDone());
    ASSERT_TRUE(receiver.done()[0].ok);
    const auto origin = originOf(receiver.done()[0].path);
    ASSERT_TRUE(origin);
    if (push) {
      EXPECT_EQ(*origin, std::string("http://") + kPeerHost + "/" + lid);
    } else {
      EXPECT_EQ(*origin, urlOf(sender.app->lan->port(), lid));
    }
  }
}
