// desk-lan: a LAN peer on the command line, with the same server, fetch, push, records and
// saving rules as the shell.
//
//   desk-lan offer FILE --id ID --key KEY
//   desk-lan get URL --key KEY --size N --name NAME [--dir DIR]
//   desk-lan sink --id ID --key KEY --size N --name NAME [--dir DIR] [--wait SECONDS]
//   desk-lan push URL FILE --id ID --key KEY [--from N]
//   desk-lan probe --id ID URL...
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "DeskLan.h"
#include "common/WorkerLink.h"
#include "common/gcm.h"
#include "files/FileJob.h"
#include "lan/LanProtocol.h"
#include "lan/LanServer.h"
#include "update/UpdateReady.h"

std::atomic<bool> interrupted{false};

namespace {

extern "C" void onSignal(int) { interrupted = true; }

unsigned long long ull(std::uint64_t n) { return static_cast<unsigned long long>(n); }

class TerminalEvents final : public WorkerEvents {
 public:
  void report(const PageEvent& event) override {
    if (const auto* native = std::get_if<LanNative>(&event)) {
      switch (native->step) {
        case LanNativeStep::Start: std::fprintf(stderr, "sending from byte %llu\n", ull(native->bytes)); break;
        case LanNativeStep::Progress: std::fprintf(stderr, "\rsent %llu bytes   ", ull(native->bytes)); break;
        case LanNativeStep::Done: std::fprintf(stderr, "\nsent the whole file (%llu bytes)\n", ull(native->bytes)); break;
      }
    } else if (std::holds_alternative<LanAbort>(event)) {
      std::fprintf(stderr, "\ntransfer broken off\n");
    }
  }
  void fileDone(std::unique_ptr<FileJob>) override {}
  void updateReady(std::unique_ptr<UpdateReady>) override {}
  bool updateChecked(UpdateOutcome) override { return false; }
};

int usage() {
  std::fprintf(stderr,
               "usage: desk-lan offer FILE --id ID --key KEY\n"
               "       desk-lan get URL --key KEY --size N --name NAME [--dir DIR]\n"
               "       desk-lan sink --id ID --key KEY --size N --name NAME [--dir DIR] [--wait SECONDS]\n"
               "       desk-lan push URL FILE --id ID --key KEY [--from N]\n"
               "       desk-lan probe --id ID URL...\n"
               "ID: 32 lower-case hexadecimal digits (openssl rand -hex 16)\n"
               "KEY: 64 hexadecimal digits (openssl rand -hex 32), the same on both sides\n"
               "SECONDS: how long a sink waits for a push to begin (default 40; 0: no limit)\n");
  return 2;
}

}  // namespace

std::string Arguments::option(const char* name) const {
  const auto it = options.find(name);
  return it == options.end() ? std::string() : it->second;
}

bool checkId(const std::string& id) {
  if (isLanId(id)) return true;
  std::fprintf(stderr, "desk-lan: the id must be 32 lower-case hexadecimal digits (openssl rand -hex 16)\n");
  return false;
}

bool checkKey(const std::string& key) {
  if (key.size() == 64 && openGcmKey(key)) return true;
  std::fprintf(stderr, "desk-lan: the key must be 64 hexadecimal digits (openssl rand -hex 32)\n");
  return false;
}

std::optional<std::uint64_t> checkSize(const std::string& text, const char* what) {
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0') {
    std::fprintf(stderr, "desk-lan: %s must be a number\n", what);
    return std::nullopt;
  }
  return value;
}

std::uint64_t nowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void ProgressLine::show(std::uint64_t done) {
  const std::uint64_t t = nowMs();
  if (last_ != 0 && t - last_ < kLanProgressIntervalMs) return;
  last_ = t;
  std::fprintf(stderr, "\r%3llu%%  %llu / %llu bytes  %.1f MiB/s   ",
               static_cast<unsigned long long>(total_ ? done * 100 / total_ : 0),
               static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
               static_cast<double>(done) / (static_cast<double>(t - started_ + 1) / 1000.0) / 1048576.0);
}

double ProgressLine::seconds() const { return static_cast<double>(nowMs() - started_) / 1000.0; }

std::shared_ptr<WorkerLink> terminalEvents() {
  static TerminalEvents events;
  static const auto link = std::make_shared<WorkerLink>(events);
  return link;
}

int main(int argc, char** argv) {
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  if (argc < 2) return usage();
  const std::string command = argv[1];
  Arguments args;
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("--", 0) == 0) {
      if (i + 1 >= argc) return usage();
      args.options[word.substr(2)] = argv[++i];
    } else {
      args.positional.push_back(word);
    }
  }
  const auto has = [&](std::initializer_list<const char*> names, std::size_t positional, bool more = false) {
    for (const char* n : names) {
      if (args.option(n).empty()) return false;
    }
    return more ? args.positional.size() >= positional : args.positional.size() == positional;
  };
  if (command == "offer" && has({"id", "key"}, 1)) return offerCommand(args);
  if (command == "get" && has({"key", "size", "name"}, 1)) return getCommand(args);
  if (command == "sink" && has({"id", "key", "size", "name"}, 0)) return sinkCommand(args);
  if (command == "push" && has({"id", "key"}, 2)) return pushCommand(args);
  if (command == "probe" && has({"id"}, 1, true)) return probeCommand(args);
  return usage();
}
