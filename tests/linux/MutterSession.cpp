#include "MutterSession.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

constexpr const char kService[] = "org.gnome.Mutter.RemoteDesktop";
constexpr const char kSession[] = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr int kLeftButton = 0x110;  // BTN_LEFT

std::string readAll(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string MutterSession::unavailable() {
  for (const char* program : {"mutter", "Xwayland", "dbus-daemon"}) {
    if (findProgram(program).empty()) return std::string(program) + " is not installed";
  }
  return {};
}

MutterSession::MutterSession(const std::string& workDir) : runDir_(workDir + "/mutter-run") {
  if (!unavailable().empty()) return;
  std::filesystem::create_directories(runDir_);
  chmod(runDir_.c_str(), 0700);
  bus_ = startBusDaemon(dbus_, workDir);
  const std::string log = workDir + "/mutter.log";
  mutter_.start({findProgram("mutter"), "--wayland", "--headless", "--virtual-monitor", "1280x800"},
                {"HOME=" + workDir, "XDG_RUNTIME_DIR=" + runDir_, "DBUS_SESSION_BUS_ADDRESS=" + bus_,
                 "WAYLAND_DISPLAY=", "DISPLAY=", "XDG_SESSION_TYPE=wayland"},
                log);
  // mutter names its XWayland display in its log and keeps the authority in its runtime folder.
  const std::regex named("Using public X11 display (:[0-9]+)");
  for (int i = 0; i < 300 && (display_.empty() || authority_.empty()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::smatch match;
    const std::string text = readAll(log);
    if (std::regex_search(text, match, named)) display_ = match[1];
    for (const auto& entry : std::filesystem::directory_iterator(runDir_)) {
      if (entry.path().filename().string().rfind(".mutter-Xwaylandauth.", 0) == 0) authority_ = entry.path().string();
    }
  }
  if (display_.empty() || authority_.empty() || !std::filesystem::exists(runDir_ + "/wayland-0")) return;
  connection_ = g_dbus_connection_new_for_address_sync(
      bus_.c_str(), static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                      G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (!connection_) return;
  // The session lasts as long as this connection.
  for (int i = 0; i < 100 && remote_.empty(); ++i) {
    GVariant* reply = g_dbus_connection_call_sync(connection_, kService, "/org/gnome/Mutter/RemoteDesktop", kService,
                                                  "CreateSession", nullptr, G_VARIANT_TYPE("(o)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (!reply) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    const char* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    remote_ = path;
    g_variant_unref(reply);
  }
  ok_ = !remote_.empty() && call("Start", nullptr);
}

MutterSession::~MutterSession() {
  if (connection_) g_object_unref(connection_);
  mutter_.stop();
  dbus_.stop();
}

std::vector<std::string> MutterSession::environment() const {
  return {"WAYLAND_DISPLAY=" + runDir_ + "/wayland-0", "XDG_RUNTIME_DIR=" + runDir_, "DISPLAY=" + display_,
          "XAUTHORITY=" + authority_, "DBUS_SESSION_BUS_ADDRESS=" + bus_, "XDG_SESSION_TYPE=wayland"};
}

bool MutterSession::call(const char* method, GVariant* args) {
  GVariant* reply = g_dbus_connection_call_sync(connection_, kService, remote_.c_str(), kSession, method, args,
                                                nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (reply) g_variant_unref(reply);
  return reply != nullptr;
}

bool MutterSession::point(int x, int y) {
  // Relative motion only (absolute motion needs a screen cast stream): first into the corner,
  // where the pointer stops, then to the place.
  return call("NotifyPointerMotionRelative", g_variant_new("(dd)", -10000.0, -10000.0)) &&
         call("NotifyPointerMotionRelative", g_variant_new("(dd)", double(x), double(y)));
}

bool MutterSession::click(int x, int y) {
  return point(x, y) && call("NotifyPointerButton", g_variant_new("(ib)", kLeftButton, TRUE)) &&
         call("NotifyPointerButton", g_variant_new("(ib)", kLeftButton, FALSE));
}
