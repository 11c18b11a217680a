#include "support/FakeDesktop.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>


FakeDesktop::FakeDesktop() {
  exePath = temp_.path() / "bin" / "tamsel-desk";
  localAppData = temp_.path() / "local";
  downloads = temp_.path() / "Downloads";
  partFolder = temp_.path() / "parts";
  std::error_code ec;
  std::filesystem::create_directories(exePath.parent_path(), ec);
  std::filesystem::create_directories(*downloads, ec);
  std::filesystem::create_directories(partFolder, ec);
  monitors.push_back(standardMonitor());
}

// Workers may outlive the App they reported to, never the desktop they call.
FakeDesktop::~FakeDesktop() { workersEnded(0); }

FakeMonitor FakeDesktop::standardMonitor(MonitorHandle handle, int left, const char* name) {
  FakeMonitor m;
  m.handle = handle;
  m.deviceName = toWide(name);
  m.workArea = {left, 0, left + 1920, 1040};
  m.bounds = {left, 0, left + 1920, 1080};
  return m;
}

std::vector<int> FakeDesktop::activeTimers() const {
  std::vector<int> active;
  for (const auto& e : timerEvents) {
    active.erase(std::remove(active.begin(), active.end(), e.id), active.end());
    if (e.started) active.push_back(e.id);
  }
  return active;
}

std::optional<std::uint32_t> FakeDesktop::timerInterval(int id) const {
  std::optional<std::uint32_t> interval;
  for (const auto& e : timerEvents) {
    if (e.id != id) continue;
    if (e.started)
      interval = e.intervalMs;
    else
      interval.reset();
  }
  return interval;
}

int FakeDesktop::pump(DesktopEvents& target) {
  int delivered = 0;
  for (;;) {
    PostedMessage item;
    {
      std::lock_guard lock(mutex_);
      if (queue.empty()) break;
      item = std::move(queue.front());
      queue.pop_front();
    }
    target.onPrivateMessage(item.message, item.wParam, std::move(item.payload));
    ++delivered;
  }
  return delivered;
}

InstanceLock FakeDesktop::acquireSingleInstance() { return instanceLock; }
void FakeDesktop::requestShowFromFirst() { ++showRequests; }
std::filesystem::path FakeDesktop::executablePath() {
  if (executablePathThrows) throw std::runtime_error("no executable path");
  return exePath;
}
std::vector<WString> FakeDesktop::commandLineArguments() { return arguments; }
std::optional<std::filesystem::path> FakeDesktop::localAppDataFolder() { return localAppData; }

bool FakeDesktop::createDataFolder(const std::filesystem::path& dir) {
  createdFolders.push_back(dir);
  if (!createDataFolderOk) return false;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return std::filesystem::is_directory(dir, ec);
}

std::optional<std::filesystem::path> FakeDesktop::downloadsFolder() { return downloads; }
std::filesystem::path FakeDesktop::partFileFolder() { return partFolder; }

bool FakeDesktop::createWindow() {
  ++createWindowCalls;
  if (!createWindowOk) return false;
  windowAlive = !windowVanishes;
  visible = false;
  return true;
}

void FakeDesktop::destroyWindow() {
  if (!windowAlive) return;
  windowAlive = false;
  visible = false;
  if (events && destroyCallsOnDestroy) events->onDestroy();
}

bool FakeDesktop::windowExists() { return windowAlive; }

void FakeDesktop::showWindowNoActivate() {
  ++showCalls;
  if (windowAlive) visible = true;
}

void FakeDesktop::hideWindow() {
  ++hideCalls;
  visible = false;
}

bool FakeDesktop::windowVisible() { return windowAlive && visible; }

void FakeDesktop::setWindowRect(const ScreenRect& rect) {
  windowRect = rect;
  rectsSet.push_back(rect);
}

ScreenRect FakeDesktop::clientRect() {
  return {0, 0, windowRect.right - windowRect.left, windowRect.bottom - windowRect.top};
}

ScreenPoint FakeDesktop::screenToClient(ScreenPoint p) {
  return {p.x - windowRect.left, p.y - windowRect.top};
}

void FakeDesktop::setClickThrough(bool on) {
  clickThrough = on;
  clickThroughSet.push_back(on);
}

bool FakeDesktop::isForeground() { return foreground; }

void FakeDesktop::setForeground() {
  ++setForegroundCalls;
  foreground = true;
}

double FakeDesktop::windowScale() { return scale; }
void FakeDesktop::applyTransparency() { ++transparencyCalls; }

