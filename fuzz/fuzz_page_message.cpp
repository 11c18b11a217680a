// Arbitrary text as a page message from the desk page: no crash, no exception escapes, and the
// shell stays usable for the next message.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/App.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

// Fuzz targets link only the product libraries; the fakes need nothing else, so they are built
// into this target directly.
#include "support/FakeDesktop.cpp"
#include "support/FakeWebHost.cpp"
#include "support/TempDir.cpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FakeDesktop desk;
  static FakeWebHost web;
  static std::unique_ptr<App> app = [] {
    desk.linkedWeb = &web;
    auto a = std::make_unique<App>(desk, web);  // lives for the whole run, like the shell's one App
    desk.app = a.get();
    // Hand-offs are only recorded: transfers and update checks have their own fuzz targets and
    // would reach for the network here.
    a->handOffHook = [](const std::string&, const Json&) { return true; };
    a->serverOrigin = toWide("http://127.0.0.1:8080");
    a->pageUrl = toWide("http://127.0.0.1:8080/_desk.html");
    a->dataDir = desk.temp().path() / "data";
    desk.createWindow();
    web.environment = web.controller = web.webView = true;
    return a;
  }();
  // Keep records from growing without bound over a long run.
  web.scripts.clear();
  desk.openedAddresses.clear();
  desk.boxes.clear();
  desk.queue.clear();
  desk.windowAlive = true;
  desk.visible = true;

  const std::string text(reinterpret_cast<const char*>(data), size);
  const WString json = toWide(text);
  const WString source = toWide("http://127.0.0.1:8080/_desk.html");
  app->onPageMessage(source, json, std::nullopt);
  app->onPageMessage(source, json, toWide("/tmp/x"));
  app->pointerTick();
  app->activityTick(true);
  return 0;
}
