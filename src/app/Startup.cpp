// From process entry to the message loop: single instance, data folder, the server origin and
// the window phase. Every way out before the loop is an exit code, some with a box first.
#include <exception>

#include "app/App.h"
#include "app/Origin.h"
#include "app/ShellTexts.h"

int App::run() {
  exePath = desktop_.executablePath();

  const auto localAppData = desktop_.localAppDataFolder();
  if (!localAppData) return 1;
  dataDir = *localAppData / "TamselDeskNative";
  if (!desktop_.createDataFolder(dataDir)) {
    desktop_.messageBox(kTextStartFailed, MessageIcon::Error, false);
    return 1;
  }

  const Json serverJson = loadJsonFile(exePath.parent_path() / "server.json");
  const Json configJson = loadJsonFile(dataDir / "config.json");
  serverOrigin = trimOrigin(toWide(chooseOrigin(serverJson, configJson, desktop_.commandLineArguments())));
  if (!originAcceptable(serverOrigin)) {
    desktop_.messageBox(kTextBadOrigin, MessageIcon::Error, false);
    return 1;
  }
  pageUrl = serverOrigin + DESK_W("/_desk.html");

  return windowPhase();
}

int App::windowPhase() {
  if (!desktop_.createWindow()) return 1;
  applyTransparency();
  placeWindow();
  addTrayIcon();
  desktop_.registerSessionNotifications();

  desktop_.startTimer(kTimerPointer, kPointerIntervalMs);
  desktop_.startTimer(kTimerIdle, kIdleIntervalMs);
  desktop_.startTimer(kTimerActivity, kActivityIntervalMs);
  desktop_.startTimer(kTimerFirstUpdate, kFirstUpdateDelayMs);
  desktop_.startTimer(kTimerUpdate, kUpdateIntervalMs);

  // A web host that cannot start has said why and destroyed the window.
  startWeb();
  if (!desktop_.windowExists()) return 1;

  return desktop_.runLoop();
}

int runShell(Desktop& desktop, WebHost& web) {
  // A second start only wakes the first and never reads configuration.
  if (!desktop.acquireSingleInstance()) {
    desktop.requestShowFromFirst();
    return 0;
  }
  try {
    App app(desktop, web);
    return app.run();
  } catch (...) {
    // The App is gone by now; the box has no owner.
  }
  try {
    desktop.messageBox(kTextStartFailed, MessageIcon::Error, false);
  } catch (...) {
  }
  return 1;
}