std::vector<MonitorHandle> FakeDesktop::listMonitors() {
  std::vector<MonitorHandle> handles;
  for (const auto& m : monitors) handles.push_back(m.handle);
  return handles;
}

WString FakeDesktop::monitorDeviceName(MonitorHandle monitor) {
  for (const auto& m : monitors)
    if (m.handle == monitor) return m.deviceName;
  return {};
}

std::optional<ScreenRect> FakeDesktop::monitorWorkArea(MonitorHandle monitor) {
  if (workAreaFails) return std::nullopt;
  for (const auto& m : monitors)
    if (m.handle == monitor) return m.workArea;
  return std::nullopt;
}

MonitorHandle FakeDesktop::monitorNearest(ScreenPoint p) {
  if (monitors.empty()) return 0;
  // Distance from the point to each monitor's rectangle; inside is 0. Ties go to the earlier one.
  MonitorHandle best = 0;
  double bestDistance = 0;
  for (const auto& m : monitors) {
    ScreenRect r = m.bounds == ScreenRect{} ? m.workArea : m.bounds;
    double dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
    double dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
    double d = std::hypot(dx, dy);
    if (best == 0 || d < bestDistance) {
      best = m.handle;
      bestDistance = d;
    }
  }
  return best;
}

MonitorHandle FakeDesktop::primaryMonitor() {
  if (primaryIndex < monitors.size()) return monitors[primaryIndex].handle;
  return 0;
}

ScreenPoint FakeDesktop::cursorPos() { return cursor; }
bool FakeDesktop::mouseButtonsDown() { return buttonsDown; }
std::uint32_t FakeDesktop::millisSinceLastInput() { return idleMs; }

std::uint64_t FakeDesktop::tickMs() { return tick; }

void FakeDesktop::startTimer(int id, std::uint32_t intervalMs) { timerEvents.push_back({id, intervalMs, true}); }
void FakeDesktop::killTimer(int id) { timerEvents.push_back({id, 0, false}); }

bool FakeDesktop::post(unsigned message, std::uintptr_t wParam, PayloadPtr& payload) {
  std::lock_guard lock(mutex_);
  ++postCalls;
  if (postFails) return false;
  queue.push_back({message, wParam, std::move(payload)});
  return true;
}

int FakeDesktop::runLoop() {
  if (loopBody) loopBody();
  return quitCode.value_or(0);
}

void FakeDesktop::quit(int code) {
  if (!quitCode) quitCode = code;
}

void FakeDesktop::messageBox(const WString& text, MessageIcon icon, bool owned) {
  boxes.push_back({text, icon, owned});
}

bool FakeDesktop::askYesNo(const WString& text) {
  questions.push_back(text);
  return answerYes;
}

void FakeDesktop::addTrayIcon() {
  ++trayAdds;
}

void FakeDesktop::removeTrayIcon() {
  ++trayRemoves;
}

void FakeDesktop::setTrayMenu(const TrayMenu& menu) {
  trayMenu = menu;
}

void FakeDesktop::popTrayMenu() {
  ++menuShows;
  if (menuAnswer != 0 && events) events->onTrayMenuChoice(menuAnswer, trayMenu.windowVisible);
}

void FakeDesktop::openWebAddress(const WString& url) { openedAddresses.push_back(url); }
void FakeDesktop::openFile(const std::filesystem::path& file) { openedFiles.push_back(file); }
void FakeDesktop::revealFile(const std::filesystem::path& file) { revealedFiles.push_back(file); }

bool FakeDesktop::startDetached(const std::filesystem::path& program, const std::vector<WString>& args) {
  detachedStarts.push_back({program, args});
  return startDetachedOk;
}

bool FakeDesktop::autostartOn() { return autostart; }

bool FakeDesktop::setAutostart(bool enable) {
  autostartSets.push_back(enable);
  if (autostartRefuses) return false;
  autostart = enable;
  return true;
}

int FakeDesktop::keepAwakeRequests() {
  std::lock_guard lock(mutex_);
  return keepAwakeCount;
}

void FakeDesktop::keepAwake(bool on) {
  std::lock_guard lock(mutex_);
  ++keepAwakeCalls;
  keepAwakeCount += on ? 1 : -1;
}

bool FakeDesktop::startWorker(const char* name, std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    startedWorkers.emplace_back(name);
  }
  return !refuseWorkers && Desktop::startWorker(name, std::move(work));
}

void FakeDesktop::registerSessionNotifications() {
  ++sessionRegisterCalls;
  sessionRegistered = true;
}

void FakeDesktop::unregisterSessionNotifications() {
  ++sessionUnregisterCalls;
  sessionRegistered = false;
}
