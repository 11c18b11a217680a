// httpGet against real servers on 127.0.0.1 (plain and TLS, each on a port the system picks).
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "common/http.h"
#include "support/HttpTestServers.h"
#include "support/TempDir.h"

namespace {

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class HttpGet : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Only the servers of this test may answer: no proxy from the environment.
    for (const char* v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      setTestEnv(v, nullptr);
    }
    dir_ = new TempDir("http");
    servers_ = HttpTestServers::start().release();
    ASSERT_TRUE(servers_);
    httpTrustExtraCertificateForTests(servers_->trustedCertificate);
  }
  static void TearDownTestSuite() {
    delete servers_;
    servers_ = nullptr;
    delete dir_;
  }
  void SetUp() override {
    if (!servers_) GTEST_SKIP() << "no test servers";
  }

  static WString plain(const std::string& path) {
    return toWide("http://127.0.0.1:" + std::to_string(servers_->plainPort) + path);
  }
  static WString tls(const std::string& path) {
    return toWide("https://127.0.0.1:" + std::to_string(servers_->tlsPort) + path);
  }

  static inline TempDir* dir_ = nullptr;
  static inline HttpTestServers* servers_ = nullptr;
};

TEST_F(HttpGet, SizesAgainstTheLimit) {
  const struct {
    std::size_t size;
    std::uint64_t maxBytes;
    bool ok;
  } cases[] = {{0, 0, true}, {1, 0, false}, {5, 5, true}, {6, 5, false},
               {200000, 200000, true}, {200001, 200000, false}, {65536, 65536, true}, {65537, 65536, false}};
  for (const auto& c : cases) {
    for (bool toFile : {false, true}) {
      SCOPED_TRACE(std::to_string(c.size) + (toFile ? " file" : " memory"));
      const auto target = dir_->path() / "sized";
      std::filesystem::remove(target);
      std::string body;
      const bool ok = httpGet(plain("/size/" + std::to_string(c.size)), body,
                              toFile ? std::optional(target) : std::nullopt, c.maxBytes, 0);
      EXPECT_EQ(ok, c.ok);
      const std::string stored = toFile ? readFile(target) : body;
      EXPECT_LE(stored.size(), c.maxBytes);
      if (c.ok) {
        EXPECT_EQ(stored, std::string(c.size, 'b'));
      }
      if (toFile) {
        EXPECT_TRUE(body.empty());
        if (c.ok) {
          EXPECT_TRUE(std::filesystem::exists(target));  // an empty 200 leaves an empty file
        }
      }
    }
  }
}

TEST_F(HttpGet, OnlyStatus200AndOtherStatusesLeaveTheFileAlone) {
  const auto target = dir_->path() / "existing";
  for (int status : {204, 206, 304, 404, 500, 301}) {
    SCOPED_TRACE(status);
    { std::ofstream(target, std::ios::binary) << "keep me"; }
    std::string body;
    EXPECT_FALSE(httpGet(plain("/status/" + std::to_string(status)), body, target, 1000, 0));
    EXPECT_EQ(readFile(target), "keep me");
    EXPECT_FALSE(httpGet(tls("/status/" + std::to_string(status)), body, std::nullopt, 1000, 0));
  }
  std::string body;
  EXPECT_TRUE(httpGet(plain("/size/3"), body, target, 1000, 0));
  EXPECT_EQ(readFile(target), "bbb");  // a 200 truncates
}

// Redirects, certificates and the scheme gate: which addresses are fetched at all.
TEST_F(HttpGet, WhatIsFetched) {
  const std::string port = std::to_string(servers_->plainPort);
  const std::string tlsPort = std::to_string(servers_->tlsPort);
  const struct {
    WString url;
    bool ok;
    const char* body;
  } cases[] = {
      {plain("/hops/10"), true, "arrived"},
      {plain("/hops/11"), false, ""},
      {tls("/hops/10"), true, "arrived"},
      {tls("/hops/11"), false, ""},
      {tls("/to-plain"), false, ""},
      {plain("/to-lan"), false, ""},
      {tls("/to-lan"), false, ""},
      {plain("/to-ftp"), false, ""},
      {tls("/rel/deep"), true, "bbb"},
      {tls("/size/4"), true, "bbbb"},
      // A certificate nobody trusts, and a trusted one for another name.
      {toWide("https://127.0.0.1:" + std::to_string(servers_->strangerPort) + "/size/4"), false, ""},
      {toWide("https://localhost:" + tlsPort + "/size/4"), false, ""},
      // Server mode: plain http to a local host only; never an attempt elsewhere.
      {toWide("http://localhost:" + port + "/size/1"), true, "b"},
      {toWide("http://LOCALHOST:" + port + "/size/1"), true, "b"},
      {DESK_W("http://10.255.255.1/size/1"), false, ""},
      {DESK_W("http://192.168.1.5/size/1"), false, ""},
      {toWide("ftp://127.0.0.1:" + port + "/"), false, ""},
      {toWide("http://u:p@127.0.0.1:" + port + "/size/1"), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toNarrow(c.url));
    std::string body;
    EXPECT_EQ(httpGet(c.url, body, std::nullopt, 1000, 0), c.ok);
    if (c.ok) {
      EXPECT_EQ(body, c.body);
    }
  }
  std::string body;
  EXPECT_FALSE(httpGet(plain("/size/1"), body, std::nullopt, 10, -1));
  // The IPv6 loop-back literal is a local host too (where this machine has IPv6 loop-back).
  if (servers_->v6Port > 0) {
    EXPECT_TRUE(httpGet(toWide("http://[::1]:" + std::to_string(servers_->v6Port) + "/size/1"), body,
                        std::nullopt, 10, 0));
  }
  // LAN mode takes plain http, and no proxy from the environment even when one is named.
  setTestEnv("http_proxy", "http://127.0.0.1:9");
  body.clear();
  EXPECT_TRUE(httpGet(plain("/size/2"), body, std::nullopt, 10, 1500));
  EXPECT_EQ(body, "bb");
  setTestEnv("http_proxy", nullptr);
}

TEST_F(HttpGet, StalledBodyEndsTheCall) {
  std::string body;
  EXPECT_FALSE(httpGet(plain("/stall"), body, std::nullopt, 100, 300));
  EXPECT_EQ(body, "first");
}

TEST_F(HttpGet, FailedWritesFailTheCall) {
  std::string body;
  EXPECT_FALSE(httpGet(plain("/size/10"), body, dir_->path() / "no-such-dir" / "f", 100, 0));
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_FALSE(httpGet(plain("/size/10"), body, std::filesystem::path("/dev/full"), 100, 0));
  }
}

TEST_F(HttpGet, CallsShareNothing) {
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      std::string body;
      const auto url = i % 2 ? tls("/size/70000") : plain("/size/70000");
      if (httpGet(url, body, std::nullopt, 70000, 0) && body.size() == 70000) ++good;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good, 4);
}

}  // namespace
