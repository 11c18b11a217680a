// The session's lock signals and the sleep inhibitor against a stand-in for logind on a private
// bus (used as the system bus here).
#include <gtest/gtest.h>

#include <gio/gunixfdlist.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "BusService.h"
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
  explicit FakeLogind(const std::string& address)
      : service_(address, "org.freedesktop.login1", "/org/freedesktop/login1", kLogindXml,
                 [this](const char*, const char* method, GVariant* parameters, GDBusMethodInvocation* call) {
                   inhibit(method, parameters, call);
                 }) {}
  ~FakeLogind() {
    for (int fd : kept_) close(fd);
  }
  bool owned() const { return service_.owned(); }
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
    g_dbus_connection_emit_signal(service_.bus(), nullptr, kSessionPath, "org.freedesktop.login1.Session", member,
                                  nullptr, nullptr);
    g_dbus_connection_flush_sync(service_.bus(), nullptr, nullptr);
  }

 private:
  void inhibit(const char* method, GVariant* parameters, GDBusMethodInvocation* call) {
    if (g_strcmp0(method, "GetSessionByPID") == 0) {
      g_dbus_method_invocation_return_value(call, g_variant_new("(o)", kSessionPath));
      return;
    }
    const gchar* what = nullptr;
    g_variant_get(parameters, "(&s&s&s&s)", &what, nullptr, nullptr, nullptr);
    int fds[2];
    if (pipe(fds) != 0) {
      g_dbus_method_invocation_return_dbus_error(call, "org.freedesktop.DBus.Error.Failed", "pipe");
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      what_ = what ? what : "";
      kept_.push_back(fds[0]);
    }
    ++inhibits_;
    GUnixFDList* list = g_unix_fd_list_new_from_array(&fds[1], 1);  // takes the fd
    g_dbus_method_invocation_return_value_with_unix_fd_list(call, g_variant_new("(h)", 0), list);
    g_object_unref(list);
  }

  std::atomic<int> inhibits_{0};
  std::mutex mutex_;
  std::string what_;
  std::vector<int> kept_;
  BusService service_;
};

class LogindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (findProgram("dbus-daemon").empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    address_ = startBusDaemon(daemon_, temp_.path().string());
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
    // The watch listens once it has learnt its session, which may be a while after it is made;
    // logind's signal is repeated until it is heard.
    auto announce = [&](const char* member, bool locked) {
      for (int i = 0; i < 50 && (seen.empty() || seen.back() != locked); ++i) {
        logind_->emit(member);
        pump([&] { return !seen.empty() && seen.back() == locked; }, 20);
      }
    };
    announce("Lock", true);
    announce("Unlock", false);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 1);
    EXPECT_FALSE(seen.back());
  }
}
