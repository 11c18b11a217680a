// Arbitrary lines as page messages from the desk page, each through App::onPageMessage on the
// fake desktop, every hand-off taken: file fetches, LAN transfers and update checks run up to the
// moment their worker would start, and the desktop refuses only the worker. The server's registry
// is real but it never listens. Each input gets a fresh App; afterwards every callback the shell
// ran must be a well-formed call, the page state within its limits, and no save name still held.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "app/App.h"
#include "app/AppLan.h"
#include "files/ReservedPath.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"
#include "support/MemoryFolders.h"

// Fuzz targets link only the product libraries; the fakes need nothing else, so they are built
// into this target directly.
#include "support/FakeDesktop.cpp"
#include "support/FakeWebHost.cpp"
#include "support/TempDir.cpp"

namespace {

constexpr std::size_t kMaxMessages = 16;
constexpr std::uint64_t kMaxHideMs = 86400000;

// Files "this run saved", at a fixed place so that seeds can name them: "fileOpenPath" and
// "fileReveal" reach the open and reveal decisions, and "lanOpen" carries one as its file.
std::filesystem::path savedFolder() { return std::filesystem::temp_directory_path() / "desk-fuzz-page"; }

void writeOnce(const std::filesystem::path& path, std::string_view content) {
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) == content.size()) return;
  // Written aside and renamed, so another process running this target never sees half a file.
  const auto aside = path.string() + "." + std::to_string(std::rand());
  std::ofstream(aside, std::ios::binary) << content;
  std::filesystem::rename(aside, path, ec);
}

// A callback is a guarded call: "window.deskX && window.deskX(...)" or "window.deskX?.(...)",
// with balanced quotes, and nothing after its closing parenthesis.
void checkScript(const std::string& script) {
  if (script.empty()) std::abort();  // a callback that has no UTF-8 form
  if (script.rfind("window.desk", 0) != 0 && script != "document.activeElement?.blur()") std::abort();
  if (script.back() != ')') std::abort();
  char quote = 0;
  int depth = 0;
  for (std::size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (quote) {
      if (c == '\\') {
        ++i;
      } else if (c == quote) {
        quote = 0;
      } else if (c == '\n' || c == '\r') {
        std::abort();  // a raw line break ends a script string literal
      }
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    if (c == '(' || c == '{' || c == '[') ++depth;
    if (c == ')' || c == '}' || c == ']') --depth;
    if (depth < 0) std::abort();
  }
  if (quote || depth != 0) std::abort();
}

void checkServerFileUrl(std::string_view url) {
  constexpr std::string_view prefix = "http://127.0.0.1:8080/desk-file/";
  if (url.substr(0, prefix.size()) != prefix || url.size() != prefix.size() + 32) std::abort();
  for (char c : url.substr(prefix.size()))
    if (!std::isxdigit(static_cast<unsigned char>(c))) std::abort();
}

void checkRect(const Rect& r) {
  for (double v : {r.x, r.y, r.w, r.h})
    if (!std::isfinite(v) || std::fabs(v) > 100000) std::abort();
  if (r.w < 0 || r.h < 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FakeDesktop desk;
  static FakeWebHost web;
  static MemoryFolders folders;
  static const std::filesystem::path savedText = savedFolder() / "saved.txt";
  static const std::filesystem::path savedScript = savedFolder() / "saved.sh";
  static const bool prepared = [] {
    std::error_code ec;
    std::filesystem::create_directories(savedFolder(), ec);
    writeOnce(savedText, "hello");
    writeOnce(savedScript, "#!/bin/sh\n");
    return true;
  }();
  (void)prepared;

  {
    App app(desk, web);
    desk.refuseWorkers = true;
    app.saveFolders = &folders;
    app.serverOrigin = toWide("http://127.0.0.1:8080");
    app.pageUrl = toWide("http://127.0.0.1:8080/_desk.html");
    app.dataDir = desk.temp().path() / "data";
    app.savedFiles = {savedText, savedScript};
    lanRuntimeOf(app).server().stop();  // the registry works; nothing listens
    desk.createWindow();
    desk.windowAlive = true;
    desk.visible = true;
    web.environment = web.controller = web.webView = true;

    const WString source = toWide("http://127.0.0.1:8080/_desk.html");
    const WString file = pathWide(savedText);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (std::size_t n = 0; n < kMaxMessages && !rest.empty(); ++n) {
      const std::size_t end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      // Every other message carries the page's file object, as a dropped file would.
      const std::size_t started = desk.startedWorkers.size();
      app.onPageMessage(source, toWide(line), n % 2 ? std::optional<WString>(file) : std::nullopt);
      // A download starts only for an address of exactly the server's "/desk-file/" + 32
      // hexadecimal digits.
      if (desk.startedWorkers.size() > started && desk.startedWorkers.back() == "fileFetch") {
        checkServerFileUrl(jsonString(parseJson(toNarrow(toWide(line))), "url").value_or(""));
      }
      if (app.hitRects.size() > 2048) std::abort();
      for (const Rect& r : app.hitRects) checkRect(r);
      if (app.zoneValid) checkRect(app.zoneRect);
      if (!(app.pageScale >= 0.5 && app.pageScale <= 8) && app.pageScale != 1.0) std::abort();
      if (app.hideUntil > desk.tickMs() + kMaxHideMs) std::abort();
    }
    desk.pump(app);
    app.pointerTick();
    app.activityTick(true);
    for (const WString& script : web.scripts) checkScript(toNarrow(script));
  }
  // Refused workers went with their jobs: no save name stays held.
  if (reservedPathCount() != 0) std::abort();
  // Whatever this input allocated is freed before it ends, or libFuzzer suspects a leak and
  // runs every input twice.
  const auto release = [](auto& records) { std::remove_reference_t<decltype(records)>().swap(records); };
  release(desk.queue);
  release(desk.openedAddresses);
  release(desk.openedFiles);
  release(desk.revealedFiles);
  release(desk.boxes);
  release(desk.timerEvents);
  release(desk.startedWorkers);
  release(web.scripts);
  folders.clear();
  return 0;
}
