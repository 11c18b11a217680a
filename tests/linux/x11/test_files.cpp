// Saved files handed to the user's desktop: opened with the default handler in their folder,
// revealed (or, with no file manager on the bus, their folder opened), never started when risky.
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

}  // namespace

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
