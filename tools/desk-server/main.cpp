// desk-server: the demo desk application's server, on 127.0.0.1.
//
//   desk-server --site DIR [--root DIR] [--port N] [--key PEM [--windows EXE]] [--inject FILE]
//   desk-server --page FILE [--root DIR] [--port N]
//
// "/_desk.html" is DIR/index.html (or FILE) and the page's other files are DIR's files by path. The desk
// application's endpoints: "/desk-file/<id>" serves the sample files listed at
// "/demo/samples.json"; with --key, DIR/installer.sh is signed at start as a newer version and
// offered through "/desk-update-linux.json" and "/download/<name>", and --windows EXE (a Windows
// installer, as the win64 build's packages target makes it) through "/desk-update.json" and
// "/download/TamselDesk-<version>.exe", signed the same way. Any other GET is looked up
// under --root (where the demo installer leaves its note). What is posted to "/record" is
// printed on standard output, one line per post; --inject FILE adds FILE to the page as the
// script "/_inject.js" (the desktop tests drive the page with it). The port is printed first as
// "port=N" so a script can read it.
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "DeskSign.h"
#include "Samples.h"
#include "SiteFiles.h"

namespace {

httplib::Server* g_server = nullptr;

void onSignal(int) {
  if (g_server) g_server->stop();
}

struct Options {
  std::filesystem::path site;
  std::filesystem::path page;
  std::filesystem::path root;
  std::filesystem::path key;
  std::filesystem::path inject;
  std::filesystem::path windows;
  int port = 0;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (a == "--site") o.site = value;
    else if (a == "--page") o.page = value;
    else if (a == "--root") o.root = value;
    else if (a == "--key") o.key = value;
    else if (a == "--inject") o.inject = value;
    else if (a == "--windows") o.windows = value;
    else if (a == "--port") o.port = std::atoi(value.c_str());
    else return false;
  }
  return !o.site.empty() || !o.page.empty();
}

std::optional<SiteFile> readPage(const Options& o) {
  if (o.page.empty()) return readSiteFile(o.site, "/index.html");
  return readSiteFile(std::filesystem::absolute(o.page).parent_path(), "/" + o.page.filename().string());
}

struct Update {
  std::string manifestPath;
  std::string fileName;
  std::string manifest;
  SiteFile installer;  // as it was signed
};

// An installer, signed as the next version and named for it with its suffix; nothing when there
// is no key or the installer cannot be read.
std::optional<Update> signUpdate(const Options& o, const std::filesystem::path& file, const char* suffix,
                                 const char* manifestPath) {
  if (o.key.empty()) return std::nullopt;
  auto installer = readSiteFile(std::filesystem::absolute(file).parent_path(), "/" + file.filename().string());
  if (!installer) {
    std::cerr << "desk-server: no update offered at " << manifestPath << ": cannot read " << file.string()
              << std::endl;
    return std::nullopt;
  }
  Update update{manifestPath, std::string("TamselDesk-") + DESK_DEMO_UPDATE_VERSION + suffix, "", *installer};
  std::string error;
  auto manifest = desksign::makeManifest(o.key, DESK_DEMO_UPDATE_VERSION, file, update.fileName, error);
  if (!manifest) {
    std::cerr << "desk-server: no update offered at " << manifestPath << ": " << error << std::endl;
    return std::nullopt;
  }
  update.manifest = *manifest;
  return update;
}

// The demo installer for the Linux shell and, when given, a Windows installer for the Windows one.
std::vector<Update> signUpdates(const Options& o) {
  std::vector<Update> updates;
  if (!o.site.empty()) {
    if (auto forLinux = signUpdate(o, o.site / "installer.sh", ".run", "/desk-update-linux.json")) {
      updates.push_back(*forLinux);
    }
  }
  if (!o.windows.empty()) {
    if (auto forWindows = signUpdate(o, o.windows, ".exe", "/desk-update.json")) updates.push_back(*forWindows);
  }
  return updates;
}

void send(httplib::Response& res, const std::optional<SiteFile>& file) {
  if (!file) {
    res.status = 404;
    res.set_content("not found", "text/plain");
    return;
  }
  // The demo is edited while it runs; a reload must show the files as they are now.
  res.set_header("Cache-Control", "no-store");
  res.set_content(file->body, file->contentType);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: desk-server --site DIR [--root DIR] [--port N] [--key PEM [--windows EXE]] [--inject FILE]\n"
                         "       desk-server --page FILE [--root DIR] [--port N]\n");
    return 2;
  }
  if (!readPage(o)) {
    std::cerr << "desk-server: cannot read " << (o.page.empty() ? o.site / "index.html" : o.page).string() << std::endl;
    return 1;
  }
  std::optional<SiteFile> injected;
  if (!o.inject.empty()) {
    injected = readSiteFile(std::filesystem::absolute(o.inject).parent_path(), "/" + o.inject.filename().string());
    if (!injected) {
      std::cerr << "desk-server: cannot read " << o.inject.string() << std::endl;
      return 1;
    }
  }
  const auto updates = signUpdates(o);

  httplib::Server server;
  server.Post("/record", [](const httplib::Request& req, httplib::Response& res) {
    std::cout << "record " << req.body << std::endl;
    res.status = 204;
  });
  server.Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
    const std::string& path = req.path;
    if (path == "/_desk.html") {
      // Read again each time, so an edited page shows at the next reload.
      auto current = readPage(o);
      if (current && injected) current->body = withScript(current->body, "/_inject.js");
      return send(res, current);
    }
    if (path == "/_inject.js" && injected) return send(res, injected);
    if (path == "/demo/samples.json") return send(res, SiteFile{sampleList().dump(), "application/json"});
    if (path.rfind("/desk-file/", 0) == 0) {
      const auto body = sampleBody(path.substr(11));
      return send(res, body ? std::optional<SiteFile>(SiteFile{*body, "application/octet-stream"}) : std::nullopt);
    }
    for (const auto& update : updates) {
      if (path == update.manifestPath) return send(res, SiteFile{update.manifest, "application/json"});
      if (path == "/download/" + update.fileName) return send(res, update.installer);
    }
    if (path == "/installer.sh") return send(res, std::nullopt);
    if (auto file = readSiteFile(o.site, path)) return send(res, file);
    send(res, readSiteFile(o.root, path));
  });

  const int bound = o.port == 0 ? server.bind_to_any_port("127.0.0.1")
                                : (server.bind_to_port("127.0.0.1", o.port) ? o.port : -1);
  if (bound <= 0) {
    std::fprintf(stderr, "desk-server: cannot listen on 127.0.0.1:%d\n", o.port);
    return 1;
  }
  std::cout << "port=" << bound << std::endl;
  if (!updates.empty()) std::cout << "update=" << DESK_DEMO_UPDATE_VERSION << std::endl;
  g_server = &server;
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  server.listen_after_bind();
  return 0;
}
