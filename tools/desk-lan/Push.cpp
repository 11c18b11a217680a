// The commands that reach out to a peer: push (sends a file into the peer's sink) and probe
// (which of the peer's addresses answers).
#include <cstdio>
#include <filesystem>
#include <thread>

#include "DeskLan.h"
#include "lan/LanFetch.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"
#include "lan/LanWorkers.h"

int pushCommand(const Arguments& args) {
  const std::string url = args.positional[0];
  const std::filesystem::path file = args.positional[1];
  const std::string id = args.option("id");
  const std::string key = args.option("key");
  if (!isPeerUrl(url)) {
    std::fprintf(stderr, "desk-lan: %s is not a peer address (http://PRIVATE-IPV4:PORT/ID)\n", url.c_str());
    return 1;
  }
  if (!checkId(id) || !checkKey(key)) return 1;
  std::uint64_t from = 0;
  if (!args.option("from").empty()) {
    const auto value = checkSize(args.option("from"), "--from");
    if (!value) return 1;
    from = *value;
  }
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec || !std::filesystem::is_regular_file(file, ec) || size == 0) {
    std::fprintf(stderr, "desk-lan: %s is not a readable, non-empty file\n", file.string().c_str());
    return 1;
  }
  if (from >= lanRecordCount(size)) {
    std::fprintf(stderr, "desk-lan: --from %llu is beyond the file's %llu records\n",
                 static_cast<unsigned long long>(from), static_cast<unsigned long long>(lanRecordCount(size)));
    return 1;
  }
  // The file is offered in a server that never listens: the push streams it from there.
  LanServer server;
  server.installEvents(terminalEvents());
  server.addOffer(id, lanEncryptedSize(size));
  server.addNativeOffer({id, std::filesystem::absolute(file, ec), key, size});
  WorkerStop stop;
  std::thread watcher([&] {
    while (!stop.stopped()) {
      if (interrupted) stop.stop();
      stop.sleepFor(50);
    }
  });
  LanPushReport report;
  const bool sent = pushOffer(server, id, url, from, &stop, &report);
  const bool interruptedNow = stop.stopped();
  stop.stop();
  watcher.join();
  if (sent) {
    std::fprintf(stderr, "the peer stored the whole file\n");
    return 0;
  }
  const std::string status = report.answer.substr(0, report.answer.find("\r\n"));
  const std::string wrongRecord = "a wrong key, a --from other than the one its sink printed, another file";
  if (interruptedNow) {
    std::fprintf(stderr, "desk-lan: interrupted\n");
  } else if (!report.connected) {
    const LanFetchReport why{report.refused ? LanFailure::Refused : LanFailure::NoConnection, {}};
    std::fprintf(stderr, "desk-lan: %s\n", describeLanFailure(why, url).c_str());
  } else if (status.find(" 400 ") != std::string::npos) {
    std::fprintf(stderr, "desk-lan: the peer answered \"%s\": no sink there waits for %s (it gave up waiting, "
                         "took another push, or was opened for another id)\n", status.c_str(), id.c_str());
  } else if (!status.empty()) {
    std::fprintf(stderr, "desk-lan: the peer answered \"%s\", not the empty 200 that confirms a whole file\n",
                 status.c_str());
  } else if (report.allSent) {
    std::fprintf(stderr, "desk-lan: the peer took every record but did not confirm the file (it closed, or "
                         "30 s passed): %s, or its disk refused the data\n", wrongRecord.c_str());
  } else {
    std::fprintf(stderr, "desk-lan: the connection broke before the whole file was sent: the peer refused a "
                         "record (%s) or went away\n", wrongRecord.c_str());
  }
  return 1;
}

int probeCommand(const Arguments& args) {
  const std::string id = args.option("id");
  if (!checkId(id)) return 1;
  std::vector<std::string> urls;
  for (std::string url : args.positional) {
    // "http://HOST:PORT" names the address; the id is added.
    if (!isPeerUrl(url)) url += "/" + id;
    if (!isPeerUrl(url)) {
      std::fprintf(stderr, "desk-lan: %s is not a peer address (http://PRIVATE-IPV4:PORT[/ID])\n", url.c_str());
      return 1;
    }
    urls.push_back(url);
  }
  const std::string found = probePeers(urls, nullptr);
  if (found.empty()) {
    std::fprintf(stderr, "desk-lan: none of the addresses answered for %s\n", id.c_str());
    return 1;
  }
  std::printf("%s\n", found.c_str());
  return 0;
}
