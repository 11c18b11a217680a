// From process entry to the message loop: single instance, data folder, the server origin and
// the window phase. Every way out before the loop is an exit code, some with a box first.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/App.h"
#include "app/Cause.h"
#include "app/RunShell.h"
#include "app/Origin.h"
#include "app/ShellTexts.h"

namespace {

// A configuration file, and on standard error why it is not used when it is there but unusable:
// the shell then goes on with the next source, and without this the user would never know.
Json readConfiguration(const std::filesystem::path& file) {
  std::string why;
  Json value = loadJsonFile(file, why);
  if (why.empty() && value.contains("server") && !jsonString(value, "server")) why = "\"server\" is not a string";
  if (!why.empty()) reportCause(toNarrow(pathWide(file)) + " ignored (" + why + ")");
  return why.empty() ? value : Json::object();
}

bool originArgument(const WString& argument) { return argument.rfind(DESK_W("--server="), 0) == 0; }

// A worker blocked where nothing can reach it (a probe inside the system's HTTP stack) must not
// hold the process, its program file and its libraries: past the wait, the process ends here,
// without the static destructors such a worker may still be using.
void endWithoutWorkers(Desktop& desktop, int code) {
  if (desktop.workersEnded(kWorkerWaitMs)) return;
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace

int App::run() {
  exePath = desktop_.executablePath();

  const auto localAppData = desktop_.localAppDataFolder();
  if (!localAppData) return 1;
  dataDir = *localAppData / "TamselDeskNative";
  if (!desktop_.createDataFolder(dataDir)) {
    // The backend has said why; the folder itself is named here.
    reportCause("cannot use the data folder " + toNarrow(pathWide(dataDir)));
    desktop_.messageBox(kTextStartFailed, MessageIcon::Error, false);
    return 1;
  }

  const Json serverJson = readConfiguration(exePath.parent_path() / "server.json");
  const Json configJson = readConfiguration(dataDir / "config.json");
  const std::vector<WString> arguments = desktop_.commandLineArguments();
  const std::string chosen = chooseOrigin(serverJson, configJson, arguments);
  serverOrigin = trimOrigin(toWide(chosen));
  if (!originAcceptable(serverOrigin)) {
    reportCause("the server origin \"" + chosen +
                "\" is refused: it must be https://host[:port], or http:// on localhost, 127.0.0.1 or [::1]");
    desktop_.messageBox(kTextBadOrigin, MessageIcon::Error, false);
    return 1;
  }
  const bool configured = jsonString(serverJson, "server") || jsonString(configJson, "server") ||
                          std::any_of(arguments.begin(), arguments.end(), originArgument);
  if (!configured) reportCause("no server origin configured (--server=, config.json or server.json); using " + chosen);
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
  // A second start only wakes the first and never reads configuration files; an origin on its
  // command line cannot change the running shell, so the user is told it was not used.
  switch (desktop.acquireSingleInstance()) {
    case InstanceLock::AnotherRuns:
      desktop.requestShowFromFirst();
      for (const WString& argument : desktop.commandLineArguments()) {
        if (originArgument(argument)) {
          reportCause("already running: shown the running shell; " + toNarrow(argument) +
                      " is not used (end the running shell first)");
        }
      }
      return 0;
    case InstanceLock::Failed:
      desktop.messageBox(kTextStartFailed, MessageIcon::Error, false);
      return 1;
    case InstanceLock::Acquired:
      break;
  }
  try {
    int code = 1;
    {
      App app(desktop, web);
      code = app.run();
    }
    endWithoutWorkers(desktop, code);
    return code;
  } catch (const std::exception& failure) {
    // The App is gone by now; the box has no owner.
    reportCause(std::string("start-up failed: ") + failure.what());
  } catch (...) {
    reportCause("start-up failed");
  }
  try {
    desktop.messageBox(kTextStartFailed, MessageIcon::Error, false);
  } catch (...) {
  }
  return 1;
}
