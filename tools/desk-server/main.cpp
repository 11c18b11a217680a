// desk-server: serves a desk page and the desk application's endpoints on 127.0.0.1.
//
//   desk-server --page FILE [--root DIR] [--port N]
//
// "/_desk.html" is FILE; every other GET is looked up under DIR by its path
// ("/desk-file/<hex>", "/download/<name>", "/desk-update-linux.json"). What the page posts to
// "/record" is printed on standard output, one line per post. The chosen port is printed first
// as "port=N" so a script can read it.
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

httplib::Server* g_server = nullptr;

void onSignal(int) {
  if (g_server) g_server->stop();
}

bool readFile(const std::filesystem::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string contentType(const std::filesystem::path& p) {
  const auto ext = p.extension().string();
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".json") return "application/json";
  if (ext == ".png") return "image/png";
  return "application/octet-stream";
}

}  // namespace

int main(int argc, char** argv) {
  std::string page;
  std::string root;
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--page" && i + 1 < argc) {
      page = argv[++i];
    } else if (a == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (a == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: desk-server --page FILE [--root DIR] [--port N]\n");
      return 2;
    }
  }
  if (page.empty()) {
    std::fprintf(stderr, "desk-server: --page is required\n");
    return 2;
  }

  httplib::Server server;
  server.Post("/record", [](const httplib::Request& req, httplib::Response& res) {
    std::cout << "record " << req.body << std::endl;
    res.status = 204;
  });
  server.Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
    std::string body;
    std::filesystem::path file;
    if (req.path == "/_desk.html") {
      file = page;
    } else if (!root.empty() && req.path.find("..") == std::string::npos) {
      file = std::filesystem::path(root) / req.path.substr(1);
    }
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec) || !readFile(file, body)) {
      res.status = 404;
      res.set_content("not found", "text/plain");
      return;
    }
    res.set_content(body, contentType(file));
  });

  const int bound = port == 0 ? server.bind_to_any_port("127.0.0.1")
                              : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (bound <= 0) {
    std::fprintf(stderr, "desk-server: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }
  std::cout << "port=" << bound << std::endl;
  g_server = &server;
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  server.listen_after_bind();
  return 0;
}
