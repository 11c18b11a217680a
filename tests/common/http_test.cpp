// httpGet against real servers on 127.0.0.1 (plain and TLS, each on a port the system picks).
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "common/http.h"
#include "support/TempDir.h"

namespace {

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A self-signed certificate for 127.0.0.1, made with the openssl tool for this run only.
bool makeCertificate(const std::filesystem::path& dir, const std::string& name) {
  const std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                          " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                          " -keyout '" + (dir / (name + ".key")).string() + "' -out '" +
                          (dir / (name + ".pem")).string() + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

class Running {
 public:
  explicit Running(std::unique_ptr<httplib::Server> server, const char* host = "127.0.0.1")
      : server_(std::move(server)) {
    port_ = server_->bind_to_any_port(host);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop() before the loop runs is lost and the join would hang.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Running() {
    server_->stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

std::atomic<bool> stopStalling{false};

void routes(httplib::Server& s, int* plainPort) {
  s.Get(R"(/size/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content(std::string(std::stoul(req.matches[1]), 'b'), "application/octet-stream");
  });
  s.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    res.status = std::stoi(req.matches[1]);
    if (res.status != 204 && res.status != 304) res.set_content("not this", "text/plain");
  });
  s.Get(R"(/hops/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    const int n = std::stoi(req.matches[1]);
    if (n == 0) {
      res.set_content("arrived", "text/plain");
    } else {
      res.set_redirect("/hops/" + std::to_string(n - 1), n % 2 ? 302 : 301);
    }
  });
  s.Get("/to-plain", [plainPort](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("http://127.0.0.1:" + std::to_string(*plainPort) + "/size/5");
  });
  s.Get("/to-lan", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("http://10.255.255.1/size/5");  // refused before any connection
  });
  s.Get("/rel/deep", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("../size/./3", 307);  // relative to the folder of the address that answered
  });
  s.Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("ftp://127.0.0.1/x");
  });
  s.Get("/stall", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
      sink.write("first", 5);
      for (int i = 0; i < 100 && !stopStalling; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return false;
    });
  });
}

class HttpGet : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Only the servers of this test may answer: no proxy from the environment.
    for (const char* v : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(v);
    }
    dir_ = new TempDir("http");
    ASSERT_TRUE(makeCertificate(dir_->path(), "trusted"));
    ASSERT_TRUE(makeCertificate(dir_->path(), "stranger"));
    httpTrustExtraCertificateForTests(dir_->path() / "trusted.pem");

    auto plain = std::make_unique<httplib::Server>();
    routes(*plain, &plainPort_);
    plain_ = new Running(std::move(plain));
    plainPort_ = plain_->port();

    const std::string d = dir_->path().string();
    auto tls = std::make_unique<httplib::SSLServer>((d + "/trusted.pem").c_str(), (d + "/trusted.key").c_str());
    ASSERT_TRUE(tls->is_valid());
    routes(*tls, &plainPort_);
    tls_ = new Running(std::move(tls));

    auto stranger = std::make_unique<httplib::SSLServer>((d + "/stranger.pem").c_str(),
                                                         (d + "/stranger.key").c_str());
    routes(*stranger, &plainPort_);
    stranger_ = new Running(std::move(stranger));
  }
  static void TearDownTestSuite() {
    stopStalling = true;
    delete stranger_;
    delete tls_;
    delete plain_;
    delete dir_;
  }

  static std::u16string plain(const std::string& path) {
    return toWide("http://127.0.0.1:" + std::to_string(plainPort_) + path);
  }
  static std::u16string tls(const std::string& path) {
    return toWide("https://127.0.0.1:" + std::to_string(tls_->port()) + path);
  }

  static inline TempDir* dir_ = nullptr;
  static inline Running* plain_ = nullptr;
  static inline Running* tls_ = nullptr;
  static inline Running* stranger_ = nullptr;
  static inline int plainPort_ = 0;
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
  const std::string port = std::to_string(plainPort_);
  const std::string tlsPort = std::to_string(tls_->port());
  const struct {
    std::u16string url;
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
      {toWide("https://127.0.0.1:" + std::to_string(stranger_->port()) + "/size/4"), false, ""},
      {toWide("https://localhost:" + tlsPort + "/size/4"), false, ""},
      // Server mode: plain http to a local host only; never an attempt elsewhere.
      {toWide("http://localhost:" + port + "/size/1"), true, "b"},
      {toWide("http://LOCALHOST:" + port + "/size/1"), true, "b"},
      {u"http://10.255.255.1/size/1", false, ""},
      {u"http://192.168.1.5/size/1", false, ""},
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
  auto v6server = std::make_unique<httplib::Server>();
  routes(*v6server, &plainPort_);
  Running v6(std::move(v6server), "::1");
  if (v6.port() > 0) {
    EXPECT_TRUE(httpGet(toWide("http://[::1]:" + std::to_string(v6.port()) + "/size/1"), body,
                        std::nullopt, 10, 0));
  }
  // LAN mode takes plain http, and no proxy from the environment even when one is named.
  setenv("http_proxy", "http://127.0.0.1:9", 1);
  body.clear();
  EXPECT_TRUE(httpGet(plain("/size/2"), body, std::nullopt, 10, 1500));
  EXPECT_EQ(body, "bb");
  unsetenv("http_proxy");
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
