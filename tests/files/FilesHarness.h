#pragma once
// An App on the fakes with a received folder in a temporary place and the desk test server as
// its origin, plus the helpers the file tests share.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/App.h"
#include "support/DeskServer.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"
#include "support/PlatformFacts.h"

inline const std::string kHex32 = "0123456789abcdef0123456789abcdef";

inline std::string readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Every entry below a folder, relative to it ("a/b"), sorted. Names with a colon are left out:
// no saved file has one, and Wine lists a file's Zone.Identifier stream as a file of its own.
inline std::vector<std::string> listTree(const std::filesystem::path& root, const std::string& prefix = {}) {
  std::vector<std::string> out;
  for (const auto& e : folderEntries(root)) {
    const std::string name = e.name.generic_string();
    if (name.find(':') != std::string::npos) continue;
    out.push_back(prefix + name);
    if (e.folder) {
      for (auto& below : listTree(root / e.name, prefix + name + "/")) out.push_back(std::move(below));
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct FilesHarness {
  DeskServer server;
  FakeDesktop desk;
  FakeWebHost web;
  App app{desk, web};
  std::filesystem::path received;

  FilesHarness() {
    web.webView = true;
    app.serverOrigin = toWide(server.origin());
    app.pageUrl = toWide(server.origin() + "/_desk.html");
    app.dataDir = desk.temp().path() / "data";
    received = *desk.downloads;
  }

  std::string fileUrl(const std::string& hex = kHex32) const { return server.origin() + "/desk-file/" + hex; }

  // Serves body under a fresh id and asks for it; returns the id's URL.
  std::string offer(const std::string& hex, int status, const std::string& body) {
    server.setRoute("/desk-file/" + hex, status, body);
    return fileUrl(hex);
  }

  void get(const std::string& url, const std::string& name, const std::string& how = "save",
           const std::string& dir = {}, const std::string& id = "id1") {
    Json m = {{"t", "fileGet"}, {"url", url}, {"name", name}, {"how", how}, {"id", id}};
    if (!dir.empty()) m["dir"] = dir;
    app.fileGet(m);
  }

  std::vector<std::string> scripts() const {
    std::vector<std::string> out;
    for (const auto& s : web.scripts) out.push_back(toNarrow(s));
    return out;
  }

  // Delivers posted messages until `count` scripts ran (or a generous guard passes).
  bool waitScripts(std::size_t count) {
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (web.scripts.size() < count && std::chrono::steady_clock::now() < guard) {
      if (desk.pump(app) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return web.scripts.size() >= count;
  }

  // The result object of the n-th deskFileDone script.
  Json result(std::size_t n) const {
    const std::string prefix = "window.deskFileDone && window.deskFileDone(";
    const std::string s = toNarrow(web.scripts.at(n));
    if (s.rfind(prefix, 0) != 0 || s.back() != ')') return Json();
    return parseJson(s.substr(prefix.size(), s.size() - prefix.size() - 1));
  }

  // The result whose "id" is id (fetches running together finish in any order).
  Json resultFor(const std::string& id) const {
    for (std::size_t i = 0; i < web.scripts.size(); ++i)
      if (Json r = result(i); r.is_object() && r.value("id", "") == id) return r;
    return Json();
  }

  std::string pathIn(const std::string& relative) const {
    return (received / std::filesystem::path(relative)).make_preferred().string();
  }
};
