#include "support/HttpTestServers.h"

#include <httplib.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/TempDir.h"

namespace {

// A self-signed certificate for 127.0.0.1, made with the openssl tool for this run only. The
// address is a DNS name too, as Wine matches a server name against DNS names only.
bool makeCertificate(const std::filesystem::path& dir, const std::string& name) {
  const std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                          " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,DNS:127.0.0.1"
                          " -keyout '" + (dir / (name + ".key")).string() + "' -out '" +
                          (dir / (name + ".pem")).string() + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

class Running {
 public:
  Running(std::unique_ptr<httplib::Server> server, const char* host) : server_(std::move(server)) {
    port_ = server_->bind_to_any_port(host);
    if (port_ <= 0) return;  // no such address here (IPv6 loop-back)
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop() before the loop runs is lost and the join would hang.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Running() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return port_; }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

void routes(httplib::Server& s, const int* plainPort, const std::atomic<bool>* stopStalling) {
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
  s.Get("/stall", [stopStalling](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [stopStalling](size_t, httplib::DataSink& sink) {
      sink.write("first", 5);
      for (int i = 0; i < 100 && !*stopStalling; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return false;
    });
  });
}

struct LocalServers : HttpTestServers {
  TempDir dir{"http"};
  std::atomic<bool> stopStalling{false};
  std::unique_ptr<Running> plain, tls, stranger, v6;

  ~LocalServers() override { stopStalling = true; }

  std::unique_ptr<Running> serve(std::unique_ptr<httplib::Server> server, const char* host = "127.0.0.1") {
    routes(*server, &plainPort, &stopStalling);
    return std::make_unique<Running>(std::move(server), host);
  }
  std::unique_ptr<httplib::Server> tlsServer(const std::string& name) {
    const std::string d = dir.path().string();
    return std::make_unique<httplib::SSLServer>((d + "/" + name + ".pem").c_str(), (d + "/" + name + ".key").c_str());
  }
};

}  // namespace

std::unique_ptr<HttpTestServers> HttpTestServers::start() {
  auto s = std::make_unique<LocalServers>();
  if (!makeCertificate(s->dir.path(), "trusted") || !makeCertificate(s->dir.path(), "stranger")) {
    std::fprintf(stderr, "HttpTestServers: the openssl tool could not make a certificate\n");
    return nullptr;
  }
  s->trustedCertificate = s->dir.path() / "trusted.pem";
  s->plain = s->serve(std::make_unique<httplib::Server>());
  s->plainPort = s->plain->port();
  s->tls = s->serve(s->tlsServer("trusted"));
  s->tlsPort = s->tls->port();
  s->stranger = s->serve(s->tlsServer("stranger"));
  s->strangerPort = s->stranger->port();
  s->v6 = s->serve(std::make_unique<httplib::Server>(), "::1");
  s->v6Port = std::max(s->v6->port(), 0);
  if (s->plainPort <= 0 || s->tlsPort <= 0 || s->strangerPort <= 0) {
    std::fprintf(stderr, "HttpTestServers: cannot listen on 127.0.0.1\n");
    return nullptr;
  }
  return s;
}

std::string HttpTestServers::describe() const {
  return std::to_string(plainPort) + " " + std::to_string(tlsPort) + " " + std::to_string(strangerPort) + " " +
         std::to_string(v6Port) + " " + trustedCertificate.string();
}

void setTestEnv(const char* name, const char* value) {
  if (value) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}
