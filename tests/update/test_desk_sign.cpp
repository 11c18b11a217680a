// The release signing tool as release makers run it: its keys, and manifests that the shell
// accepts as they are and refuses after any change.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "UpdateRig.h"
#include "support/PlatformFacts.h"

namespace fs = std::filesystem;

namespace {

// The arguments are the test's own, free of quoting characters except spaces.
CommandRun deskSign(const std::string& args) {
  return runCommand("\"" + fs::path(DESK_SIGN_EXE).string() + "\" " + args);
}

std::string quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

TEST(DeskSign, KeygenWritesAPrivateKeyAndPrintsItsPoint) {
  TempDir dir("sign");
  const fs::path key = dir / "release.pem";
  const CommandRun run = deskSign("keygen " + quoted(key));
  ASSERT_EQ(run.status, 0);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(run.out, m, std::regex("x=([0-9a-f]{64})\ny=([0-9a-f]{64})\n")));
  EXPECT_TRUE(privateToOwner(key, false));
  std::string error;
  const auto pub = desksign::publicKeyOf(key, error);
  ASSERT_TRUE(pub);
  EXPECT_EQ(pub->x, m[1].str());
  EXPECT_EQ(pub->y, m[2].str());

  // Its signatures verify against exactly the printed point.
  const auto sig = desksign::signMessage(key, "desk-update\nm", error);
  ASSERT_TRUE(sig);
  EXPECT_TRUE(verifySignatureWithKey("desk-update\nm", *sig, pub->x, pub->y));
  EXPECT_FALSE(verifySignatureWithKey("desk-update\nn", *sig, pub->x, pub->y));

  EXPECT_NE(deskSign("keygen " + quoted(key)).status, 0);  // never over an existing key
}

TEST(DeskSign, ShellAcceptsItsManifestAndRefusesAnyChangedByte) {
  SKIP_UNLESS_TEST_KEY();
  TempDir dir("sign");
  const std::string installer = "#!/bin/sh\nexit 0\n";
  std::ofstream(dir / "TamselDesk-1.4.0.run", std::ios::binary) << installer;
  const CommandRun run = deskSign("manifest --key " + quoted(testKeyFile()) + " --version 1.4.0 --file " +
                                  quoted(dir / "TamselDesk-1.4.0.run") + " --name \"Tamsel Setup.run\"");
  ASSERT_EQ(run.status, 0);
  const Json manifest = parseJson(run.out);
  ASSERT_TRUE(manifest.is_object()) << run.out;
  EXPECT_EQ(manifest.size(), 5u);
  EXPECT_EQ(manifest["file"], "Tamsel Setup.run");
  EXPECT_EQ(manifest["size"], installer.size());
  EXPECT_EQ(manifest["sha256"], sha256Hex(installer));

  const auto flip = [](std::string s, std::size_t at) {
    s[at] = s[at] == '1' ? '2' : '1';
    return s;
  };
  struct Row {
    const char* what;
    Json manifest;
    bool ready;
  };
  std::vector<Row> rows = {{"as made", manifest, true}};
  for (const char* key : {"version", "file", "sha256", "sig"}) {
    Json changed = manifest;
    // The version's last digit, so the changed version is still newer than this shell.
    const std::string value = changed[key].get<std::string>();
    changed[key] = flip(value, std::string_view(key) == "version" ? value.size() - 1 : 2);
    rows.push_back({key, changed, false});
  }
  Json bigger = manifest;
  bigger["size"] = installer.size() + 1;
  rows.push_back({"size", bigger, false});

  for (const auto& row : rows) {
    TempDir data("update");
    UpdateRig rig(data.path());
    rig.serveManifest(row.manifest);
    rig.serveInstaller(row.manifest["file"].get<std::string>(), installer);
    rig.check(true);
    const std::string version = row.manifest["version"].get<std::string>();
    EXPECT_EQ(rig.updateScripts(), std::vector<std::string>{row.ready ? readyScript(version) : kFail}) << row.what;
  }
}

TEST(DeskSign, RefusesWhatTheShellWouldRefuse) {
  TempDir dir("sign");
  std::ofstream(dir / "setup.run", std::ios::binary) << "x";
  std::ofstream(dir / "empty.run", std::ios::binary);
  const std::string key = " --key " + quoted(testKeyFile());
  const std::string file = " --file " + quoted(dir / "setup.run");
  std::vector<std::string> refused{"manifest" + key + " --version 1.4" + file + " --name a/b",
                                   "manifest" + key + " --version 1.4 --file " + quoted(dir / "empty.run"),
                                   "manifest --key " + quoted(dir / "setup.run") + " --version 1.4" + file,
                                   "manifest" + key + file, "sign"};
  // Versions the shell would not compare as written: a typo must not ship an update nobody gets.
  for (const char* version : {"1.4/../x", "abc", "v1.5.0", "1.5.0-beta", "1..5", "1.5.", ".1", "2147483648.1"})
    refused.push_back("manifest" + key + " --version \"" + version + "\"" + file);
  for (const std::string& args : refused) {
    const CommandRun run = deskSign(args);
    EXPECT_NE(run.status, 0) << args;
    EXPECT_TRUE(run.out.empty()) << args;
  }
}

}  // namespace
