#pragma once
// An App with a web view, pointed at a desk test server, with a private data folder; and
// manifests signed with the repository's test key the way desk-sign signs them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DeskSign.h"
#include "app/AppHarness.h"
#include "common/sha256.h"
#include "common/signature.h"
#include "update/UpdateKey.h"
#include "common/json.h"
#include "support/DeskServer.h"
#include "support/TempDir.h"
#include "update/UpdateManifest.h"
#include "update/UpdatePlatform.h"

inline std::filesystem::path testKeyFile() {
  return std::filesystem::path(DESK_SOURCE_DIR) / "tests/keys/TEST-ONLY-release-key.pem";
}

// The shell was built with the test key (no release key named at configure time).
inline bool builtWithTestKey() {
  std::string error;
  const auto pub = desksign::publicKeyOf(testKeyFile(), error);
  return pub && pub->x == updateKeyX() && pub->y == updateKeyY();
}

inline std::string signWithTestKey(const UpdateManifest& m) {
  std::string error;
  return desksign::signMessage(testKeyFile(), signedUpdateMessage(m), error).value_or("");
}

// A correctly signed announcement of `installer` under `file`.
inline UpdateManifest offer(const std::string& version, const std::string& file, const std::string& installer) {
  UpdateManifest m;
  m.version = version;
  m.file = file;
  m.size = installer.size();
  m.sha256 = sha256Hex(installer);
  m.sig = signWithTestKey(m);
  return m;
}

inline Json manifestJson(const UpdateManifest& m) {
  return Json{{"version", m.version}, {"file", m.file}, {"size", m.size}, {"sha256", m.sha256}, {"sig", m.sig}};
}

inline std::string readyScript(const std::string& version) {
  return "window.deskUpdateReady && window.deskUpdateReady(\"" + version + "\")";
}
inline const std::string kLatest = "window.deskUpdateState && window.deskUpdateState('latest')";
inline const std::string kFail = "window.deskUpdateState && window.deskUpdateState('fail')";

struct UpdateRig {
  DeskServer server;
  std::filesystem::path data;
  AppHarness h;

  explicit UpdateRig(std::filesystem::path dataDir) : data(std::move(dataDir)) {
    h.app->serverOrigin = toWide(server.origin());
    h.app->dataDir = data;
    h.webUp();
  }
  ~UpdateRig() { EXPECT_TRUE(waitIdle()); }

  // A check's worker never waits for anyone; this waits for it so the test reads its outcome.
  bool waitIdle() {
    for (int i = 0; i < 6000 && h.app->updateChecking.load(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !h.app->updateChecking.load();
  }

  // Runs one check to its end and delivers what it posted.
  void check(bool manual) {
    h.app->checkForUpdate(manual);
    EXPECT_TRUE(waitIdle());
    h.desk.pump(*h.app);
  }

  // The update callbacks the page has seen, in order.
  std::vector<std::string> updateScripts() const {
    std::vector<std::string> out;
    for (const auto& s : h.scripts()) {
      if (s.find("deskUpdate") != std::string::npos) out.push_back(s);
    }
    return out;
  }

  void serveManifest(const Json& manifest) {
    server.setRoute(updateManifestPath(), 200, jsonDump(manifest), "application/json");
  }
  void serveManifest(const UpdateManifest& m) { serveManifest(manifestJson(m)); }
  void serveInstaller(const std::string& name, const std::string& bytes) {
    server.setRoute("/download/" + name, 200, bytes);
  }
  std::size_t downloads(const std::string& name) const { return server.requestCount("/download/" + name); }

  std::filesystem::path installer(const std::string& version) const {
    return data / "update" / ("TamselDesk-" + version + installerSuffix());
  }
};

// Every file below a folder, for proving that nothing was left behind.
inline std::vector<std::filesystem::path> filesUnder(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_directory()) out.push_back(it->path());
  }
  return out;
}

#define SKIP_UNLESS_TEST_KEY() \
  if (!builtWithTestKey()) GTEST_SKIP() << "built with a release key; test manifests cannot be signed"
