// Hand-offs to the user's desktop that have nowhere to go: the user learns why on standard error.
#include <gtest/gtest.h>

#include <glib.h>

#include "LinuxDesktop.h"
#include "support/TempDir.h"

TEST(Handoff, AnAddressWithNoBrowserToOpenItIsNamedOnStandardError) {
  // A home without any program for web addresses, and no system-wide ones either.
  TempDir home("nobrowser");
  g_setenv("XDG_DATA_HOME", (home / "data").c_str(), TRUE);
  g_setenv("XDG_CONFIG_HOME", (home / "config").c_str(), TRUE);
  g_setenv("XDG_DATA_DIRS", (home / "none").c_str(), TRUE);
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", TRUE);
  char program[] = "test";
  char* args[] = {program, nullptr};
  LinuxDesktop desktop(1, args);
  testing::internal::CaptureStderr();
  desktop.openWebAddress(toWide("https://desk.example/"));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("cannot open https://desk.example/"), std::string::npos) << said;
}
