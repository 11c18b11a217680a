// Two real shells, each with its own home, page and desk server, move files between each other
// by fetch and by push, both ways, and resume a push after the receiving shell was killed; and a
// shell whose worker is held by a peer still ends when its window closes.
#include <signal.h>

#include <fstream>
#include <sstream>

#include "LanPeers.h"
#include "ShellHarness.h"
#include "support/TricklingPeer.h"

namespace {

constexpr std::uint64_t MiB = 1048576;

std::string send(const Json& message) { return "deskSend(" + jsonDump(message) + "); 'sent'"; }

// The callbacks a page received about a transfer (named by its transfer id or by the page's
// own id), in order, as "name(argument)"; repeated progress and acks count once.
std::vector<std::string> sequence(const ShellHarness& h, const std::string& lid, const std::string& pageId = {}) {
  std::vector<std::string> out;
  for (const auto& args : h.records("cb")) {
    const Json& data = args["data"];
    const std::string name = data.value("name", ""), text = jsonDump(data["args"]);
    if (text.find(lid) == std::string::npos && (pageId.empty() || text.find(pageId) == std::string::npos)) continue;
    std::string entry = name;
    if (name == "deskLanPull" || name == "deskLanSinkWait") entry += "(" + jsonDump(data["args"][1]) + ")";
    if (name == "deskFileDone") entry += data["args"][0].value("ok", false) ? "(ok)" : "(failed)";
    if (out.empty() || out.back() != entry) out.push_back(entry);
  }
  return out;
}

// The port of the latest ready callback for the id, and the outcome of a page's download.
std::uint16_t readyPort(const ShellHarness& h, const char* callback, const std::string& id) {
  std::uint16_t port = 0;
  for (const auto& args : h.callbacks(callback)) {
    if (args.size() == 2 && args[0] == id) port = args[1].value("port", std::uint16_t{0});
  }
  return port;
}
std::optional<Json> fileDone(const ShellHarness& h, const std::string& pageId) {
  for (const auto& args : h.callbacks("deskFileDone")) {
    if (!args.empty() && args[0].value("id", "") == pageId) return args[0];
  }
  return std::nullopt;
}

class TwoShells : public X11DesktopTest {
 protected:
  void SetUp() override {
    X11DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    other = std::make_unique<ShellHarness>(session()->environment());
    ASSERT_TRUE(harness->startShell() && other->start(otherShell));
    ASSERT_TRUE(install(*harness) && install(*other));
  }
  // The page's LAN helpers (offers fed from its own server's files, sealed with WebCrypto).
  static bool install(ShellHarness& h) {
    std::stringstream script;
    script << std::ifstream(std::string(DESK_SOURCE_DIR) + "/tests/linux/lan/lan_page.js").rdbuf();
    const auto r = h.command(script.str());
    return r && r->value("result", "") == "installed";
  }
  static std::uint16_t offer(ShellHarness& h, const std::string& id, const std::string& bytes, int limit = -1) {
    h.server().setRoute("/files/" + id, 200, bytes);
    h.command("lanTest.offer('" + id + "', '" + kKeyHex + "', '/files/" + id + "'" +
              (limit >= 0 ? ", " + std::to_string(limit) : std::string()) + "); 'asked'");
    waitUntil([&] { return readyPort(h, "deskLanReady", id) != 0; }, 10000);
    return readyPort(h, "deskLanReady", id);
  }
  static std::uint16_t sink(ShellHarness& h, const std::string& lid, const std::string& pageId, std::uint64_t size) {
    const std::size_t before = h.callbacks("deskLanSinkReady").size();
    h.command(send({{"t", "lanSink"}, {"id", lid}}));
    h.command(send({{"t", "lanSinkGet"}, {"lid", lid}, {"id", pageId}, {"key", kKeyHex}, {"name", pageId + ".bin"},
                    {"size", size}, {"dir", "lan"}}));
    waitUntil([&] { return h.callbacks("deskLanSinkReady").size() > before; }, 10000);
    return readyPort(h, "deskLanSinkReady", lid);
  }
  static void expectSaved(ShellHarness& h, const std::string& pageId, const std::string& bytes) {
    ASSERT_TRUE(waitUntil([&] { return fileDone(h, pageId).has_value(); }, 60000)) << pageId;
    const Json done = *fileDone(h, pageId);
    EXPECT_EQ(done.value("path", ""), (h.home().path() / "Downloads" / "lan" / (pageId + ".bin")).string());
    EXPECT_EQ(sha256Hex(readFile(done.value("path", ""))), sha256Hex(bytes)) << pageId;
  }
  static std::string url(const char* host, std::uint16_t port, const std::string& lid) {
    return std::string("http://") + host + ":" + std::to_string(port) + "/" + lid;
  }

  std::unique_ptr<ShellHarness> other;
  ChildProcess otherShell;
};

}  // namespace

