#include "ShellHarness.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

std::unique_ptr<TempDir>& sessionDir() {
  static std::unique_ptr<TempDir> dir;
  return dir;
}

std::unique_ptr<XSession>& sharedSession() {
  static std::unique_ptr<XSession> s;
  return s;
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void ShellHarness::prepareHome() {
  const auto& h = home_.path();
  for (const char* dir : {"data", "config", "cache", "run"}) std::filesystem::create_directories(h / dir);
  chmod((h / "run").c_str(), 0700);
  // The default browser is a recorder that writes down every address it is given.
  writeFile(h / "recorder.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (h / "opened.txt").string() +
                                   "'\nprintf '%s\\n' \"$PWD\" >> '" + (h / "opened-in.txt").string() + "'\n");
  chmod((h / "recorder.sh").c_str(), 0755);
  writeFile(h / "data/applications/desk-recorder.desktop",
            "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + (h / "recorder.sh").string() +
                " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;text/plain;inode/directory;\n"
                "NoDisplay=true\n");
  writeFile(h / "config/mimeapps.list",
            "[Default Applications]\nx-scheme-handler/http=desk-recorder.desktop\n"
            "x-scheme-handler/https=desk-recorder.desktop\ntext/html=desk-recorder.desktop\n"
            "text/plain=desk-recorder.desktop\ninode/directory=desk-recorder.desktop\n");
  // The download folder, as the user's folder settings name it.
  std::filesystem::create_directories(h / "Downloads");
  writeFile(h / "config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
  server_.setRoute("/_cmd", 404, "");
}

std::string ShellHarness::shellProgram() {
  if (const char* exe = std::getenv("TAMSEL_DESK_EXE")) return exe;
  return DESK_SHELL_EXE;
}

std::vector<std::string> ShellHarness::environment(const std::vector<std::string>& extra) const {
  const auto& h = home_.path();
  std::vector<std::string> env = sessionEnv_;
  env.insert(env.end(), {"HOME=" + h.string(), "XDG_DATA_HOME=" + (h / "data").string(),
                         "XDG_CONFIG_HOME=" + (h / "config").string(), "XDG_CACHE_HOME=" + (h / "cache").string(),
                         "XDG_RUNTIME_DIR=" + (h / "run").string(), "XDG_DATA_DIRS=/usr/share",
                         "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (h / "no-system-bus").string(), "NO_AT_BRIDGE=1",
                         "GDK_BACKEND=x11", "GTK_A11Y=none",
                         // Its own single-instance key, clear of a shell the user runs on this display.
                         "TAMSEL_DESK_INSTANCE=test-" + h.filename().string()});
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

bool ShellHarness::start(ChildProcess& shell, const std::vector<std::string>& extraEnv) {
  const std::size_t before = count("ready");
  if (!launch(shell, {}, extraEnv)) return false;
  return waitUntil([&] { return count("ready") > before; }, 30000);
}

bool ShellHarness::launch(ChildProcess& shell, std::vector<std::string> args, const std::vector<std::string>& extraEnv,
                          const std::string& logName) {
  if (args.empty()) args.push_back("--server=" + server_.origin());
  args.insert(args.begin(), shellProgram());
  return shell.start(args, environment(extraEnv), (home_.path() / logName).string());
}

std::string ShellHarness::output(const std::string& logName) const {
  std::ifstream in(home_.path() / logName, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<Json> ShellHarness::records(const std::string& kind) const {
  std::vector<Json> out;
  for (const auto& body : server_.records()) {
    Json record = parseJson(body);
    if (record.is_object() && jsonString(record, "kind") == kind) out.push_back(record);
  }
  return out;
}

std::vector<Json> ShellHarness::callbacks(const std::string& name) const {
  std::vector<Json> out;
  for (const auto& record : records("cb")) {
    const Json* data = jsonObject(record, "data");
    if (data && jsonString(*data, "name") == name) out.push_back((*data)["args"]);
  }
  return out;
}

std::optional<Json> ShellHarness::command(const std::string& script, int timeoutMs) {
  const int id = ++commandId_;
  server_.setRoute("/_cmd", 200, jsonDump(Json{{"id", id}, {"js", script}}), "application/json");
  std::optional<Json> result;
  waitUntil(
      [&] {
        for (const auto& record : records("cmd")) {
          const Json* data = jsonObject(record, "data");
          if (data && data->value("id", 0) == id) {
            result = *data;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return result;
}

std::vector<std::string> ShellHarness::lines(const char* file) const {
  std::vector<std::string> lines;
  std::ifstream in(home_.path() / file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

XSession* X11DesktopTest::session() { return sharedSession().get(); }

void X11DesktopTest::SetUpTestSuite() {
  if (!XSession::available()) return;
  XInitThreads();
  sessionDir() = std::make_unique<TempDir>("xsession");
  sharedSession() = std::make_unique<XSession>(sessionDir()->path().string());
}

void X11DesktopTest::TearDownTestSuite() {
  sharedSession().reset();
  sessionDir().reset();
}

void X11DesktopTest::SetUp() {
  if (!XSession::available()) GTEST_SKIP() << "Xvfb is not installed";
  for (const char* tool : {"xdotool", "xcompmgr", "openbox", "dbus-daemon"}) {
    if (findProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
  }
  ASSERT_TRUE(session() && session()->ok()) << "the X session did not start";
  harness = std::make_unique<ShellHarness>(session()->environment());
  probe = std::make_unique<XProbe>(session()->display());
  ASSERT_TRUE(probe->ok());
}
