// The real shell against a signed update on the desk test server: announced to the page, then
// handed off to the installer, after which the shell is gone.
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "DeskSign.h"
#include "ShellHarness.h"
#include "common/crypto.h"

namespace {

std::filesystem::path testKey() {
  return std::filesystem::path(DESK_SOURCE_DIR) / "tests/keys/TEST-ONLY-release-key.pem";
}

bool builtWithTestKey() {
  std::string error;
  const auto pub = desksign::publicKeyOf(testKey(), error);
  return pub && pub->x == updateKeyX() && pub->y == updateKeyY();
}

}  // namespace

TEST_F(X11DesktopTest, SignedUpdateIsAnnouncedAndHandedOff) {
  if (!builtWithTestKey()) GTEST_SKIP() << "built with a release key";
  const auto record = harness->home().path() / "installer-args.txt";
  const std::string installer = "#!/bin/sh\necho \"$@\" > '" + record.string() + "'\n";
  const auto source = harness->home().path() / "TamselDesk Setup.run";
  std::ofstream(source, std::ios::binary) << installer;
  std::string error;
  const auto manifest = desksign::makeManifest(testKey(), "1.4.0", source, "TamselDesk Setup.run", error);
  ASSERT_TRUE(manifest) << error;
  harness->server().setRoute("/desk-update-linux.json", 200, *manifest, "application/json");
  harness->server().setRoute("/download/TamselDesk Setup.run", 200, installer);

  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(harness->command("deskSend({ t: 'updateCheck', manual: true }); 'asked'"));
  ASSERT_TRUE(waitUntil([&] { return !harness->callbacks("deskUpdateReady").empty(); }, 15000));
  EXPECT_EQ(harness->callbacks("deskUpdateReady")[0], Json::array({"1.4.0"}));
  EXPECT_TRUE(harness->callbacks("deskUpdateState").empty());

  ASSERT_TRUE(harness->command("setTimeout(function () { deskSend({ t: 'updateNow' }); }, 0); 'now'"));
  const auto code = harness->shell().wait(15000);
  ASSERT_TRUE(code) << "the shell did not close after the hand-off";
  EXPECT_EQ(*code, 0);
  ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(record); }, 10000));
  std::string args;
  ASSERT_TRUE(waitUntil(
      [&] {
        std::ifstream in(record);
        args.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !args.empty();
      },
      5000));
  EXPECT_EQ(args, "/S /UPDATE\n");

  // The kept installer: named after the version, runnable by the user alone.
  bool found = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(harness->home().path())) {
    if (entry.path().filename() != "TamselDesk-1.4.0.run") continue;
    found = true;
    EXPECT_EQ(entry.path().parent_path().filename(), "update");
    struct stat st {};
    ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  EXPECT_TRUE(found);
}
