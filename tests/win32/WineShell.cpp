#include "WineShell.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

const std::filesystem::path kBuild = DESK_WIN64_DIR;
const std::filesystem::path kProgram = kBuild / "src/platform/win32/desktop/tamsel-desk.exe";
const std::filesystem::path kStandIn = kBuild / "tests/win32/WebView2Loader.dll";
const std::filesystem::path kProbe = kBuild / "tests/win32/desk-probe.exe";

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

}  // namespace

std::filesystem::path win64File(const std::string& relative) { return kBuild / relative; }

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::string WineSession::missing() {
  for (const char* program : {"wine", "wineserver", "xdotool"}) {
    if (findProgram(program).empty()) return std::string(program) + " is not installed (scripts/setup installs it)";
  }
  if (!XSession::available()) return "Xvfb is not installed";
  for (const auto& file : {kProgram, kStandIn, kProbe}) {
    if (!std::filesystem::exists(file)) return file.string() + " is missing: build the win64 preset first";
  }
  return {};
}

WineSession::WineSession() : prefix_(dir_.path() / "prefix") {
  std::filesystem::create_directories(dir_.path() / "home/Downloads");
  x_ = std::make_unique<XSession>(dir_.path().string(), XSessionOptions{false});
  if (!x_->ok()) return;
  // A wine server of its own for the prefix, kept running between the tests' programs.
  server_.start({findProgram("wineserver"), "-f", "-p"}, environment(), (dir_.path() / "wineserver.log").string());
  run({"wineboot", "-i"}, 120000);
  // Addresses for the browser go to a recorder instead.
  const auto recorder = dir_.path() / "browser";
  std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << (dir_.path() / "browsed.txt").string()
                          << "'\n";
  std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
  // A busy machine makes Wine's first starts slow: each step gets its time and must succeed.
  std::optional<int> browser, version;
  run({"reg", "add", "HKCU\\Software\\Wine\\WineBrowser", "/v", "Browsers", "/d", recorder.string(), "/f"}, 120000,
      &browser);
  // The Windows the program is for (a new prefix says Windows 7), which its installer checks.
  run({"reg", "add", "HKCU\\Software\\Wine", "/v", "Version", "/d", "win10", "/f"}, 120000, &version);
  ok_ = browser == 0 && version == 0 && std::filesystem::exists(userFolder("AppData"));
}

WineSession::~WineSession() {
  ChildProcess kill;
  if (kill.start({findProgram("wineserver"), "-k"}, environment())) kill.wait(10000);
  server_.stop();
}

std::vector<std::string> WineSession::environment() const {
  auto env = x_ ? x_->environment() : std::vector<std::string>{};
  env.push_back("WINEPREFIX=" + prefix_.string());
  // Wine links the user's folders (Downloads among them) to the home folder: a private one.
  const auto home = dir_.path() / "home";
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_CONFIG_HOME=" + (home / ".config").string());
  env.push_back("XDG_DATA_HOME=" + (home / ".local/share").string());
  env.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
  env.push_back("WINEDEBUG=-all");
  // No Gecko or Mono installer dialogs in a fresh prefix, and no menu entries for shortcuts.
  env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d");
  return env;
}

std::string WineSession::run(const std::vector<std::string>& argv, int timeoutMs, std::optional<int>* code) const {
  const auto out = dir_.path() / "run.out";
  std::filesystem::remove(out);
  std::vector<std::string> command{findProgram("wine")};
  command.insert(command.end(), argv.begin(), argv.end());
  ChildProcess child;
  if (!child.start(command, environment(), out.string())) return {};
  const auto status = child.wait(timeoutMs);
  if (code) *code = status;
  return slurp(out);
}

std::vector<std::string> WineSession::browsed() const { return lines(slurp(dir_.path() / "browsed.txt")); }

std::filesystem::path WineSession::userFolder(const std::string& name) const {
  return prefix_ / "drive_c/users" / (getenv("USER") ? getenv("USER") : "root") / name;
}

WineShell::WineShell(WineSession& session) : session_(session) {}

WineShell::~WineShell() {
  process_.stop();
  // The next test's start must not find this one's single-instance mutex.
  waitUntil([&] { return !probe({"window"}).value("found", false); }, 10000);
}

bool WineShell::start(const ShellOptions& options, const std::filesystem::path& loader) {
  const auto app = dir_.path() / "app";
  std::filesystem::create_directories(app);
  std::filesystem::copy_file(kProgram, app / "tamsel-desk.exe", std::filesystem::copy_options::overwrite_existing);
  if (options.loader) {
    std::filesystem::copy_file(loader.empty() ? kStandIn : loader, app / "WebView2Loader.dll",
                               std::filesystem::copy_options::overwrite_existing);
  }
  return startAt(app / "tamsel-desk.exe", options);
}

bool WineShell::startAt(const std::filesystem::path& program, const ShellOptions& options) {
  std::ofstream(dir_.path() / "commands.txt", std::ios::app).flush();
  auto env = session_.environment();
  env.push_back("DESK_STANDIN_DIR=" + windowsPath(dir_.path()));
  env.push_back("DESK_STANDIN_FAIL=" + options.fail);
  std::vector<std::string> argv{findProgram("wine"), program.string()};
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  return process_.start(argv, env, (dir_.path() / "stderr.txt").string());
}

void WineShell::command(const std::vector<std::string>& fields) {
  std::string line;
  for (const auto& field : fields) line += (line.empty() ? "" : "\t") + field;
  std::ofstream(dir_.path() / "commands.txt", std::ios::app | std::ios::binary) << line << '\n';
}

std::vector<std::string> WineShell::calls() const { return lines(slurp(dir_.path() / "calls.log")); }

std::vector<std::string> WineShell::calls(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const auto& call : calls()) {
    if (call.rfind(prefix, 0) == 0) matching.push_back(call);
  }
  return matching;
}

std::string WineShell::standardError() const {
  // Windows' C runtime writes line breaks as CR LF.
  std::string text = slurp(dir_.path() / "stderr.txt");
  std::erase(text, '\r');
  return text;
}

Json WineShell::probe(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{kProbe.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string out = session_.run(argv);
  const Json answer = Json::parse(out, nullptr, false);
  return answer.is_discarded() ? Json() : answer;
}

bool WineShell::pointer(int x, int y) const {
  ChildProcess move;
  return move.start({findProgram("xdotool"), "mousemove", std::to_string(x), std::to_string(y)},
                    session_.environment()) &&
         move.wait(5000) == 0;
}

std::string WineShell::windowsPath(const std::filesystem::path& file) const {
  std::string path = "Z:" + file.string();
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}
