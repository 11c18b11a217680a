#pragma once
// The desk test server: a small HTTP server on 127.0.0.1 with a free port, standing in for the
// desk web application. It serves "/_desk.html" (the test page) and whatever routes a test sets
// ("/desk-file/...", "/desk-update-linux.json", "/download/..."), records every request path,
// and collects what the test page posts to "/record" (the callbacks the shell ran in it). Other
// POSTs are answered 200 and recorded like requests.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class DeskServer {
 public:
  struct Route {
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    // When set, only this many body bytes are sent, then the connection stalls until the
    // server stops (or stallMs passes) and is closed.
    std::ptrdiff_t stallAfter = -1;
    int stallMs = 10000;
    std::vector<std::pair<std::string, std::string>> headers;  // extra answer headers
  };

  // Starts serving at once. pagePath empty: the test page from the source tree.
  explicit DeskServer(const std::string& pagePath = {});
  ~DeskServer();
  DeskServer(const DeskServer&) = delete;
  DeskServer& operator=(const DeskServer&) = delete;

  int port() const { return port_; }
  std::string origin() const;  // "http://127.0.0.1:PORT"

  void setRoute(const std::string& path, Route route);
  void setRoute(const std::string& path, int status, std::string body,
                std::string contentType = "application/octet-stream");
  void removeRoute(const std::string& path);
  // Serves every file under dir by its relative path ("/desk-file/<hex>", "/download/<name>").
  void serveFolder(const std::string& dir);

  std::vector<std::string> requests() const;  // paths with their query, in arrival order (any method)
  std::string lastCookie(const std::string& path) const;  // the Cookie header of the last request for path
  std::size_t requestCount(const std::string& path) const;
  std::vector<std::string> records() const;   // bodies posted to /record
  void clearRecords();

  // Stops answering (connections refused) and starts again on the same port.
  void stop();
  bool restart();

 private:
  struct Impl;
  bool listen();
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};
