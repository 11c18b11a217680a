// desk-lan get: fetches an offer into DIR, resuming after the whole records an earlier run left.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "DeskLan.h"
#include "files/FileJob.h"
#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "lan/LanReceive.h"
#include "lan/PartFileClaim.h"

int getCommand(const Arguments& args) {
  const std::string url = args.positional[0];
  const std::string key = args.option("key");
  const std::string name = args.option("name");
  const std::filesystem::path dir = args.option("dir").empty() ? "." : args.option("dir");
  if (!isPeerUrl(url)) {
    std::fprintf(stderr, "desk-lan: %s is not a peer address (http://PRIVATE-IPV4:PORT/ID)\n", url.c_str());
    return 1;
  }
  const auto size = checkSize(args.option("size"), "--size");
  if (!size) return 1;
  if (*size == 0) {
    std::fprintf(stderr, "desk-lan: --size must be the file's size in bytes (offer prints it as \"plain\")\n");
    return 1;
  }
  if (!checkKey(key)) return 1;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string lid = url.substr(url.rfind('/') + 1);
  // The part file lies beside the destination, so running the same command again resumes.
  const auto part = dir / ("lan-" + lid + ".part");
  const bool hadPart = std::filesystem::exists(part, ec);
  LanFrames frames(key, part, *size);
  if (!frames.ready) {
    std::fprintf(stderr, "desk-lan: cannot write %s\n", part.string().c_str());
    return 1;
  }
  frames.adoptClaim(PartFileClaim::take(part));
  const std::uint64_t resumedAt = frames.received;
  if (resumedAt > 0 && resumedAt < frames.total) {
    std::fprintf(stderr, "resuming after %llu bytes\n", static_cast<unsigned long long>(resumedAt));
  }
  // Ctrl-C ends the fetch through its stop handle (the signal handler only sets a flag).
  WorkerStop stop;
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
  ProgressLine line(*size);
  LanFetchReport report;
  LanResult status = fetchPeer(url, frames, {[&](std::uint64_t done) { line.show(done); }, &stop, true, &report});
  {
    std::lock_guard guard(doneLock);
    finished = true;
  }
  doneSignal.notify_all();
  watcher.join();
  std::fprintf(stderr, "\n");
  // A first record that does not open is the wrong key: an earlier run's records stay, a part
  // file made for this run goes.
  const bool wrongKey = report.failure == LanFailure::BadRecord && frames.received == resumedAt;
  if (wrongKey && resumedAt > 0) status = LanResult::Incomplete;
  if (report.failure == LanFailure::WrongSize || report.failure == LanFailure::NoOffer ||
      report.failure == LanFailure::Refused) {
    // Nothing of this run is worth keeping: a part file made for it goes.
    if (!hadPart) status = LanResult::Gone;
  }
  FileJob job;
  settleLanTransfer(job, name, frames, status, {dir, std::string()}, std::string(), url);
  if (job.ok) {
    const std::uint64_t got = *size - resumedAt;  // in this run
    std::fprintf(stderr, "received %llu bytes in %.2f s (%.1f MiB/s)\n", static_cast<unsigned long long>(got),
                 line.seconds(), static_cast<double>(got) / std::max(line.seconds(), 1e-3) / 1048576.0);
    std::printf("%s\n", job.path.string().c_str());
    return 0;
  }
  if (wrongKey && resumedAt > 0) {
    // The earlier records opened with the key of their run; this one may have come from a peer
    // that sent another record or another file.
    std::fprintf(stderr, "desk-lan: record %llu, the first of this run, did not open: the peer sent another "
                         "record or another file, or the key is not the earlier run's\n",
                 static_cast<unsigned long long>(resumedAt / kLanRecordPlain));
  } else if (wrongKey) {
    std::fprintf(stderr, "desk-lan: wrong key: the first record did not open with it\n");
  } else if (report.failure == LanFailure::WrongSize && report.detail.empty()) {
    std::fprintf(stderr, "desk-lan: the offer's answer gives a length no file could have; it is not an offer of "
                         "%llu bytes\n", static_cast<unsigned long long>(*size));
  } else if (report.failure == LanFailure::WrongSize) {
    std::fprintf(stderr, "desk-lan: the offer holds %s bytes, not %llu: run get with --size %s\n",
                 report.detail.c_str(), static_cast<unsigned long long>(*size), report.detail.c_str());
  } else if (status == LanResult::Complete) {
    std::fprintf(stderr, "desk-lan: the file arrived whole but could not be put in place as %s\n",
                 job.path.string().c_str());
  } else {
    std::fprintf(stderr, "desk-lan: %s%s\n", describeLanFailure(report, url).c_str(),
                 job.resume && report.failure != LanFailure::NoOffer ? "; run the same command again to resume" : "");
  }
  return 1;
}
