// The check against the desk test server: what a manual check answers, that an automatic one
// stays silent, and that checks run one at a time.
#include <gtest/gtest.h>

#include "UpdateRig.h"
#include "update/UpdateReady.h"

namespace {

const std::string kInstaller = "#!/bin/sh\necho installer\n";

struct Served {
  const char* what;
  int status;
  std::string body;  // empty with status 200: a signed offer built from `version`
  std::string version;
  bool withInstaller;
  std::string manualAnswer;  // the one update callback of a manual check
  bool automaticAnnounces;
};

std::string signedOffer(const std::string& version) {
  return jsonDump(manifestJson(offer(version, "setup.run", kInstaller)));
}

TEST(UpdateCheck, ManualChecksAnswerAndAutomaticChecksOnlyAnnounce) {
  SKIP_UNLESS_TEST_KEY();
  auto current = offer("1.3.0", "setup.run", kInstaller);
  current.sig[10] = current.sig[10] == '0' ? '1' : '0';
  auto newerUnsigned = offer("1.4.0", "setup.run", kInstaller);
  newerUnsigned.sig[10] = newerUnsigned.sig[10] == '0' ? '1' : '0';
  // Signed over size 12345, but written as 12345.0 it reads as no size at all.
  auto fractional = manifestJson(offer("1.4.0", "setup.run", std::string(12345, 'x')));
  fractional["size"] = 12345.0;

  const std::vector<Served> rows = {
      {"404", 404, "not found", "", false, kFail, false},
      {"HTML page", 200, "<!doctype html><html><body>hello</body></html>", "", false, kFail, false},
      {"object without version", 200, R"({"file":"setup.run"})", "", false, kLatest, false},
      {"current version, broken signature", 200, jsonDump(manifestJson(current)), "", false, kLatest, false},
      {"1.3", 200, signedOffer("1.3"), "", true, kLatest, false},
      {"1.3.0.0", 200, signedOffer("1.3.0.0"), "", true, kLatest, false},
      {"v2", 200, signedOffer("v2"), "", true, kLatest, false},
      {"newer, broken signature", 200, jsonDump(manifestJson(newerUnsigned)), "", true, kFail, false},
      {"size 12345.0", 200, jsonDump(fractional), "", true, kFail, false},
      {"newer, installer missing", 200, "", "1.4.0", false, kFail, false},
      {"1.3.0.1", 200, "", "1.3.0.1", true, readyScript("1.3.0.1"), true},
      {"1.10.0", 200, "", "1.10.0", true, readyScript("1.10.0"), true},
  };
  for (const auto& row : rows) {
    for (const bool manual : {true, false}) {
      TempDir data("update");
      UpdateRig rig(data.path());
      rig.server.setRoute(updateManifestPath(), row.status,
                          row.body.empty() ? signedOffer(row.version) : row.body, "text/html");
      if (row.withInstaller) rig.serveInstaller("setup.run", kInstaller);
      rig.check(manual);
      std::vector<std::string> expected;
      if (manual) expected = {row.manualAnswer};
      else if (row.automaticAnnounces) expected = {row.manualAnswer};
      EXPECT_EQ(rig.updateScripts(), expected) << row.what << (manual ? " (manual)" : " (automatic)");
      EXPECT_EQ(rig.server.requestCount(updateManifestPath()), 1u) << row.what;
    }
  }
}

TEST(UpdateCheck, VersionThatWouldLeaveTheUpdateFolderIsRefused) {
  SKIP_UNLESS_TEST_KEY();
  for (const std::string& version : std::vector<std::string>{"2/../../../evil", "2\\..\\evil", "2:evil", std::string("2\0x", 3), "2..evil"}) {
    TempDir data("update");
    UpdateRig rig(data.path() / "inner");
    rig.serveManifest(offer(version, "setup.run", kInstaller));
    rig.serveInstaller("setup.run", kInstaller);
    rig.check(true);
    EXPECT_EQ(rig.updateScripts(), std::vector<std::string>{kFail}) << version;
    EXPECT_EQ(rig.downloads("setup.run"), 0u) << version;
    EXPECT_TRUE(filesUnder(data.path()).empty()) << version;
  }
}

TEST(UpdateCheck, ManualRequestDuringAnAutomaticCheckIsAnsweredByIt) {
  SKIP_UNLESS_TEST_KEY();
  TempDir data("update");
  UpdateRig rig(data.path());
  DeskServer::Route stalled;
  stalled.body = R"({"version":"1.3.0"})";
  stalled.contentType = "application/json";
  stalled.stallAfter = 0;
  stalled.stallMs = 300;
  rig.server.setRoute(updateManifestPath(), stalled);

  rig.h.app->checkForUpdate(false);
  for (int i = 0; i < 3000 && rig.server.requestCount(updateManifestPath()) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(rig.server.requestCount(updateManifestPath()), 1u);
  rig.h.app->checkForUpdate(true);  // the automatic check is still waiting for its manifest
  ASSERT_TRUE(rig.waitIdle());
  rig.h.desk.pump(*rig.h.app);
  EXPECT_EQ(rig.server.requestCount(updateManifestPath()), 1u);
  EXPECT_EQ(rig.updateScripts(), std::vector<std::string>{kFail});
  EXPECT_FALSE(rig.h.app->updateManual.load());
}

TEST(UpdateCheck, ManualCheckWhileReadyAnnouncesAgainWithoutTheNetwork) {
  TempDir data("update");
  UpdateRig rig(data.path());
  auto ready = std::make_unique<UpdateReady>();
  ready->path = rig.installer("1.4.0");
  ready->version = "1.4.\"0\\";
  rig.h.app->onUpdateReady(std::move(ready));
  const auto requests = rig.server.requests().size();
  rig.h.fromPage(R"({"t":"updateCheck","manual":true})");
  EXPECT_FALSE(rig.h.app->updateChecking.load());
  EXPECT_EQ(rig.server.requests().size(), requests);
  const std::string announce = R"(window.deskUpdateReady && window.deskUpdateReady("1.4.\"0\\"))";
  EXPECT_EQ(rig.updateScripts(), (std::vector<std::string>{announce, announce}));
}

TEST(UpdateCheck, NothingIsCheckedOnceTheShellCloses) {
  TempDir data("update");
  UpdateRig rig(data.path());
  rig.h.app->closing = true;
  rig.h.app->checkForUpdate(true);
  EXPECT_FALSE(rig.h.app->updateChecking.load());
  EXPECT_EQ(rig.server.requestCount(updateManifestPath()), 0u);
}

}  // namespace
