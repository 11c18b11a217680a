#pragma once
// Two shells in one process for the LAN tests, a scripted raw peer, and record builders.
// Everything listens on the namespace's addresses (10.213.0.0/24) that tests/netns-run sets up.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/App.h"
#include "common/records.h"
#include "common/sha256.h"
#include "files/FileJob.h"
#include "lan/Socket.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

inline constexpr const char* kPeerHost = "10.213.0.1";
inline constexpr const char* kKeyHex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

struct DoneRecord {
  std::string id;
  bool ok = false;
  bool resume = false;
  std::filesystem::path path;
};

struct Shell {
  Shell();
  ~Shell();
  FakeDesktop desktop;
  FakeWebHost web;
  std::unique_ptr<App> app;

  void send(const std::string& type, Json message);
  // Pumps posted messages until `ready` holds or 20 s pass; false on time-out.
  bool pumpUntil(const std::function<bool()>& ready);
  std::vector<std::string> scripts() const;  // run so far, as UTF-8
  std::vector<std::string> scriptsStartingWith(const std::string& prefix) const;
  bool ran(const std::string& script) const;
  // The deskFileDone reports so far, and waiting for them.
  std::vector<DoneRecord> done() const;
  bool waitDone(std::size_t count = 1);
  std::filesystem::path partFile(const std::string& lid) const;
};

std::string randomBytes(std::size_t size);
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string base64Encode(const std::string& bytes);
// Records k.. of `plain` sealed under kKeyHex, as a serving peer sends them.
std::vector<std::string> sealRecords(const std::string& plain, std::uint64_t from = 0);
std::string joined(const std::vector<std::string>& records);
std::string lanId(char fill);  // 32 times the character
std::string urlOf(std::uint16_t port, const std::string& id);  // a peer address in the namespace

// The page's side of an offer and a fetch.
Json readyPayload(Shell& shell);  // the JSON argument of the last deskLanReady
std::uint16_t offerNative(Shell& shell, const std::string& id, const std::filesystem::path& file,
                          std::uint64_t size, const std::string& key = kKeyHex);
void get(Shell& shell, const std::string& url, std::uint64_t size, const std::string& pageId = "d1");
// The page's side of a sink: "lanSink" (the port it answers) and "lanSinkGet".
std::uint16_t sinkPort(Shell& shell, const std::string& lid);
void sinkGet(Shell& shell, const std::string& lid, std::uint64_t size, const std::string& pageId = "d1");

// A raw peer: accepts connections one after the other and answers each with `answer`.
class FakePeer {
 public:
  using Answer = std::function<void(Socket& socket, const std::string& head)>;
  explicit FakePeer(Answer answer);
  ~FakePeer();
  std::string url(const std::string& id) const;
  std::vector<std::string> heads();
  std::uint16_t port = 0;

 private:
  Answer answer_;
  Socket listener_;
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::string> heads_;
};

// An answer that sends the stream head and the first record of `plain`, waits until `release`
// is set (20 s at most), then sends the rest.
FakePeer::Answer stallingAnswer(const std::string& plain, const std::atomic<bool>& release);

// One raw exchange with a server: sends `request`, reads until the server closes.
std::string rawExchange(std::uint16_t port, const std::string& request);
