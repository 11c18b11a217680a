// The autostart entry: how the executable's path is written into Exec, and the entry as state.
#include <gtest/gtest.h>

#include <fstream>

#include "Autostart.h"
#include "support/TempDir.h"

TEST(AutostartExec, QuotesThePathWithTheDesktopEntryEscapes) {
  struct Case {
    const char* path;
    const char* exec;
  };
  const Case cases[] = {
      {"/usr/bin/tamsel-desk", R"("/usr/bin/tamsel-desk")"},
      {"/opt/My Apps/tamsel-desk", R"("/opt/My Apps/tamsel-desk")"},
      {"/opt/100%/desk", R"("/opt/100%%/desk")"},
      {"/opt/a\"b/desk", R"("/opt/a\\"b/desk")"},
      {"/opt/$HOME/desk", R"("/opt/\\$HOME/desk")"},
      {"/opt/`id`/desk", R"("/opt/\\`id\\`/desk")"},
      {"/opt/back\\slash/desk", R"("/opt/back\\\\slash/desk")"},
      {"/opt/桌面/desk", R"("/opt/桌面/desk")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto exec = desktopExecValue(c.path);
    ASSERT_TRUE(exec);
    EXPECT_EQ(*exec, c.exec);
  }
}

TEST(AutostartExec, RefusesPathsNoExecLineCanCarry) {
  for (const char* path : {"/opt/line\nbreak/desk", "/opt/tab\there", "/opt/cr\r"}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(desktopExecValue(path));
    EXPECT_FALSE(autostartEntryText(path));
  }
}

TEST(AutostartEntry, IsOnWhileARegularFileExists) {
  TempDir temp("autostart");
  const auto entry = temp / "config/autostart/TamselDeskNative.desktop";
  EXPECT_FALSE(autostartEntryPresent(entry));
  // Switching off what is not there is no failure.
  EXPECT_TRUE(applyAutostart(entry, false, "/usr/bin/tamsel-desk"));

  ASSERT_TRUE(applyAutostart(entry, true, "/usr/bin/tamsel-desk"));
  EXPECT_TRUE(autostartEntryPresent(entry));
  std::ifstream in(entry);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nExec=\"/usr/bin/tamsel-desk\"\n"), std::string::npos);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);

  ASSERT_TRUE(applyAutostart(entry, false, "/usr/bin/tamsel-desk"));
  EXPECT_FALSE(autostartEntryPresent(entry));

  // A folder of that name is not an entry; and it cannot be removed as one.
  std::filesystem::create_directories(entry);
  EXPECT_FALSE(autostartEntryPresent(entry));
  EXPECT_FALSE(applyAutostart(entry, false, "/usr/bin/tamsel-desk"));
}
