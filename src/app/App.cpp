// The application object's life and the window procedure's cases, as the backend delivers them.
#include "app/App.h"

#include <cmath>

#include "app/RunShell.h"
#include "common/WorkerLink.h"
#include "files/FileJob.h"
#include "lan/LanRuntime.h"
#include "lan/LanServer.h"
#include "update/UpdateReady.h"
#include "web/Callbacks.h"

namespace {

// A payload travels as its base type; take it back as the type its message promises, or drop it.
template <typename T>
std::unique_ptr<T> payloadAs(PayloadPtr& payload) {
  if (auto* typed = dynamic_cast<T*>(payload.get())) {
    payload.release();
    return std::unique_ptr<T>(typed);
  }
  return nullptr;
}

template <typename T>
std::unique_ptr<T> carriedAs(PayloadPtr& payload) {
  auto carried = payloadAs<Carried<T>>(payload);
  return carried ? std::move(carried->value) : nullptr;
}

}  // namespace

App::App(Desktop& desktop, WebHost& web)
    : workerLink(std::make_shared<WorkerLink>(*this)), desktop_(desktop), web_(web) {
  desktop_.setEvents(this);
  web_.setEvents(this);
}

App::~App() {
  // Workers still blocked in the network must find the App gone, not freed memory.
  workerLink->sever();
  closing = true;
  if (lanRuntime) lanRuntime->stop(kWorkerWaitMs);
  if (web_.hasController()) web_.closeController();
  web_.releaseAll();
  web_.setEvents(nullptr);
  desktop_.setEvents(nullptr);
}

void App::onTaskbarCreated() { addTrayIcon(); }

void App::onDestroy() {
  closing = true;
  desktop_.removeTrayIcon();
  desktop_.unregisterSessionNotifications();
  desktop_.killTimer(kTimerPointer);
  desktop_.killTimer(kTimerIdle);
  desktop_.killTimer(kTimerActivity);
  desktop_.quit(0);
}

void App::onSize() {
  if (!web_.hasController()) return;
  const ScreenRect client = desktop_.clientRect();
  web_.setBounds(client.right - client.left, client.bottom - client.top);
}

void App::onSetFocus() {
  if (web_.hasController()) web_.moveFocus();
}

void App::onClose() { desktop_.destroyWindow(); }
void App::onWorkAreaChanged() { placeWindow(); }
void App::onDisplayChanged() {
  placeWindow();
  updateTrayMenu();  // "next screen" comes and goes with the second monitor
}
void App::onDpiChanged() { placeWindow(); }
void App::onCompositionChanged() { applyTransparency(); }

void App::onTimer(int id) {
  if (id == kTimerUpdate || id == kTimerFirstUpdate) {
    if (id == kTimerFirstUpdate) desktop_.killTimer(kTimerFirstUpdate);
    checkForUpdate(false);
  } else if (id == kTimerPointer) {
    pointerTick();
  } else {
    activityTick(id == kTimerActivity);
  }
}

void App::onSessionChange(bool locked) { sessionLocked = locked; }

void App::onPrivateMessage(unsigned message, std::uintptr_t wParam, PayloadPtr payload) {
  // Anything a worker posted may arrive after teardown began; it is dropped with its payload.
  if (closing) return;
  switch (message) {
    case WM_SHOW_SHELL:
      show();
      break;
    case WM_RESTART_WEB:
      restartWeb();
      break;
    case WM_UPDATE_READY:
      if (auto ready = carriedAs<UpdateReady>(payload)) onUpdateReady(std::move(ready));
      break;
    case WM_UPDATE_STATE:
      runScript(updateStateScript(wParam == 1));
      break;
    case WM_FILE_DONE:
      if (auto job = carriedAs<FileJob>(payload)) onFileDone(std::move(job));
      break;
    case WM_RUN_SCRIPT:
      if (auto script = payloadAs<ScriptPayload>(payload)) runScript(script->script);
      break;
    default:
      break;  // WM_TRAY_NOTIFY reaches onTrayEvent directly; anything else is not ours
  }
}

void App::report(const PageEvent& event) { postScript(pageCallbackScript(event)); }

void App::fileDone(std::unique_ptr<FileJob> job) {
  postPayload(WM_FILE_DONE, 0, std::make_unique<Carried<FileJob>>(std::move(job)));
}

void App::updateReady(std::unique_ptr<UpdateReady> ready) {
  postPayload(WM_UPDATE_READY, 0, std::make_unique<Carried<UpdateReady>>(std::move(ready)));
}

bool App::postPayload(unsigned message, std::uintptr_t wParam, PayloadPtr payload) {
  if (closing) return false;
  // A refused post leaves the payload here, and it is freed on return.
  return desktop_.post(message, wParam, payload);
}

void App::applyTransparency() { desktop_.applyTransparency(); }

void App::placeWindow() {
  if (const auto area = desktop_.monitorWorkArea(currentMonitor())) desktop_.setWindowRect(*area);
  if (web_.hasController()) {
    const ScreenRect client = desktop_.clientRect();
    web_.setBounds(client.right - client.left, client.bottom - client.top);
    web_.notifyParentMoved();
  }
  // A scale the platform could not read would make every page position infinite.
  const double scale = desktop_.windowScale();
  if (std::isfinite(scale) && scale > 0) pageScale = scale;
}

void App::restartWeb() {
  if (web_.hasController()) web_.closeController();
  web_.releaseAll();
  forgetPageState();
  reloadAt = 0;
  startWeb();
}
