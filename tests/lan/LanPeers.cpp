#include "LanPeers.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "lan/LanProtocol.h"

Shell::Shell() {
  web.webView = true;
  app = std::make_unique<App>(desktop, web);
}

Shell::~Shell() { app.reset(); }

void Shell::send(const std::string& type, Json message) {
  message["type"] = type;
  app->lanMessage(type, message);
}

bool Shell::pumpUntil(const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    desktop.pump(*app);
    if (ready()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::vector<std::string> Shell::scripts() const {
  std::vector<std::string> out;
  for (const auto& s : web.scripts) out.push_back(toNarrow(s));
  return out;
}

std::vector<std::string> Shell::scriptsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (auto& s : scripts()) {
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  }
  return out;
}

bool Shell::ran(const std::string& script) const {
  const auto all = scripts();
  return std::find(all.begin(), all.end(), script) != all.end();
}

std::vector<DoneRecord> Shell::done() const {
  std::vector<DoneRecord> out;
  const std::string prefix = "window.deskFileDone && window.deskFileDone(";
  for (const auto& s : scriptsStartingWith(prefix)) {
    const Json r = parseJson(s.substr(prefix.size(), s.size() - prefix.size() - 1));
    out.push_back({r.value("id", ""), r.value("ok", false), r.value("resume", false),
                   widePath(toWide(r.value("path", "")))});
  }
  return out;
}

bool Shell::waitDone(std::size_t count) {
  return pumpUntil([&] { return done().size() >= count; });
}

std::filesystem::path Shell::partFile(const std::string& lid) const {
  return desktop.partFolder / ("lan-" + lid + ".part");
}

std::string randomBytes(std::size_t size) {
  std::mt19937_64 rng(size);
  std::string out(size, '\0');
  for (auto& c : out) c = static_cast<char>(rng());
  return out;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string base64Encode(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned v = 0;
    for (std::size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) out += k <= n ? alphabet[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

std::vector<std::string> sealRecords(const std::string& plain, std::uint64_t from) {
  auto key = openGcmKey(kKeyHex);
  std::vector<std::string> out;
  for (std::uint64_t i = from; i * kLanRecordPlain < plain.size(); ++i) {
    const auto piece = std::string_view(plain).substr(i * kLanRecordPlain, kLanRecordPlain);
    out.push_back(sealRecord(*key, static_cast<std::uint32_t>(i), piece).value_or(""));
  }
  return out;
}

std::string joined(const std::vector<std::string>& records) {
  std::string out;
  for (const auto& r : records) out += r;
  return out;
}

std::string lanId(char fill) { return std::string(32, fill); }

std::string urlOf(std::uint16_t port, const std::string& id) {
  return std::string("http://") + kPeerHost + ":" + std::to_string(port) + "/" + id;
}

namespace {

Json lastPayload(Shell& shell, const std::string& callback) {
  const auto ready = shell.scriptsStartingWith(callback);
  if (ready.empty()) return Json();
  const std::string& s = ready.back();
  const auto at = s.find("', ");
  return parseJson(s.substr(at + 3, s.size() - at - 4));
}

}  // namespace

Json readyPayload(Shell& shell) { return lastPayload(shell, "window.deskLanReady"); }

std::uint16_t sinkPort(Shell& shell, const std::string& lid) {
  shell.send("lanSink", {{"id", lid}});
  return lastPayload(shell, "window.deskLanSinkReady").value("port", std::uint16_t{0});
}

void sinkGet(Shell& shell, const std::string& lid, std::uint64_t size, const std::string& pageId) {
  shell.send("lanSinkGet", {{"lid", lid}, {"id", pageId}, {"key", kKeyHex}, {"name", "got.bin"}, {"size", size},
                            {"how", "save"}, {"dir", "in"}});
}

std::uint16_t offerNative(Shell& shell, const std::string& id, const std::filesystem::path& file,
                          std::uint64_t size, const std::string& key) {
  shell.send("lanOpen", {{"id", id}, {"size", lanEncryptedSize(size)}, {"key", key},
                         {"_path", file.string()}, {"src", {{"size", size}}}});
  return readyPayload(shell).value("port", std::uint16_t{0});
}

void get(Shell& shell, const std::string& url, std::uint64_t size, const std::string& pageId) {
  shell.send("lanGet", {{"id", pageId}, {"url", url}, {"key", kKeyHex}, {"name", "got.bin"},
                        {"size", size}, {"how", "save"}, {"dir", ""}});
}

FakePeer::FakePeer(Answer answer) : answer_(std::move(answer)) {
  listener_ = Socket::listenAny(8, port);
  thread_ = std::thread([this] {
    for (;;) {
      bool stopped = false;
      Socket s = listener_.accept(stopped);
      if (!s.valid()) {
        if (stopped) return;
        continue;
      }
      s.setReceiveTimeout(10000);
      std::string head;
      char piece[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const long n = s.receive(piece, sizeof piece);
        if (n <= 0) break;
        head.append(piece, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard guard(lock_);
        heads_.push_back(head);
      }
      answer_(s, head);
    }
  });
}

FakePeer::~FakePeer() {
  listener_.shutdownBoth();
  thread_.join();
}

std::string FakePeer::url(const std::string& id) const {
  return std::string("http://") + kPeerHost + ":" + std::to_string(port) + "/" + id;
}

std::vector<std::string> FakePeer::heads() {
  std::lock_guard guard(lock_);
  return heads_;
}

FakePeer::Answer stallingAnswer(const std::string& plain, const std::atomic<bool>& release) {
  return [&plain, &release](Socket& s, const std::string&) {
    const auto records = sealRecords(plain);
    s.sendAll(lanStreamHead(joined(records).size()) + records[0]);
    for (int i = 0; i < 4000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (std::size_t i = 1; i < records.size(); ++i) s.sendAll(records[i]);
  };
}

std::string rawExchange(std::uint16_t port, const std::string& request) {
  Socket s = Socket::connect(*parseIPv4(kPeerHost), port, 5000);
  if (!s.valid()) return "<no connection>";
  s.setReceiveTimeout(20000);
  s.sendAll(request);
  std::string answer;
  char piece[65536];
  for (;;) {
    const long n = s.receive(piece, sizeof piece);
    if (n <= 0) break;
    answer.append(piece, static_cast<std::size_t>(n));
  }
  return answer;
}
