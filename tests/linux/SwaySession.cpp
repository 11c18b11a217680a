#include "SwaySession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {

constexpr uid_t kNobody = 65534;

bool waitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 200; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string readAll(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Under root the compositor's files belong to nobody, who runs it.
void handOver(const std::string& path) {
  if (geteuid() == 0 && chown(path.c_str(), kNobody, kNobody) != 0) return;
}

}  // namespace

std::string SwaySession::unavailable() {
  for (const char* program : {"sway", "swaymsg", "wayvnc", "Xwayland", "xhost", "dbus-daemon"}) {
    if (findProgram(program).empty()) return std::string(program) + " is not installed";
  }
  if (geteuid() == 0 && findProgram("setpriv").empty()) return "setpriv is not installed (sway refuses root)";
  return {};
}

SwaySession::SwaySession(const std::string& workDir) : dir_(workDir + "/sway"), runDir_(dir_ + "/run") {
  if (!unavailable().empty()) return;
  std::filesystem::create_directories(runDir_);
  chmod(workDir.c_str(), 0711);
  chmod(runDir_.c_str(), 0700);
  std::ofstream(dir_ + "/config") << "output HEADLESS-1 resolution 1280x800\nxwayland enable\ndefault_border none\n"
                                     "exec echo $DISPLAY > " + dir_ + "/display\n";
  for (const std::string& path : {dir_, runDir_, dir_ + "/config"}) handOver(path);
  bus_ = startBusDaemon(dbus_, workDir);
  std::vector<std::string> argv{findProgram("sway"), "-c", dir_ + "/config"};
  if (geteuid() == 0) {
    argv.insert(argv.begin(), {findProgram("setpriv"), "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  }
  sway_.start(argv,
              {"HOME=" + dir_, "XDG_RUNTIME_DIR=" + runDir_, "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
               "WLR_RENDERER=pixman", "DBUS_SESSION_BUS_ADDRESS=" + bus_, "WAYLAND_DISPLAY=", "DISPLAY="},
              workDir + "/sway.log");
  const std::string socket = runDir_ + "/wayland-1";
  if (!waitFor([&] { return std::filesystem::exists(socket) && std::filesystem::exists(dir_ + "/display"); })) return;
  for (const auto& entry : std::filesystem::directory_iterator(runDir_)) {
    if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) ipc_ = entry.path().string();
  }
  std::istringstream(readAll(dir_ + "/display")) >> display_;
  if (ipc_.empty() || display_.empty()) return;
  if (geteuid() == 0) {
    ChildProcess xhost;
    if (!xhost.start({findProgram("setpriv"), "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                      findProgram("xhost"), "+si:localuser:root"},
                     {"DISPLAY=" + display_}, workDir + "/xhost.log") ||
        xhost.wait(10000) != 0) {
      return;
    }
  }
  vnc_.start({findProgram("wayvnc"), "-u", dir_ + "/vnc.sock"}, {"XDG_RUNTIME_DIR=" + runDir_, "WAYLAND_DISPLAY=" + socket},
             workDir + "/wayvnc.log");
  ok_ = waitFor([&] { return ask("get_inputs").find("\"pointer\"") != std::string::npos; });
}

SwaySession::~SwaySession() {
  vnc_.stop();
  sway_.stop();
  dbus_.stop();
}

std::vector<std::string> SwaySession::environment() const {
  // libwayland wants a runtime folder even for a socket named by its full path.
  return {"WAYLAND_DISPLAY=" + runDir_ + "/wayland-1", "XDG_RUNTIME_DIR=" + runDir_, "DISPLAY=" + display_,
          "DBUS_SESSION_BUS_ADDRESS=" + bus_};
}

bool SwaySession::swaymsg(const std::vector<std::string>& args, std::string* answer) {
  std::vector<std::string> argv{findProgram("swaymsg"), "-s", ipc_};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess child;
  const std::string out = dir_ + "/swaymsg.out";
  std::filesystem::remove(out);  // the child's output is appended
  if (!child.start(argv, {}, out) || child.wait(10000) != 0) return false;
  if (answer) *answer = readAll(out);
  return true;
}

std::string SwaySession::ask(const std::string& type) {
  std::string answer;
  return swaymsg({"-t", type}, &answer) ? answer : std::string();
}

bool SwaySession::point(int x, int y) {
  return swaymsg({"seat", "-", "cursor", "set", std::to_string(x), std::to_string(y)});
}

bool SwaySession::click(int x, int y) {
  return point(x, y) && swaymsg({"seat", "-", "cursor", "press", "button1"}) && swaymsg({"seat", "-", "cursor", "release", "button1"});
}
