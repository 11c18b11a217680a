// The session's lock signals and the sleep inhibitor against a stand-in for logind on a private
// bus (used as the system bus here).
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "BusName.h"
#include "ChildProcess.h"
#include "SessionWatch.h"
#include "support/TempDir.h"

namespace {

const char kLogindXml[] =
    "<node><interface name='org.freedesktop.login1.Manager'>"
    "<method name='Inhibit'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='s' direction='in'/><arg type='s' direction='in'/><arg type='h' direction='out'/></method>"
    "<method name='GetSessionByPID'><arg type='u' direction='in'/><arg type='o' direction='out'/></method>"
    "</interface></node>";
const char kSessionPath[] = "/org/freedesktop/login1/session/_7";

void pump(const std::function<bool()>& done, int rounds = 500) {
  for (int i = 0; i < rounds && !done(); ++i) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(10 * 1000);
  }
}

// logind's manager: hands out one end of a pipe per inhibitor and keeps the other, so the test
// sees the inhibitor end when the holder closes its end.
class FakeLogind {
 public:
  explicit FakeLogind(const std::string& address) {
    thread_ = std::thread([this, address] { run(address); });
    for (int i = 0; i < 500 && !ready_; ++i) g_usleep(10 * 1000);
  }
  ~FakeLogind() {
    if (loop_) g_main_loop_quit(loop_);
    thread_.join();
    for (int fd : kept_) close(fd);
  }
  bool owned() const { return owned_; }
  int inhibits() const { return inhibits_; }
  std::string what() {
    std::lock_guard<std::mutex> lock(mutex_);
    return what_;
  }
  // True while the newest inhibitor's other end is still open.
  bool held() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (kept_.empty()) return false;
    pollfd p{kept_.back(), POLLIN, 0};
    return poll(&p, 1, 0) == 0;
  }
  void emit(const char* member) {
    g_dbus_connection_emit_signal(bus_, nullptr, kSessionPath, "org.freedesktop.login1.Session", member, nullptr,
                                  nullptr);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
  }

 private:
  void run(const std::string& address) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    loop_ = g_main_loop_new(context, FALSE);
    bus_ = g_dbus_connection_new_for_address_sync(
        address.c_str(), static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (bus_) {
      GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kLogindXml, nullptr);
      static const GDBusInterfaceVTable vtable = {called, nullptr, nullptr, {}};
      g_dbus_connection_register_object(bus_, "/org/freedesktop/login1", info->interfaces[0], &vtable, this, nullptr,
                                        nullptr);
      g_dbus_node_info_unref(info);
      owned_ = ownBusName(bus_, "org.freedesktop.login1");
    }
    ready_ = true;
    g_main_loop_run(loop_);
    closeBus(bus_);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  static void called(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    auto* logind = static_cast<FakeLogind*>(self);
    if (g_strcmp0(method, "GetSessionByPID") == 0) {
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", kSessionPath));
      return;
    }
    const gchar* what = nullptr;
    g_variant_get(parameters, "(&s&s&s&s)", &what, nullptr, nullptr, nullptr);
    int fds[2];
    if (pipe(fds) != 0) {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", "pipe");
      return;
    }
    {
      std::lock_guard<std::mutex> lock(logind->mutex_);
      logind->what_ = what ? what : "";
      logind->kept_.push_back(fds[0]);
    }
    ++logind->inhibits_;
    GUnixFDList* list = g_unix_fd_list_new_from_array(&fds[1], 1);  // takes the fd
    g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0), list);
    g_object_unref(list);
  }

  std::atomic<bool> ready_{false};
  std::atomic<bool> owned_{false};
  std::atomic<int> inhibits_{0};
  GDBusConnection* bus_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::mutex mutex_;
  std::string what_;
  std::vector<int> kept_;
  std::thread thread_;
};

class LogindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (findProgram("dbus-daemon").empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_TRUE(daemon_.start({findProgram("dbus-daemon"), "--session", "--nofork",
                               "--print-address=" + std::to_string(fds[1]),
                               "--address=unix:path=" + (temp_ / "bus").string()},
                              {}, {}, fds[1]));
    close(fds[1]);
    char buffer[512] = {};
    std::size_t got = 0;
    while (got < sizeof buffer - 1) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      const ssize_t n = read(fds[0], buffer + got, 1);
      if (n <= 0 || buffer[got] == '\n') break;
      got += static_cast<std::size_t>(n);
    }
    close(fds[0]);
    buffer[got] = 0;
    address_ = buffer;
    ASSERT_FALSE(address_.empty());
    // The code under test finds "the system bus" here; GLib reads this when it first connects.
    g_setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), TRUE);
    logind_ = std::make_unique<FakeLogind>(address_);
    ASSERT_TRUE(logind_->owned());
  }

  TempDir temp_{"logind"};
  ChildProcess daemon_;
  std::string address_;
  std::unique_ptr<FakeLogind> logind_;
};

}  // namespace

// One process, one system bus: both cases share this test so GLib connects to the stand-in.
TEST_F(LogindTest, SleepIsHeldWhileCountedAndLockSignalsArrive) {
  {
    SCOPED_TRACE("sleep inhibitor");
    SleepInhibitor inhibitor;
    inhibitor.change(true);
    inhibitor.change(true);
    pump([&] { return logind_->held(); });
    ASSERT_TRUE(logind_->held());
    EXPECT_EQ(logind_->inhibits(), 1);
    EXPECT_EQ(logind_->what(), "sleep");

    inhibitor.change(false);
    pump([] { return false; }, 30);  // a moment for anything wrongly let go
    EXPECT_TRUE(logind_->held());
    inhibitor.change(false);
    pump([&] { return !logind_->held(); });
    EXPECT_FALSE(logind_->held());

    // A count that drops to zero while the request may still be out lets go once it arrives.
    inhibitor.change(true);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    inhibitor.change(false);
    pump([&] { return logind_->inhibits() == 2 && !logind_->held(); });
    EXPECT_EQ(logind_->inhibits(), 2);
    EXPECT_FALSE(logind_->held());
  }
  {
    SCOPED_TRACE("lock and unlock of this session");
    std::vector<bool> seen;
    SessionWatch watch([&](bool locked) { seen.push_back(locked); });
    logind_->emit("Lock");
    pump([&] { return seen.size() == 1; });
    logind_->emit("Unlock");
    pump([&] { return seen.size() == 2; });
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  }
}
