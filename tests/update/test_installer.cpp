// Getting the installer: reuse by hash, verified downloads, the request's encoding, and the
// hand-off on "updateNow".
#include <gtest/gtest.h>

#include <fstream>

#include "UpdateRig.h"
#include "lan/Socket.h"
#include "support/PlatformFacts.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateReady.h"

namespace fs = std::filesystem;

namespace {

const std::string kInstaller = "#!/bin/sh\necho 'new shell'\n";

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(UpdateInstaller, DownloadedOnceThenFoundByItsHashAlsoAfterARestart) {
  SKIP_UNLESS_TEST_KEY();
  TempDir data("update");
  {
    UpdateRig rig(data.path());
    rig.serveManifest(offer("1.4.0", "setup.run", kInstaller));
    rig.serveInstaller("setup.run", kInstaller);
    rig.check(false);
    rig.check(false);  // the two-hourly check
    EXPECT_EQ(rig.downloads("setup.run"), 1u);
    EXPECT_EQ(rig.updateScripts(), std::vector<std::string>(2, readyScript("1.4.0")));
    EXPECT_EQ(rig.h.app->updatePath, rig.installer("1.4.0"));
    EXPECT_TRUE(privateToOwner(rig.installer("1.4.0"), true));
    EXPECT_EQ(filesUnder(data.path()), std::vector<fs::path>{rig.installer("1.4.0")});
  }
  UpdateRig restarted(data.path());
  restarted.serveManifest(offer("1.4.0", "setup.run", kInstaller));
  restarted.check(false);  // the first check after start; the server offers no download now
  EXPECT_EQ(restarted.updateScripts(), std::vector<std::string>{readyScript("1.4.0")});
  EXPECT_EQ(restarted.downloads("setup.run"), 0u);
}

TEST(UpdateInstaller, AStaleFileIsReplacedOnlyByAVerifiedDownload) {
  SKIP_UNLESS_TEST_KEY();
  TempDir data("update");
  UpdateRig rig(data.path());
  writeFile(rig.installer("1.4.0"), "old bytes");
  rig.serveManifest(offer("1.4.0", "setup.run", kInstaller));
  rig.serveInstaller("setup.run", kInstaller + "tampered");
  rig.check(true);
  EXPECT_EQ(rig.updateScripts(), std::vector<std::string>{kFail});
  EXPECT_EQ(filesUnder(data.path()), std::vector<fs::path>{rig.installer("1.4.0")});
  EXPECT_EQ(sha256FileHex(rig.installer("1.4.0")), sha256Hex("old bytes"));

  rig.serveInstaller("setup.run", kInstaller);
  rig.check(true);
  EXPECT_EQ(rig.updateScripts().back(), readyScript("1.4.0"));
  EXPECT_EQ(sha256FileHex(rig.installer("1.4.0")), sha256Hex(kInstaller));
}

TEST(UpdateInstaller, BadDownloadsNeverBecomeReadyAndLeaveNoPartFile) {
  SKIP_UNLESS_TEST_KEY();
  struct Row {
    const char* what;
    std::string body;
    std::ptrdiff_t stallAfter;
    std::int64_t announcedSizeChange = 0;  // the right bytes and hash under a wrong size
  };
  const std::vector<Row> rows = {
      {"wrong hash", std::string(kInstaller.size(), 'x'), -1},
      {"size + 1", kInstaller + "!", -1},
      {"far longer", kInstaller + std::string(200000, '!'), -1},
      {"shorter", kInstaller.substr(1), -1},
      {"truncated", kInstaller, 5},
      {"announced one byte short", kInstaller, -1, -1},
      {"announced one byte long", kInstaller, -1, 1},
  };
  for (const auto& row : rows) {
    TempDir data("update");
    UpdateRig rig(data.path());
    auto announced = offer("1.4.0", "setup.run", kInstaller);
    announced.size = static_cast<std::uint64_t>(static_cast<std::int64_t>(announced.size) + row.announcedSizeChange);
    announced.sig = signWithTestKey(announced);
    rig.serveManifest(announced);
    DeskServer::Route route;
    route.body = row.body;
    route.stallAfter = row.stallAfter;
    route.stallMs = 200;
    rig.server.setRoute("/download/setup.run", route);
    rig.check(true);
    EXPECT_EQ(rig.updateScripts(), std::vector<std::string>{kFail}) << row.what;
    EXPECT_TRUE(rig.h.app->updatePath.empty()) << row.what;
    EXPECT_TRUE(filesUnder(data.path()).empty()) << row.what;
  }
}

// A listener that records the first request line it gets and answers 404: the raw bytes on
// the wire, before any server library decodes them.
class RequestLineCatcher {
 public:
  RequestLineCatcher() : listener_(Socket::listenLocal(1, port_)) {
    thread_ = std::thread([this] {
      bool stopped = false;
      Socket c = listener_.accept(stopped);
      if (!c.valid()) return;
      c.setReceiveTimeout(10000);
      std::string got;
      char buf[1024];
      while (got.find("\r\n") == std::string::npos) {
        const long n = c.receive(buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
      }
      line_ = got.substr(0, got.find("\r\n"));
      c.sendAll("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    });
  }
  ~RequestLineCatcher() {
    listener_.shutdownBoth();
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }
  std::string line() {
    if (thread_.joinable()) thread_.join();
    return line_;
  }

 private:
  std::uint16_t port_ = 0;
  Socket listener_;
  std::thread thread_;
  std::string line_;
};

TEST(UpdateInstaller, FileNameIsRequestedPercentEncoded) {
  RequestLineCatcher catcher;
  ASSERT_NE(catcher.port(), 0);
  TempDir data("update");
  const UpdateSource source{toWide("http://127.0.0.1:" + std::to_string(catcher.port())), data.path()};
  EXPECT_FALSE(obtainInstaller(source, "1.4.0", "My Setup+%\xC3\xA9~_-.run", 10, std::string(64, 'a')));
  EXPECT_EQ(catcher.line(), "GET /download/My%20Setup%2B%25%C3%A9~_-.run HTTP/1.1");
  EXPECT_TRUE(filesUnder(data.path()).empty());
}

struct HandOff : ::testing::Test {
  TempDir data{"update"};
  UpdateRig rig{data.path()};

  void makeReady() {
    writeFile(rig.installer("1.4.0"), kInstaller);
    auto ready = std::make_unique<UpdateReady>();
    ready->path = rig.installer("1.4.0");
    ready->version = "1.4.0";
    rig.h.app->updateReady(std::move(ready));
    rig.h.desk.pump(*rig.h.app);
  }
  void updateNow() { rig.h.fromPage(R"({"t":"updateNow"})"); }
};

TEST_F(HandOff, NothingHappensBeforeReadyOrAfterTheFileWasDeleted) {
  updateNow();
  EXPECT_TRUE(rig.h.desk.detachedStarts.empty());
  makeReady();
  fs::remove(rig.installer("1.4.0"));
  updateNow();
  EXPECT_TRUE(rig.h.desk.detachedStarts.empty());
  EXPECT_TRUE(rig.h.desk.windowAlive);
}

TEST_F(HandOff, StartedInstallerClosesTheShellAtOnce) {
  makeReady();
  EXPECT_EQ(rig.updateScripts(), std::vector<std::string>{readyScript("1.4.0")});
  updateNow();
  ASSERT_EQ(rig.h.desk.detachedStarts.size(), 1u);
  EXPECT_EQ(rig.h.desk.detachedStarts[0].program, rig.installer("1.4.0"));
  EXPECT_EQ(rig.h.desk.detachedStarts[0].args, (std::vector<WString>{toWide("/S"), toWide("/UPDATE")}));
  EXPECT_FALSE(rig.h.desk.windowAlive);
  EXPECT_TRUE(rig.h.app->closing.load());
}

TEST_F(HandOff, InstallerThatCannotStartLeavesTheShellReady) {
  makeReady();
  rig.h.desk.startDetachedOk = false;
  updateNow();
  EXPECT_EQ(rig.h.desk.detachedStarts.size(), 1u);
  EXPECT_TRUE(rig.h.desk.windowAlive);
  EXPECT_EQ(rig.h.app->updatePath, rig.installer("1.4.0"));
}

}  // namespace
