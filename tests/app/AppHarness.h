#pragma once
// An App wired to the fakes, with its configuration settled as App::run would leave it, so a
// test can start at any phase: just configured, web host up, or desk page loaded.
#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

struct AppHarness {
  FakeDesktop desk;
  FakeWebHost web;
  std::unique_ptr<App> app;

  static constexpr const char* kOrigin = "http://127.0.0.1:8080";
  static constexpr const char* kPage = "http://127.0.0.1:8080/_desk.html";

  AppHarness() {
    app = std::make_unique<App>(desk, web);
    app->exePath = desk.exePath;
    app->dataDir = desk.temp().path() / "data";
    app->serverOrigin = toWide(kOrigin);
    app->pageUrl = toWide(kPage);
  }

  // The window exists, as after the window phase's first steps.
  void windowUp() {
    desk.createWindow();
    app->placeWindow();
  }

  // Window, environment, controller and bridge script: the desk page is being loaded and shown.
  void webUp() {
    windowUp();
    app->startWeb();
    web.completeAll();
  }

  void fromPage(const std::string& json, const std::optional<std::string>& file = std::nullopt) {
    web.fireWebMessage(kPage, json, file);
  }

  std::vector<std::string> scripts() const {
    std::vector<std::string> out;
    for (const auto& s : web.scripts) out.push_back(toNarrow(s));
    return out;
  }

  std::vector<std::string> boxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : desk.boxes) out.push_back(toNarrow(b.text));
    return out;
  }
};
