// desk-lan: serves one file as a native LAN offer, or fetches one, with the same server,
// fetch, records and saving rules as the shell.
//
//   desk-lan offer FILE --id ID --key KEY
//   desk-lan get URL --key KEY --size N --name NAME [--dir DIR]
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/crypto.h"
#include "files/FileJob.h"
#include "lan/LanAddresses.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanReceive.h"
#include "lan/LanServer.h"
#include "lan/TransferSocketTable.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onSignal(int) { interrupted = true; }

int usage() {
  std::fprintf(stderr,
               "usage: desk-lan offer FILE --id ID --key KEY\n"
               "       desk-lan get URL --key KEY --size N --name NAME [--dir DIR]\n");
  return 2;
}

// "--name value" pairs after the positional argument; false on anything else.
bool readOptions(int argc, char** argv, std::map<std::string, std::string>& options) {
  for (int i = 3; i < argc; i += 2) {
    const std::string key = argv[i];
    if (key.rfind("--", 0) != 0 || i + 1 >= argc) return false;
    options[key.substr(2)] = argv[i + 1];
  }
  return true;
}

std::uint64_t nowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// The server's page callbacks, told on the terminal instead.
void reportScript(const WString& script) {
  const std::string s = toNarrow(script);
  const auto number = [&](const char* after) {
    const auto at = s.find(after);
    return at == std::string::npos ? std::string() : s.substr(at + std::string(after).size(),
                                                             s.size() - at - std::string(after).size() - 1);
  };
  if (s.find("'start', ") != std::string::npos) {
    std::fprintf(stderr, "serving from byte %s\n", number("'start', ").c_str());
  } else if (s.find("'progress', ") != std::string::npos) {
    std::fprintf(stderr, "\rsent %s bytes   ", number("'progress', ").c_str());
  } else if (s.find("'done', ") != std::string::npos) {
    std::fprintf(stderr, "\nsent the whole file (%s bytes)\n", number("'done', ").c_str());
  } else if (s.find("deskLanAbort") != std::string::npos) {
    std::fprintf(stderr, "\ntransfer broken off\n");
  }
}

int offer(const std::filesystem::path& file, const std::string& id, const std::string& key) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || !std::filesystem::is_regular_file(file, ec) || size == 0) {
    std::fprintf(stderr, "desk-lan: %s is not a readable, non-empty file\n", file.string().c_str());
    return 1;
  }
  if (!isLanId(id)) {
    std::fprintf(stderr, "desk-lan: the id must be 32 lower-case hexadecimal digits\n");
    return 1;
  }
  if (key.size() != 64 || !openGcmKey(key)) {
    std::fprintf(stderr, "desk-lan: the key must be 64 hexadecimal digits\n");
    return 1;
  }
  LanServer server;
  server.installPostScript(reportScript);
  const std::uint64_t encrypted = lanEncryptedSize(size);
  server.addOffer(id, encrypted);
  server.addNativeOffer({id, std::filesystem::absolute(file, ec), key, size});
  const std::uint16_t port = server.ensureStarted();
  if (port == 0) {
    std::fprintf(stderr, "desk-lan: cannot listen\n");
    return 1;
  }
  std::printf("port %u\n", static_cast<unsigned>(port));
  std::printf("size %llu\n", static_cast<unsigned long long>(encrypted));
  std::printf("plain %llu\n", static_cast<unsigned long long>(size));
  for (const auto& a : localLanAddresses()) {
    std::printf("address %s  url http://%s:%u/%s\n", a.c_str(), a.c_str(), static_cast<unsigned>(port), id.c_str());
  }
  std::fflush(stdout);
  while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.stop();
  return 0;
}

int get(const std::string& url, const std::string& key, const std::string& sizeText,
        const std::string& name, const std::filesystem::path& dir) {
  if (!isPeerUrl(url)) {
    std::fprintf(stderr, "desk-lan: %s is not a peer address (http://PRIVATE-IPV4:PORT/ID)\n", url.c_str());
    return 1;
  }
  char* end = nullptr;
  const unsigned long long size = std::strtoull(sizeText.c_str(), &end, 10);
  if (sizeText.empty() || *end != '\0' || size == 0) {
    std::fprintf(stderr, "desk-lan: --size must be the file's size in bytes\n");
    return 1;
  }
  if (key.size() != 64 || !openGcmKey(key)) {
    std::fprintf(stderr, "desk-lan: the key must be 64 hexadecimal digits\n");
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string lid = url.substr(url.rfind('/') + 1);
  // The part file lies beside the destination, so running the same command again resumes.
  const auto part = dir / ("lan-" + lid + ".part");
  LanFrames frames(key, part, size);
  if (!frames.ready) {
    std::fprintf(stderr, "desk-lan: cannot set up %s\n", part.string().c_str());
    return 1;
  }
  frames.adoptClaim(PartFileClaim::take(transferSockets(), part));
  if (frames.received > 0 && frames.received < frames.total) {
    std::fprintf(stderr, "resuming after %llu bytes\n", static_cast<unsigned long long>(frames.received));
  }
  // Ctrl-C ends the fetch through its stop handle (the signal handler only sets a flag).
  FetchStop stop;
  std::mutex doneLock;
  std::condition_variable doneSignal;
  bool finished = false;
  std::thread watcher([&] {
    std::unique_lock guard(doneLock);
    while (!finished) {
      if (interrupted) {
        stop.stop();
        return;
      }
      doneSignal.wait_for(guard, std::chrono::milliseconds(50));
    }
  });
  const std::uint64_t started = nowMs();
  std::uint64_t last = 0;
  const LanProgress progress = [&](std::uint64_t done) {
    const std::uint64_t t = nowMs();
    if (last != 0 && t - last < kLanProgressIntervalMs) return;
    last = t;
    const double seconds = static_cast<double>(t - started + 1) / 1000.0;
    std::fprintf(stderr, "\r%3llu%%  %llu / %llu bytes  %.1f MiB/s   ",
                 static_cast<unsigned long long>(done * 100 / size), static_cast<unsigned long long>(done),
                 size, static_cast<double>(done) / seconds / 1048576.0);
  };
  const int status = fetchPeer(url, frames, progress, &stop);
  {
    std::lock_guard guard(doneLock);
    finished = true;
  }
  doneSignal.notify_all();
  watcher.join();
  FileJob job;
  settleLanTransfer(job, name, frames, status, {dir, dir}, std::string());
  const double seconds = static_cast<double>(nowMs() - started) / 1000.0;
  std::fprintf(stderr, "\n");
  if (job.ok) {
    std::fprintf(stderr, "received %llu bytes in %.2f s (%.1f MiB/s)\n", size, seconds,
                 static_cast<double>(size) / (seconds > 0 ? seconds : 1e-3) / 1048576.0);
    std::printf("%s\n", job.path.string().c_str());
    return 0;
  }
  std::fprintf(stderr, "desk-lan: the transfer failed (result %d)%s\n", status,
               job.resume ? "; run the same command again to resume" : "");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  if (argc < 3) return usage();
  const std::string command = argv[1];
  std::map<std::string, std::string> options;
  if (!readOptions(argc, argv, options)) return usage();
  const auto option = [&](const char* name) {
    const auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  };
  if (command == "offer") {
    if (option("id").empty() || option("key").empty()) return usage();
    return offer(argv[2], option("id"), option("key"));
  }
  if (command == "get") {
    if (option("key").empty() || option("size").empty() || option("name").empty()) return usage();
    const std::string dir = option("dir").empty() ? "." : option("dir");
    return get(argv[2], option("key"), option("size"), option("name"), dir);
  }
  return usage();
}
