// The commands that run a server until they are done or interrupted: offer (serves a file to
// fetches) and sink (takes one push).
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "DeskLan.h"
#include "files/FileJob.h"
#include "lan/LanAddresses.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanReceive.h"
#include "lan/LanServer.h"
#include "lan/LanSink.h"
#include "lan/PartFileClaim.h"

namespace {

void printAddresses(std::uint16_t port, const std::string& id) {
  std::printf("port %u\n", static_cast<unsigned>(port));
  for (const auto& a : localLanAddresses()) {
    std::printf("address %s  url http://%s:%u/%s\n", a.c_str(), a.c_str(), static_cast<unsigned>(port), id.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int offerCommand(const Arguments& args) {
  const std::filesystem::path file = args.positional[0];
  const std::string id = args.option("id");
  const std::string key = args.option("key");
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || !std::filesystem::is_regular_file(file, ec) || size == 0) {
    std::fprintf(stderr, "desk-lan: %s is not a readable, non-empty file\n", file.string().c_str());
    return 1;
  }
  if (!checkId(id) || !checkKey(key)) return 1;
  LanServer server;
  server.installEvents(terminalEvents());
  const std::uint64_t encrypted = lanEncryptedSize(size);
  server.addOffer(id, encrypted);
  server.addNativeOffer({id, std::filesystem::absolute(file, ec), key, size});
  const std::uint16_t port = server.ensureStarted();
  if (port == 0) {
    std::fprintf(stderr, "desk-lan: cannot listen on a TCP port\n");
    return 1;
  }
  std::printf("plain %llu  (the file's size: give this to get --size or sink --size)\n",
              static_cast<unsigned long long>(size));
  std::printf("size %llu  (the encrypted stream a page announces in lanOpen)\n",
              static_cast<unsigned long long>(encrypted));
  printAddresses(port, id);
  while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.stop();
  return 0;
}

int sinkCommand(const Arguments& args) {
  const std::string id = args.option("id");
  const std::string key = args.option("key");
  const std::string name = args.option("name");
  const std::filesystem::path dir = args.option("dir").empty() ? "." : args.option("dir");
  if (!checkId(id) || !checkKey(key)) return 1;
  const auto size = checkSize(args.option("size"), "--size");
  if (!size) return 1;
  // As long as the shell's sink waits, unless told otherwise; 0 waits for ever.
  const auto waitSeconds = args.option("wait").empty() ? kLanSinkWaitMs / 1000 : checkSize(args.option("wait"), "--wait");
  if (!waitSeconds) return 1;
  if (*size == 0) {
    std::fprintf(stderr, "desk-lan: --size must be the file's size in bytes (an empty file cannot be sent)\n");
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // The part file lies beside the destination, so running the same command again resumes.
  const auto part = dir / ("lan-" + id + ".part");
  auto frames = std::make_shared<LanFrames>(key, part, *size);
  if (!frames->ready) {
    std::fprintf(stderr, "desk-lan: cannot write %s\n", part.string().c_str());
    return 1;
  }
  frames->adoptClaim(PartFileClaim::take(part));
  const LanSaveFolders folders{dir, std::string()};
  FileJob job;
  if (frames->received >= frames->total) {
    settleLanTransfer(job, name, *frames, LanResult::Complete, folders, std::string(), std::string());
    if (!job.ok) return 1;
    std::printf("%s\n", job.path.string().c_str());
    return 0;
  }

  LanServer server;
  server.installEvents(terminalEvents());
  std::mutex lock;
  std::condition_variable ended;
  bool finished = false;
  bool claimed = false;
  LanResult result = LanResult::Incomplete;
  std::string origin;
  std::optional<ProgressLine> progress;  // from the push's start
  const std::uint32_t expected = frames->nextIndex;
  const std::uint64_t stored = frames->received;  // by earlier runs
  server.installSinkCallbacks(
      [&](const std::string& sinkId, const std::string& peer) -> std::shared_ptr<LanFrames> {
        if (sinkId != id || !server.claimSink(sinkId)) return nullptr;
        std::lock_guard guard(lock);
        origin = peer.empty() ? std::string() : "http://" + peer + "/" + id;
        claimed = true;
        progress.emplace(*size);
        std::fprintf(stderr, "receiving a push from %s\n", peer.c_str());
        return frames;
      },
      [&](const std::string&, std::uint64_t bytes) { progress->show(bytes); },
      [&](const std::string&, LanResult code) {
        std::lock_guard guard(lock);
        result = code;
        finished = true;
        ended.notify_all();
      });
  server.addSink(id);
  const std::uint16_t port = server.ensureStarted();
  if (port == 0) {
    std::fprintf(stderr, "desk-lan: cannot listen on a TCP port\n");
    return 1;
  }
  std::printf("from %u  (the record the sender starts at: desk-lan push URL FILE --id %s --key KEY --from %u)\n",
              frames->nextIndex, id.c_str(), frames->nextIndex);
  printAddresses(port, id);
  const std::uint64_t giveUpAt = nowMs() + *waitSeconds * 1000;
  bool gaveUp = false;
  {
    std::unique_lock guard(lock);
    while (!finished && !interrupted && !gaveUp) {
      ended.wait_for(guard, std::chrono::milliseconds(100));
      // A push that has begun is received to its end; otherwise the id is withdrawn.
      if (*waitSeconds != 0 && !claimed && nowMs() >= giveUpAt) {
        guard.unlock();
        gaveUp = server.claimSink(id);
        guard.lock();
      }
    }
  }
  server.stop();
  std::fprintf(stderr, "\n");
  if (!finished) {
    frames->close();
    if (gaveUp) {
      std::fprintf(stderr, "desk-lan: no push came in %llu s; %s keeps %llu bytes for the next run\n",
                   static_cast<unsigned long long>(*waitSeconds), part.string().c_str(),
                   static_cast<unsigned long long>(frames->received));
    } else {
      std::fprintf(stderr, "desk-lan: interrupted; %s keeps %llu bytes for the next run\n", part.string().c_str(),
                   static_cast<unsigned long long>(frames->received));
    }
    return 1;
  }
  const bool wrote = !frames->writeFailed;
  settleLanTransfer(job, name, *frames, result, folders, std::string(), origin);
  if (job.ok) {
    std::fprintf(stderr, "received %llu bytes in %.2f s\n", static_cast<unsigned long long>(*size - stored),
                 progress->seconds());
    std::printf("%s\n", job.path.string().c_str());
    return 0;
  }
  if (result == LanResult::Broken) {
    std::fprintf(stderr, "desk-lan: a record did not open: a wrong key, a push that did not start at record %u, "
                         "or another file\n", expected);
  } else if (result == LanResult::Complete || !wrote) {
    std::fprintf(stderr, "desk-lan: the file could not be written whole in %s\n", dir.string().c_str());
  } else {
    std::fprintf(stderr, "desk-lan: the push ended early; run the same command again to resume\n");
  }
  return 1;
}
