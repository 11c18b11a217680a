// LAN receptions against a disk that says no or a fetcher that is killed, and the mark on what
// arrives. Every case mounts what it needs in the program's private mount namespace.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <random>

#include "LanPeers.h"
#include "LinuxLan.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"
#include "support/TempDir.h"

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

TEST(LanDisk, AReadOnlyFolderFailsClearlyAndPresentsNothing) {
  const std::string plain = randomBytes(2 * MiB + 9);
  for (const bool parts : {true, false}) {
    SCOPED_TRACE(parts ? "part folder" : "Downloads folder");
    FakePeer peer([&](Socket& s, const std::string&) {
      const std::string body = joined(sealRecords(plain));
      s.sendAll(lanStreamHead(body.size()) + body);
    });
    Shell receiver;
    const std::string lid = lanId(parts ? '6' : '7');
    std::optional<Mounted> frozen =
        Mounted::readOnlyBind(parts ? receiver.desktop.partFolder : *receiver.desktop.downloads);
    ASSERT_TRUE(frozen->ok());
    get(receiver, peer.url(lid), plain.size());
    ASSERT_TRUE(receiver.waitDone());
    EXPECT_FALSE(receiver.done()[0].ok);
    EXPECT_FALSE(receiver.done()[0].resume);
    EXPECT_TRUE(std::filesystem::is_empty(*receiver.desktop.downloads));
    if (parts) {
      // Nothing can be kept, so nothing is asked of the peer.
      EXPECT_TRUE(peer.heads().empty());
      continue;
    }
    // The whole file waits in its part file; once the folder takes files, it is put in place
    // without another transfer.
    EXPECT_EQ(readFile(receiver.partFile(lid)), plain);
    frozen.reset();
    get(receiver, peer.url(lid), plain.size());
    ASSERT_TRUE(receiver.waitDone(2));
    EXPECT_TRUE(receiver.done()[1].ok);
    EXPECT_EQ(readFile(receiver.done()[1].path), plain);
    EXPECT_EQ(peer.heads().size(), 1u);
  }
}

TEST(LanDisk, AFetchKilledAtRandomPointsEndsWhole) {
  constexpr std::uint64_t size = 40 * MiB + 12345;
  TempDir dir("killed");
  writeRandomFile(dir / "offer.bin", size, 5);
  const std::string id = lanId('8');
  ChildProcess offer;
  const std::uint16_t port = offerWithDeskLan(offer, dir / "offer.bin", id, dir.path());
  ASSERT_NE(port, 0);
  const auto into = dir / "in";
  const auto part = into / ("lan-" + id + ".part");
  const auto got = into / "got.bin";
  const auto run = [&](ChildProcess& get) {
    return startDeskLan(get, {"get", urlOf(port, id), "--key", kKeyHex,
                              "--size", std::to_string(size), "--name", "got.bin", "--dir", into.string()},
                        dir / "get.log");
  };
  const auto partSize = [&] {
    std::error_code ec;
    const auto n = std::filesystem::file_size(part, ec);
    return ec ? 0 : n;
  };
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int kills = 0; kills < 10;) {
    // Killed once the part file reaches a random size (or at once when it is already there).
    const std::uint64_t at = std::uniform_int_distribution<std::uint64_t>(0, size)(rng);
    ChildProcess get;
    ASSERT_TRUE(run(get));
    while (get.running() && partSize() < at) std::this_thread::yield();
    if (::kill(get.pid(), SIGKILL) == 0 && get.wait(10000) == 128 + SIGKILL) {
      ++kills;
      std::printf("killed with %llu bytes in the part file\n",
                  static_cast<unsigned long long>(partSize()));
      continue;
    }
    // It finished first: the file is whole; the next rounds start over.
    ASSERT_TRUE(sameBytes(dir / "offer.bin", got));
    std::filesystem::remove(got);
  }
  ChildProcess last;
  ASSERT_TRUE(run(last));
  ASSERT_EQ(last.wait(60000), 0);
  EXPECT_TRUE(sameBytes(dir / "offer.bin", got));
  // Nothing else is left in the folder: no part file, no second copy.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(into), std::filesystem::directory_iterator()), 1);
}
