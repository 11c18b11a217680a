#include "support/DeskServer.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

struct DeskServer::Impl {
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  mutable std::mutex lock;
  std::condition_variable stopped;
  bool stopping = false;
  std::map<std::string, Route> routes;
  std::string folder;
  std::string pagePath;
  std::vector<std::string> requests;
  std::vector<std::string> records;
  std::map<std::string, std::string> cookies;
};

DeskServer::DeskServer(const std::string& pagePath) : impl_(std::make_unique<Impl>()) {
  impl_->pagePath = pagePath.empty() ? std::string(DESK_SOURCE_DIR) + "/tests/support/desk_page.html"
                                     : pagePath;
  listen();
}

DeskServer::~DeskServer() { stop(); }

std::string DeskServer::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

bool DeskServer::listen() {
  auto server = std::make_unique<httplib::Server>();
  Impl* impl = impl_.get();
  server->set_keep_alive_max_count(1);
  server->Post("/record", [impl](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> g(impl->lock);
    impl->records.push_back(req.body);
    res.status = 204;
  });
  server->Post(".*", [impl](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> g(impl->lock);
    impl->requests.push_back(req.path);
    res.set_content("ok", "text/plain");
  });
  server->Get(".*", [impl](const httplib::Request& req, httplib::Response& res) {
    Route route;
    bool found = false;
    std::string folder;
    {
      std::lock_guard<std::mutex> g(impl->lock);
      std::string target = req.path;
      if (!req.params.empty()) {
        target += "?";
        bool first = true;
        for (const auto& [k, v] : req.params) {
          if (!first) target += "&";
          target += k + "=" + v;
          first = false;
        }
      }
      impl->requests.push_back(target);
      impl->cookies[req.path] = req.get_header_value("Cookie");
      auto it = impl->routes.find(req.path);
      if (it != impl->routes.end()) {
        route = it->second;
        found = true;
      }
      folder = impl->folder;
    }
    if (!found && req.path == "/_desk.html") {
      route.body = readFile(impl->pagePath);
      route.contentType = "text/html; charset=utf-8";
      found = true;
    }
    if (!found && !folder.empty() && req.path.find("..") == std::string::npos) {
      const auto file = std::filesystem::path(folder) / req.path.substr(1);
      std::error_code ec;
      if (std::filesystem::is_regular_file(file, ec)) {
        route.body = readFile(file);
        if (file.extension() == ".json") route.contentType = "application/json";
        found = true;
      }
    }
    if (!found) {
      res.status = 404;
      res.set_content("not found", "text/plain");
      return;
    }
    res.status = route.status;
    for (const auto& [name, value] : route.headers) res.set_header(name, value);
    if (route.stallAfter < 0) {
      res.set_content(route.body, route.contentType);
      return;
    }
    // Announce the whole length, send part of it, then go quiet.
    const auto total = route.body.size();
    const auto sendNow = std::min<std::size_t>(static_cast<std::size_t>(route.stallAfter), total);
    auto body = std::make_shared<std::string>(std::move(route.body));
    res.set_content_provider(
        total, route.contentType,
        [impl, body, sendNow, ms = route.stallMs](std::size_t offset, std::size_t, httplib::DataSink& sink) {
          if (offset < sendNow) {
            sink.write(body->data() + offset, sendNow - offset);
            return true;
          }
          std::unique_lock<std::mutex> g(impl->lock);
          impl->stopped.wait_for(g, std::chrono::milliseconds(ms), [impl] { return impl->stopping; });
          return false;
        });
  });

  const int port = port_ == 0 ? server->bind_to_any_port("127.0.0.1") : (server->bind_to_port("127.0.0.1", port_) ? port_ : -1);
  if (port <= 0) return false;
  port_ = port;
  {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->stopping = false;
  }
  impl_->server = std::move(server);
  httplib::Server* raw = impl_->server.get();
  impl_->thread = std::thread([raw] { raw->listen_after_bind(); });
  // stop() only ends a loop that is already running; one stopped before its thread got going
  // would run for ever and hang the join, so hand the server out only once it runs.
  for (int i = 0; i < 5000 && !raw->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void DeskServer::stop() {
  if (!impl_->server) return;
  {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->stopping = true;
  }
  impl_->stopped.notify_all();
  impl_->server->stop();
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_->server.reset();
}

bool DeskServer::restart() {
  stop();
  return listen();
}

void DeskServer::setRoute(const std::string& path, Route route) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->routes[path] = std::move(route);
}

void DeskServer::setRoute(const std::string& path, int status, std::string body, std::string contentType) {
  Route r;
  r.status = status;
  r.body = std::move(body);
  r.contentType = std::move(contentType);
  setRoute(path, std::move(r));
}

void DeskServer::removeRoute(const std::string& path) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->routes.erase(path);
}

void DeskServer::serveFolder(const std::string& dir) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->folder = dir;
}

std::vector<std::string> DeskServer::requests() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->requests;
}

std::size_t DeskServer::requestCount(const std::string& path) const {
  std::lock_guard<std::mutex> g(impl_->lock);
  std::size_t n = 0;
  for (const auto& r : impl_->requests) {
    if (r == path || r.rfind(path + "?", 0) == 0) ++n;
  }
  return n;
}

std::string DeskServer::lastCookie(const std::string& path) const {
  std::lock_guard<std::mutex> g(impl_->lock);
  const auto it = impl_->cookies.find(path);
  return it == impl_->cookies.end() ? std::string() : it->second;
}

std::vector<std::string> DeskServer::records() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->records;
}

void DeskServer::clearRecords() {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->records.clear();
}
