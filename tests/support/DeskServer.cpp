// The desk test server over the shell's own sockets, on 127.0.0.1 only: one thread per connection, one request per
// connection ("Connection: close"), GET and POST. The same code serves the
// Linux tests and the Windows tests under Wine.
#include "support/DeskServer.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "lan/Socket.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// As a server library hands paths over: %XX decoded.
std::string percentDecoded(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// The value of a header field (name in lower case) in a request head whose lines end in CRLF.
std::string headerValue(const std::string& head, const std::string& name) {
  std::string lower = head;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto at = lower.find("\r\n" + name + ":");
  if (at == std::string::npos) return {};
  std::size_t from = at + name.size() + 3;
  const std::size_t to = head.find("\r\n", from);
  while (from < to && (head[from] == ' ' || head[from] == '\t')) ++from;
  std::size_t end = to;
  while (end > from && (head[end - 1] == ' ' || head[end - 1] == '\t')) --end;
  return head.substr(from, end - from);
}

std::string reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 404: return "Not Found";
    default: return "Status";
  }
}

}  // namespace

struct DeskServer::Impl {
  Socket listener;
  std::atomic<bool> closing{false};  // ends every wait of the server's threads
  std::set<const Socket*> open;      // shut down by stop(), which wakes their receives
  std::thread acceptor;
  std::vector<std::thread> connections;
  mutable std::mutex lock;
  std::condition_variable stopped;  // wakes stalled answers
  std::map<std::string, Route> routes;
  std::string folder;
  std::string pagePath;
  std::vector<std::string> requests;
  std::vector<std::string> records;
  std::map<std::string, std::string> cookies;  // the Cookie header of the last GET, by path

  void serve(Socket socket);
  bool lookup(const std::string& path, Route& route);
};

bool DeskServer::Impl::lookup(const std::string& path, Route& route) {
  std::string folderCopy;
  {
    std::lock_guard<std::mutex> g(lock);
    if (auto it = routes.find(path); it != routes.end()) {
      route = it->second;
      return true;
    }
    folderCopy = folder;
  }
  if (path == "/_desk.html") {
    route.body = readFile(pagePath);
    route.contentType = "text/html; charset=utf-8";
    return true;
  }
  if (folderCopy.empty() || path.find("..") != std::string::npos) return false;
  const auto file = std::filesystem::path(folderCopy) / path.substr(1);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  route.body = readFile(file);
  if (file.extension() == ".json") route.contentType = "application/json";
  return true;
}

void DeskServer::Impl::serve(Socket socket) {
  {
    std::lock_guard<std::mutex> g(lock);
    if (closing) return;
    open.insert(&socket);
  }
  struct Forget {
    Impl* impl;
    const Socket* socket;
    ~Forget() {
      std::lock_guard<std::mutex> g(impl->lock);
      impl->open.erase(socket);
    }
  } forget{this, &socket};
  std::string got;
  char buf[16384];
  std::size_t headEnd;
  while ((headEnd = got.find("\r\n\r\n")) == std::string::npos) {
    const long n = socket.receive(buf, sizeof buf);
    if (n <= 0) return;
    got.append(buf, static_cast<std::size_t>(n));
  }
  const std::string line = got.substr(0, got.find("\r\n"));
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = line.rfind(' ');
  if (sp1 == std::string::npos || sp2 <= sp1) return;
  const std::string method = line.substr(0, sp1);
  const std::string target = percentDecoded(line.substr(sp1 + 1, sp2 - sp1 - 1));
  const std::string path = target.substr(0, target.find('?'));
  const std::string head = got.substr(0, headEnd + 2);

  if (method == "POST") {
    // The whole body is read even where it is not kept: closing on unread bytes would reset
    // the connection under the answer.
    const std::size_t length = std::strtoul(headerValue(head, "content-length").c_str(), nullptr, 10);
    std::string body = got.substr(headEnd + 4);
    while (body.size() < length) {
      const long n = socket.receive(buf, sizeof buf);
      if (n <= 0) return;
      body.append(buf, static_cast<std::size_t>(n));
    }
    {
      std::lock_guard<std::mutex> g(lock);
      if (path == "/record") {
        records.push_back(body.substr(0, length));
      } else {
        requests.push_back(path);
      }
    }
    socket.sendAll(path == "/record" ? "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"
                                     : "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
                                       "Content-Length: 2\r\n\r\nok");
    return;
  }
  {
    std::lock_guard<std::mutex> g(lock);
    requests.push_back(target);
    cookies[path] = headerValue(head, "cookie");
  }
  Route route;
  if (!lookup(path, route)) {
    route.status = 404;
    route.body = "not found";
    route.contentType = "text/plain";
  }
  const bool noBody = route.status == 204 || route.status == 304;
  std::string answer = "HTTP/1.1 " + std::to_string(route.status) + " " + reason(route.status) +
                       "\r\nConnection: close\r\n";
  for (const auto& [name, value] : route.headers) answer += name + ": " + value + "\r\n";
  if (!noBody) {
    answer += "Content-Type: " + route.contentType + "\r\nContent-Length: " + std::to_string(route.body.size()) +
              "\r\n";
  }
  answer += "\r\n";
  if (noBody) {
    socket.sendAll(answer);
    return;
  }
  if (route.stallAfter < 0) {
    socket.sendAll(answer + route.body);
    return;
  }
  // Announce the whole length, send part of it, then go quiet.
  const auto sendNow = std::min<std::size_t>(static_cast<std::size_t>(route.stallAfter), route.body.size());
  if (!socket.sendAll(answer + route.body.substr(0, sendNow))) return;
  std::unique_lock<std::mutex> g(lock);
  stopped.wait_for(g, std::chrono::milliseconds(route.stallMs), [this] { return closing.load(); });
}

DeskServer::DeskServer(const std::string& pagePath) : impl_(std::make_unique<Impl>()) {
  impl_->pagePath = pagePath.empty() ? std::string(DESK_SOURCE_DIR) + "/tests/support/desk_page.html"
                                     : pagePath;
  listen();
}

DeskServer::~DeskServer() { stop(); }

std::string DeskServer::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

bool DeskServer::listen() {
  auto port = static_cast<std::uint16_t>(port_);
  impl_->listener = Socket::listenLocal(16, port);
  if (!impl_->listener.valid()) return false;
  port_ = port;
  impl_->closing = false;
  Impl* impl = impl_.get();
  impl_->acceptor = std::thread([impl] {
    for (bool stopped = false; !stopped;) {
      Socket c = impl->listener.accept(stopped);
      if (!c.valid()) continue;
      std::lock_guard<std::mutex> g(impl->lock);
      impl->connections.emplace_back([impl, s = std::move(c)]() mutable { impl->serve(std::move(s)); });
    }
  });
  return true;
}

void DeskServer::stop() {
  if (!impl_->acceptor.joinable()) return;
  {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->closing = true;
    impl_->listener.shutdownBoth();
    for (const Socket* s : impl_->open) s->shutdownBoth();
  }
  impl_->stopped.notify_all();
  impl_->acceptor.join();
  for (auto& t : impl_->connections) t.join();
  impl_->connections.clear();
  impl_->listener = Socket();
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
