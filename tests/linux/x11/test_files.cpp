// Saved files handed to the user's desktop: opened with the default handler in their folder,
// revealed (or, with no file manager on the bus, their folder opened), never started when risky.
#include <gio/gio.h>

#include <mutex>
#include <thread>

#include "BusName.h"
#include "ShellHarness.h"

namespace {

const char kFileId[] = "0123456789abcdef0123456789abcdef";

// The handler is given the file as its address or, as GIO does for local files, as its path.
bool opened(const std::vector<std::string>& lines, const std::filesystem::path& path) {
  for (const auto& line : lines) {
    if (line == path.string() || line == "file://" + path.string()) return true;
  }
  return false;
}

bool contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines) {
    if (line == text) return true;
  }
  return false;
}

// A file manager on the session bus that writes down what it is asked to show.
class FileManagerOnBus {
 public:
  explicit FileManagerOnBus(const std::string& address) {
    thread_ = std::thread([this, address] { run(address); });
    waitUntil([&] { return ready_.load(); }, 5000);
  }
  ~FileManagerOnBus() {
    if (loop_) g_main_loop_quit(loop_);
    thread_.join();
  }
  bool owned() const { return owned_; }
  std::vector<std::string> shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }

 private:
  void run(const std::string& address) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    loop_ = g_main_loop_new(context, FALSE);
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address.c_str(), static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (bus) {
      GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(
          "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
          "<arg type='as' direction='in'/><arg type='s' direction='in'/></method></interface></node>",
          nullptr);
      static const GDBusInterfaceVTable vtable = {called, nullptr, nullptr, {}};
      g_dbus_connection_register_object(bus, "/org/freedesktop/FileManager1", info->interfaces[0], &vtable, this,
                                        nullptr, nullptr);
      g_dbus_node_info_unref(info);
      owned_ = ownBusName(bus, "org.freedesktop.FileManager1");
    }
    ready_ = true;
    g_main_loop_run(loop_);
    closeBus(bus);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }
  static void called(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                     GDBusMethodInvocation* invocation, gpointer self) {
    auto* manager = static_cast<FileManagerOnBus*>(self);
    GVariantIter* uris = nullptr;
    const gchar* startup = nullptr;
    g_variant_get(parameters, "(as&s)", &uris, &startup);
    const gchar* uri = nullptr;
    std::lock_guard<std::mutex> lock(manager->mutex_);
    while (g_variant_iter_next(uris, "&s", &uri)) manager->shown_.push_back(uri);
    g_variant_iter_free(uris);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }

  std::atomic<bool> ready_{false};
  std::atomic<bool> owned_{false};
  GMainLoop* loop_ = nullptr;
  std::mutex mutex_;
  std::vector<std::string> shown_;
  std::thread thread_;
};

}  // namespace

TEST_F(X11DesktopTest, RevealAsksTheFileManagerOnTheBus) {
  FileManagerOnBus manager(session()->busAddress());
  ASSERT_TRUE(manager.owned());
  harness->server().setRoute(std::string("/desk-file/") + kFileId, 200, "echo hi\n", "application/octet-stream");
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(harness->command("deskSend({ t: 'fileGet', id: 'r', url: location.origin + '/desk-file/" +
                               std::string(kFileId) + "', name: 'tool.sh', how: 'open' }); 'asked'"));
  const auto path = harness->home().path() / "Downloads" / "tool.sh";
  EXPECT_TRUE(waitUntil([&] { return contains(manager.shown(), "file://" + path.string()); }, 10000));
  EXPECT_TRUE(harness->opened().empty());
}

TEST_F(X11DesktopTest, SavedFilesOpenInTheirFolderAndRiskyOnesAreOnlyShown) {
  harness->server().setRoute(std::string("/desk-file/") + kFileId, 200, "hello\n", "application/octet-stream");
  ASSERT_TRUE(harness->startShell());
  const auto downloads = harness->home().path() / "Downloads";

  auto fetch = [&](const std::string& name) {
    return harness->command("deskSend({ t: 'fileGet', id: '" + name + "', url: location.origin + '/desk-file/" +
                            kFileId + "', name: '" + name + "', how: 'open' }); 'asked'");
  };
  auto done = [&](const std::string& name) {
    for (const auto& args : harness->callbacks("deskFileDone")) {
      if (args.is_array() && !args.empty() && args[0].value("id", "") == name) return args[0];
    }
    return Json();
  };

  {
    SCOPED_TRACE("a plain file is opened by its default handler, in its folder");
    ASSERT_TRUE(fetch("note.txt"));
    ASSERT_TRUE(waitUntil([&] { return !done("note.txt").is_null(); }, 10000));
    EXPECT_TRUE(done("note.txt").value("ok", false));
    EXPECT_TRUE(waitUntil([&] { return opened(harness->opened(), downloads / "note.txt"); }, 8000));
    EXPECT_TRUE(contains(harness->openedIn(), downloads.string()));
  }
  {
    SCOPED_TRACE("a risky file is never started: its folder is shown instead");
    ASSERT_TRUE(fetch("setup.sh"));
    ASSERT_TRUE(waitUntil([&] { return !done("setup.sh").is_null(); }, 10000));
    EXPECT_TRUE(done("setup.sh").value("blocked", false));
    EXPECT_TRUE(waitUntil([&] { return opened(harness->opened(), downloads); }, 8000));
    EXPECT_FALSE(opened(harness->opened(), downloads / "setup.sh"));
  }
}
