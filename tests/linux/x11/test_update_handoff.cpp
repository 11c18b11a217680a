// The real shell against a signed update on the desk test server: announced to the page, then
// handed off to the installer, after which the shell is gone.
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "DeskSign.h"
#include "ShellHarness.h"
#include "update/UpdateKey.h"

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

// The Linux update installer end to end: the shell verifies TamselDesk-<v>.run and hands over to
// it; the installer puts the program into ~/.local, points the start-at-log-in entry at it and
// starts it once the old shell is gone, and the new one finds its origin in config.json.
TEST_F(X11DesktopTest, RunInstallerReplacesTheShellForTheUserAndStartsIt) {
  if (!builtWithTestKey()) GTEST_SKIP() << "built with a release key";
  const auto home = harness->home().path();
  ChildProcess step;
  ASSERT_TRUE(step.start({findProgram("cmake"), "--install", DESK_BINARY_DIR, "--prefix", (home / "stage/usr").string(),
                          "--strip"}, {}, (home / "stage.log").string()));
  ASSERT_EQ(step.wait(120000), 0);
  const auto run = home / "TamselDesk-1.4.0.run";
  ASSERT_TRUE(step.start({std::string(DESK_SOURCE_DIR) + "/packaging/linux/make-run-installer", (home / "stage").string(),
                          "1.4.0", run.string()}, {}, (home / "make-run.log").string()));
  ASSERT_EQ(step.wait(60000), 0);
  std::string error;
  const auto manifest = desksign::makeManifest(testKey(), "1.4.0", run, run.filename().string(), error);
  ASSERT_TRUE(manifest) << error;
  std::ifstream in(run, std::ios::binary);
  harness->server().setRoute("/desk-update-linux.json", 200, *manifest, "application/json");
  harness->server().setRoute("/download/" + run.filename().string(), 200,
                             std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  // Started with --server, which is not remembered: the installed shell must find its origin here.
  std::filesystem::create_directories(home / "data/TamselDeskNative");
  std::ofstream(home / "data/TamselDeskNative/config.json") << R"({"server":")" << harness->server().origin() << "\"}";
  std::filesystem::create_directories(home / "config/autostart");
  std::ofstream(home / "config/autostart/TamselDeskNative.desktop") << "[Desktop Entry]\nExec=\"/opt/old/tamsel-desk\"\n";

  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(harness->command("deskSend({ t: 'updateCheck', manual: true }); 'asked'"));
  ASSERT_TRUE(waitUntil([&] { return !harness->callbacks("deskUpdateReady").empty(); }, 15000));
  ASSERT_TRUE(harness->command("setTimeout(function () { deskSend({ t: 'updateNow' }); }, 0); 'now'"));
  ASSERT_EQ(harness->shell().wait(15000), 0);
  ASSERT_TRUE(waitUntil([&] { return harness->count("ready") == 2; }, 30000)) << "the installed shell did not start";

  const auto program = home / ".local/lib/tamsel-desk/tamsel-desk";
  pid_t started = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path() / "exe", ec) == program) started = std::stoi(entry.path().filename());
  }
  EXPECT_NE(started, 0) << "the new shell is not the installed program";
  if (started) ::kill(started, SIGTERM);
  std::ifstream autostart(home / "config/autostart/TamselDeskNative.desktop");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(autostart), std::istreambuf_iterator<char>())
                .find("Exec=\"" + program.string() + "\""),
            std::string::npos);
}
