// Reading the manifest, the signed bytes, the version order and the file-name rules.
#include <gtest/gtest.h>

#include "UpdateRig.h"
#include "update/UpdateInstaller.h"

namespace {

TEST(UpdateVersions, CompareAsDottedNumbers) {
  struct Row {
    const char* a;
    const char* b;
    int expected;
  };
  const Row rows[] = {
      {"1.3", "1.3.0", 0},        {"1.3.0.0", "1.3.0", 0},  {"1.3.0.1", "1.3.0", 1},
      {"1.10.0", "1.9.9", 1},     {"1.9.9", "1.10.0", -1},  {"v2", "1.3.0", -1},
      {"v2", "0", 0},             {"2-beta", "2", 0},       {"", "0", 0},
      {"1.3.", "1.3.0", 0},       {"-1", "0", -1},          {"99999999999", "2147483647", 0},
      {"1.4", "1.3.9.9.9", 1},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(compareVersions(r.a, r.b), r.expected) << r.a << " vs " << r.b;
  }
}

TEST(UpdateManifestRead, KeysCountOnlyWithTheirKinds) {
  struct Row {
    const char* json;
    std::uint64_t size;
    const char* version;
  };
  const Row rows[] = {
      {R"({"version":"1.4","size":12345})", 12345, "1.4"},
      {R"({"version":"1.4","size":12345.0})", 0, "1.4"},
      {R"({"version":"1.4","size":1e4})", 0, "1.4"},
      {R"({"version":"1.4","size":-5})", 0, "1.4"},
      {R"({"version":"1.4","size":"12345"})", 0, "1.4"},
      {R"({"version":1.4,"size":1})", 1, ""},
      {R"({"version":["1.4"]})", 0, ""},
      {R"([1,2])", 0, ""},
  };
  for (const auto& r : rows) {
    const auto m = readManifest(parseJson(r.json));
    EXPECT_EQ(m.size, r.size) << r.json;
    EXPECT_EQ(m.version, r.version) << r.json;
  }
  const auto m = readManifest(parseJson(R"({"file":7,"sha256":null,"sig":true,"extra":"x"})"));
  EXPECT_TRUE(m.file.empty() && m.sha256.empty() && m.sig.empty());
}

TEST(UpdateManifestRead, SignedMessageIsExactBytes) {
  const auto m = readManifest(parseJson(
      R"({"version":"1.4.0","file":"Tamsel \u00e9.run","size":1000,"sha256":"ab","sig":"x"})"));
  EXPECT_EQ(signedUpdateMessage(m), "desk-update\n1.4.0\nTamsel \xC3\xA9.run\n1000\nab");
  EXPECT_EQ(signedUpdateMessage(UpdateManifest{}), std::string("desk-update\n\n\n0\n"));
}

TEST(UpdateManifestRead, SignatureIsNeededForAnythingNewer) {
  SKIP_UNLESS_TEST_KEY();
  auto m = offer("1.4.0", "setup.run", "installer bytes");
  EXPECT_EQ(judgeManifest(m), ManifestVerdict::Accepted);
  struct Row {
    const char* what;
    void (*change)(UpdateManifest&);
    ManifestVerdict expected;
  };
  const Row rows[] = {
      {"no version", [](UpdateManifest& x) { x.version.clear(); }, ManifestVerdict::NoVersion},
      {"current version", [](UpdateManifest& x) { x.version = "1.3.0"; }, ManifestVerdict::NotNewer},
      {"re-signed size 0", [](UpdateManifest& x) { x.size = 0; x.sig = signWithTestKey(x); }, ManifestVerdict::Untrusted},
      {"size 400 MiB", [](UpdateManifest& x) { x.size = 419430400; x.sig = signWithTestKey(x); }, ManifestVerdict::Untrusted},
      {"short hash", [](UpdateManifest& x) { x.sha256.pop_back(); x.sig = signWithTestKey(x); }, ManifestVerdict::Untrusted},
      {"slash in file", [](UpdateManifest& x) { x.file = "a/b"; x.sig = signWithTestKey(x); }, ManifestVerdict::Untrusted},
      {"backslash in file", [](UpdateManifest& x) { x.file = "a\\b"; x.sig = signWithTestKey(x); }, ManifestVerdict::Untrusted},
      {"colon in version", [](UpdateManifest& x) { x.version = "1.4:0"; x.sig = signWithTestKey(x); }, ManifestVerdict::Untrusted},
      {"other size", [](UpdateManifest& x) { x.size += 1; }, ManifestVerdict::Untrusted},
      {"upper-case sig", [](UpdateManifest& x) { for (auto& c : x.sig) c = static_cast<char>(std::toupper(c)); }, ManifestVerdict::Accepted},
      {"sig one digit short", [](UpdateManifest& x) { x.sig.pop_back(); }, ManifestVerdict::Untrusted},
  };
  for (const auto& r : rows) {
    auto changed = m;
    r.change(changed);
    EXPECT_EQ(judgeManifest(changed), r.expected) << r.what;
  }
}

}  // namespace
