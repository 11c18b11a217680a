// Saved files handed to the user's desktop: opened with the default handler in their folder,
// revealed (or, with no file manager on the bus, their folder opened), never started when risky.
#include <mutex>

#include "BusService.h"
#include "ShellHarness.h"

namespace {

const char kFileId[] = "0123456789abcdef0123456789abcdef";

// The handler is given the file as its address or, as GIO does for local files, as its path.
bool opened(const std::vector<std::string>& lines, const std::filesystem::path& path) {
  return hasLine(lines, path.string()) || hasLine(lines, "file://" + path.string());
}

std::string fetchScript(const std::string& id, const std::string& name) {
  return "deskSend({ t: 'fileGet', id: '" + id + "', url: location.origin + '/desk-file/" + kFileId + "', name: '" +
         name + "', how: 'open' }); 'asked'";
}

// A file manager on the session bus that writes down what it is asked to show.
class FileManagerOnBus {
 public:
  explicit FileManagerOnBus(const std::string& address)
      : service_(address, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                 "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
                 "<arg type='as' direction='in'/><arg type='s' direction='in'/></method></interface></node>",
                 [this](const char*, const char*, GVariant* parameters, GDBusMethodInvocation* call) {
                   GVariantIter* uris = nullptr;
                   const gchar* uri = nullptr;
                   g_variant_get(parameters, "(as&s)", &uris, nullptr);
                   std::lock_guard<std::mutex> lock(mutex_);
                   while (g_variant_iter_next(uris, "&s", &uri)) shown_.push_back(uri);
                   g_variant_iter_free(uris);
                   g_dbus_method_invocation_return_value(call, nullptr);
                 }) {}
  bool owned() const { return service_.owned(); }
  std::vector<std::string> shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> shown_;
  BusService service_;
};

}  // namespace

TEST_F(X11DesktopTest, RevealAsksTheFileManagerOnTheBus) {
  FileManagerOnBus manager(session()->busAddress());
  ASSERT_TRUE(manager.owned());
  harness->server().setRoute(std::string("/desk-file/") + kFileId, 200, "echo hi\n", "application/octet-stream");
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(harness->command(fetchScript("r", "tool.sh")));
  const auto path = harness->home().path() / "Downloads" / "tool.sh";
  EXPECT_TRUE(waitUntil([&] { return hasLine(manager.shown(), "file://" + path.string()); }, 10000));
  EXPECT_TRUE(harness->opened().empty());
}

TEST_F(X11DesktopTest, SavedFilesOpenInTheirFolderAndRiskyOnesAreOnlyShown) {
  harness->server().setRoute(std::string("/desk-file/") + kFileId, 200, "hello\n", "application/octet-stream");
  ASSERT_TRUE(harness->startShell());
  const auto downloads = harness->home().path() / "Downloads";
  auto done = [&](const std::string& name) {
    for (const auto& args : harness->callbacks("deskFileDone")) {
      if (args.is_array() && !args.empty() && args[0].value("id", "") == name) return args[0];
    }
    return Json();
  };
  struct Case {
    const char* name;
    const char* flag;                // set in deskFileDone
    std::filesystem::path handed;    // what the default handler gets
  };
  // A plain file is opened by its default handler in its folder; a risky one is never started.
  const Case cases[] = {{"note.txt", "ok", downloads / "note.txt"}, {"setup.sh", "blocked", downloads}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(harness->command(fetchScript(c.name, c.name)));
    ASSERT_TRUE(waitUntil([&] { return !done(c.name).is_null(); }, 10000));
    EXPECT_TRUE(done(c.name).value(c.flag, false));
    EXPECT_TRUE(waitUntil([&] { return opened(harness->opened(), c.handed); }, 8000));
  }
  EXPECT_TRUE(hasLine(harness->openedIn(), downloads.string()));
  EXPECT_FALSE(opened(harness->opened(), downloads / "setup.sh"));
}
