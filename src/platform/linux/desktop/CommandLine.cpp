#include "CommandLine.h"

#include <glib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/Origin.h"
#include "common/version.h"

namespace {

// GTK's own options, which it takes off the command line when it starts; the second member
// says whether the value may come as the next argument.
constexpr std::pair<const char*, bool> kGtkOptions[] = {
    {"--display", true},   {"--screen", true},       {"--name", true},      {"--class", true},
    {"--gtk-module", true}, {"--gdk-debug", true},   {"--gdk-no-debug", true}, {"--gtk-debug", true},
    {"--gtk-no-debug", true}, {"--sync", false},     {"--g-fatal-warnings", false}};

// 0: not GTK's; 1: GTK's, complete; 2: GTK's, its value is the next argument.
int gtkOption(const std::string& arg) {
  for (const auto& [name, takesValue] : kGtkOptions) {
    if (arg == name) return takesValue ? 2 : 1;
    if (takesValue && arg.rfind(std::string(name) + "=", 0) == 0) return 1;
  }
  return 0;
}

void printUsage() {
  std::error_code error;
  const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string programDir = error ? std::string("the program's folder") : program.parent_path().string();
  const std::string dataDir = (std::filesystem::path(g_get_user_data_dir()) / "TamselDeskNative").string();
  std::printf(
      "Usage: tamsel-desk [--server=ORIGIN]\n"
      "\n"
      "Hosts the desk page of 在线Tamsel on the desktop: a transparent companion, always on top,\n"
      "that lets clicks through except over what the page draws, with a tray icon for its\n"
      "commands. One runs per user and display; starting it again shows the running one.\n"
      "\n"
      "  --server=ORIGIN  take the desk page from ORIGIN, for this start only\n"
      "  --help           show this help and exit\n"
      "  --version        show the version and exit\n"
      "\n"
      "The server origin is the first of these that names one:\n"
      "  --server=ORIGIN\n"
      "  %s/config.json  {\"server\":\"https://...\"}\n"
      "  %s/server.json\n"
      "  the built-in %s\n"
      "It must be https://host[:port], or http:// on localhost, 127.0.0.1 or [::1].\n",
      dataDir.c_str(), programDir.c_str(), kDefaultServerOrigin);
}

}  // namespace

std::optional<int> answerCommandLine(int argc, char** argv) {
  bool help = false;
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const int gtk = gtkOption(arg);
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (gtk == 2) {
      ++i;
    } else if (gtk == 0 && arg.rfind("--server=", 0) != 0) {
      std::fprintf(stderr, "tamsel-desk: unknown option \"%s\" ignored (see --help)\n", arg.c_str());
    }
  }
  if (help) printUsage();
  if (version && !help) std::printf("tamsel-desk %s\n", kShellVersion);
  if (help || version) return 0;
  return std::nullopt;
}