TEST_F(TwoShells, MoveFilesBothWaysAndResumeAPushAfterAKill) {
  ShellHarness* shells[2] = {harness.get(), other.get()};
  const char* hosts[2] = {"10.213.0.1", "10.213.0.2"};  // where the other shell reaches each
  const struct { int from; bool push; std::string pageId; std::size_t size; } moves[] = {
      {0, false, "fetchAB", 3 * MiB + 5}, {1, false, "fetchBA", 2 * MiB + 1},
      {0, true, "pushAB", MiB + 3}, {1, true, "pushBA", 2 * MiB}};
  char fill = '1';
  for (const auto& m : moves) {
    SCOPED_TRACE(m.pageId);
    ShellHarness& sender = *shells[m.from];
    ShellHarness& receiver = *shells[1 - m.from];
    const std::string lid = lanId(fill++), bytes = randomBytes(m.size);
    const std::uint16_t offered = offer(sender, lid, bytes);
    if (m.push) {
      const std::uint16_t port = sink(receiver, lid, m.pageId, bytes.size());
      sender.command(send({{"t", "lanPush"}, {"id", lid}, {"url", url(hosts[1 - m.from], port, lid)}, {"from", 0}}));
    } else {
      receiver.command(send({{"t", "lanGet"}, {"id", m.pageId}, {"url", url(hosts[m.from], offered, lid)},
                             {"key", kKeyHex}, {"name", m.pageId + ".bin"}, {"size", bytes.size()}, {"dir", "lan"}}));
    }
    expectSaved(receiver, m.pageId, bytes);
    EXPECT_EQ(sequence(sender, lid), (std::vector<std::string>{"deskLanReady", "deskLanPull(0)", "deskLanAck"}));
    std::vector<std::string> received{"deskLanProgress", "deskFileDone(ok)"};
    if (m.push) received.insert(received.begin(), {"deskLanSinkReady", "deskLanSinkWait(0)"});
    EXPECT_EQ(sequence(receiver, lid, m.pageId), received);
  }

  // A push that the receiving shell does not live to finish: killed after two records, started
  // again, it asks for the rest from there.
  ShellHarness& a = *harness;
  ShellHarness& b = *other;
  const std::string lid = lanId('5'), bytes = randomBytes(5 * MiB + 7);
  offer(a, lid, bytes, 2);
  a.command(send({{"t", "lanPush"}, {"id", lid}, {"url", url(hosts[1], sink(b, lid, "resumed", bytes.size()), lid)}, {"from", 0}}));
  const auto part = b.home().path() / "cache" / "TamselDeskNative" / "parts" / ("lan-" + lid + ".part");
  ASSERT_TRUE(waitUntil([&] {
    std::error_code ec;
    return std::filesystem::file_size(part, ec) == 2 * MiB && sequence(b, lid, "resumed").back() == "deskLanProgress";
  }, 30000));
  ::kill(-otherShell.pid(), SIGKILL);
  otherShell.wait(5000);
  ASSERT_TRUE(b.start(otherShell) && install(b));
  const std::uint16_t port = sink(b, lid, "resumed", bytes.size());
  a.command("lanTest.release('" + lid + "'); 'released'");
  a.command(send({{"t", "lanPush"}, {"id", lid}, {"url", url(hosts[1], port, lid)}, {"from", 2}}));
  expectSaved(b, "resumed", bytes);
  EXPECT_EQ(sequence(a, lid),
            (std::vector<std::string>{"deskLanReady", "deskLanPull(0)", "deskLanAck", "deskLanPull(2)", "deskLanAck"}));
  EXPECT_EQ(sequence(b, lid, "resumed"),
            (std::vector<std::string>{"deskLanSinkReady", "deskLanSinkWait(0)", "deskLanProgress", "deskLanSinkReady",
                                      "deskLanSinkWait(2)", "deskLanProgress", "deskFileDone(ok)"}));
}

// The window is closed while a probe is held by a peer that answers for minutes: the process
// ends at once all the same, so an installer waiting to replace its files is not kept waiting.
TEST_F(X11DesktopTest, EndsSoonAfterItsWindowWhileAPeerHoldsAProbe) {
  TricklingPeer peer("10.213.0.2");
  ASSERT_NE(peer.port(), 0);
  ASSERT_TRUE(harness->startShell());
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);
  const std::string url = "http://10.213.0.2:" + std::to_string(peer.port()) + "/" + lanId('7');
  harness->command(send({{"t", "lanProbe"}, {"id", lanId('7')}, {"urls", Json::array({url})}}));
  ASSERT_TRUE(waitUntil([&] { return peer.accepted(); }, 10000)) << "the probe never reached the peer";
  const auto closed = std::chrono::steady_clock::now();
  probe->close(*window);
  const auto code = harness->shell().wait(5000);
  ASSERT_TRUE(code) << "the shell still runs 5 s after its window was closed";
  EXPECT_EQ(*code, 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closed);
  RecordProperty("ended_after_ms", static_cast<int>(took.count()));
}
