// The shell on a Wayland compositor with the layer shell (headless sway, its seat's pointer made
// by wayvnc's virtual pointer): an overlay surface that takes no click outside its shapes, from a
// Wayland window or an X one beneath, nor the keyboard, and hears the idle time from sway.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "ShellHarness.h"

namespace {

std::string readAll(const std::filesystem::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

bool run(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log) {
  ChildProcess child;
  std::filesystem::remove(log);  // output is appended
  return child.start(argv, env, log) && child.wait(10000) == 0;
}

// sway refuses to run as root: then it runs as nobody, and lets root into its XWayland.
std::vector<std::string> asUser(std::vector<std::string> argv) {
  const std::vector<std::string> nobody{findProgram("setpriv"), "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  if (geteuid() == 0) argv.insert(argv.begin(), nobody.begin(), nobody.end());
  return argv;
}

class Sway {
 public:
  explicit Sway(const std::filesystem::path& dir) : dir_(dir), run_(dir / "run") {
    std::filesystem::create_directories(run_);
    chmod(dir.c_str(), 0755), chmod(run_.c_str(), 0700);
    std::ofstream(dir / "config") << "output HEADLESS-1 resolution 1280x800\ndefault_border none\n"
                                     "exec echo $DISPLAY > " << (dir / "display").string() << "\n";
    if (geteuid() == 0 && (chown(dir.c_str(), 65534, 65534) != 0 || chown(run_.c_str(), 65534, 65534) != 0)) return;
    bus_ = startBusDaemon(dbus_, dir.string());
    sway_.start(asUser({findProgram("sway"), "-c", (dir / "config").string()}),
                {"HOME=" + dir.string(), "XDG_RUNTIME_DIR=" + run_.string(), "WLR_BACKENDS=headless",
                 "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "WAYLAND_DISPLAY=", "DISPLAY="},
                (dir / "sway.log").string());
    if (!waitUntil([&] { return readAll(dir / "display").size() > 1; }, 10000)) return;
    for (const auto& entry : std::filesystem::directory_iterator(run_))
      if (entry.path().filename().string().rfind("sway-ipc.", 0) == 0) ipc_ = entry.path().string();
    display_ = readAll(dir / "display"), display_.pop_back();  // its line's end
    const std::vector<std::string> letRootIn{findProgram("xhost"), "+si:localuser:root"};
    if (!run(asUser(letRootIn), {"DISPLAY=" + display_}, (dir / "xhost.log").string())) return;
    vnc_.start({findProgram("wayvnc"), "-u", (dir / "vnc.sock").string()}, environment(), (dir / "vnc.log").string());
    ok = waitUntil([&] { return ask("get_inputs").find("\"pointer\"") != std::string::npos; }, 10000);
  }
  // libwayland wants a runtime folder even for a socket named by its full path.
  std::vector<std::string> environment() const {
    return {"WAYLAND_DISPLAY=" + (run_ / "wayland-1").string(), "XDG_RUNTIME_DIR=" + run_.string(),
            "DISPLAY=" + display_, "DBUS_SESSION_BUS_ADDRESS=" + bus_};
  }
  std::string ask(const std::string& type) { return swaymsg({"-t", type}) ? readAll(dir_ / "swaymsg.out") : ""; }
  bool point(int x, int y) { return swaymsg({"seat", "-", "cursor", "set", std::to_string(x), std::to_string(y)}); }
  bool click(int x, int y) {
    return point(x, y) && swaymsg({"seat", "-", "cursor", "press", "button1"}) &&
           swaymsg({"seat", "-", "cursor", "release", "button1"});
  }
  bool ok = false;

 private:
  bool swaymsg(std::vector<std::string> args) {
    args.insert(args.begin(), {findProgram("swaymsg"), "-s", ipc_});
    return run(args, {}, (dir_ / "swaymsg.out").string());
  }
  std::filesystem::path dir_, run_;
  std::string ipc_, display_, bus_;
  ChildProcess dbus_, sway_, vnc_;  // stopped in the reverse order
};

// What an application window beneath logged ("mapped", then "press X Y" lines): how often it saw word.
std::size_t seen(const std::filesystem::path& log, const std::string& word) {
  const std::string text = readAll(log);
  std::size_t count = 0;
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// The name of the node in sway's tree that has the keyboard.
std::string focusedName(const Json& node) {
  if (!node.is_object()) return {};
  if (jsonIsTrue(node, "focused")) return jsonString(node, "name").value_or("");
  std::string name;
  for (const Json& child : node.value("nodes", Json::array())) name += focusedName(child);
  return name;
}

}  // namespace

TEST(SwayDesktopTest, AboveWaylandAndXWindowsTakingOnlyTheShapesClicks) {
  for (const char* tool : {"sway", "swaymsg", "wayvnc", "Xwayland", "xhost", "setpriv", "dbus-daemon"})
    if (findProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
  TempDir dir("sway");
  Sway sway(dir.path());
  ASSERT_TRUE(sway.ok) << "headless sway did not start:\n" << readAll(dir / "sway.log");
  // Windows tiled side by side, Wayland and X by GDK_BACKEND: the Wayland one on the left half.
  ChildProcess windows[2];
  for (int i = 0; i < 2; ++i) {
    const std::string kind = i == 0 ? "wayland" : "x11";
    auto env = sway.environment();
    env.push_back("GDK_BACKEND=" + kind);
    windows[i].start({DESK_PRESS_LOGGER_EXE, kind}, env, (dir / kind).string());
    ASSERT_TRUE(waitUntil([&] { return seen(dir / kind, "mapped") == 1; }, 10000)) << readAll(dir / kind);
  }
  const auto presses = [&](const char* kind) { return seen(dir / kind, "press "); };
  ASSERT_TRUE(sway.click(900, 400));
  ASSERT_TRUE(waitUntil([&] { return presses("x11") == 1; }, 5000));

  ShellHarness shell(sway.environment());
  ASSERT_TRUE(shell.startShell({"GDK_BACKEND=wayland"})) << shell.output();
  // Once the page has said where its shape is, the pointer over it is heard.
  int wiggle = 0;
  ASSERT_TRUE(waitUntil([&] { return sway.point(180 + (++wiggle % 2), 160) && !shell.callbacks("deskHover").empty(); },
                        10000));
  // The shape (100,100 to 260,220) takes its clicks; everywhere else they go through.
  for (auto [x, y] : {std::pair{180, 160}, {400, 500}, {180, 160}, {900, 400}}) ASSERT_TRUE(sway.click(x, y));
  ASSERT_TRUE(waitUntil([&] { return shell.count("click") == 2 && presses("wayland") == 1 && presses("x11") == 2; }, 5000))
      << shell.count("click") << " " << presses("wayland") << " " << presses("x11");

  // The idle seconds come from sway; the keyboard stayed with the window clicked last.
  ASSERT_TRUE(waitUntil([&] {
    const auto idle = shell.callbacks("deskIdle");
    return !idle.empty() && idle.back()[0].is_number() && idle.back()[0].get<double>() >= 1;
  }, 15000));
  EXPECT_EQ(focusedName(parseJson(sway.ask("get_tree"))), "x11");
}
