// The remembered monitor. screen.txt in the data folder holds the chosen monitor's device name
// in UTF-8 and nothing else (no line break, no byte-order mark). It is read once per run; a name
// that matches no attached monitor places the window on the primary one but is kept, in memory
// and on disk, so the window goes back as soon as that monitor is attached again.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "app/App.h"

namespace {

std::filesystem::path screenFile(const std::filesystem::path& dataDir) { return dataDir / "screen.txt"; }

std::string readWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  return bytes;
}

void writeWhole(const std::filesystem::path& file, const std::string& bytes) {
  // A failure only means the choice is not remembered beyond this run.
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

MonitorHandle App::currentMonitor() {
  if (!screenLoaded) {
    screenLoaded = true;
    savedMonitorName = toWide(readWhole(screenFile(dataDir)));
  }
  // An empty name is no choice: it would otherwise pick a monitor whose information could not
  // be read, and the window could not be placed on it.
  if (!savedMonitorName.empty()) {
    for (const MonitorHandle monitor : desktop_.listMonitors()) {
      if (desktop_.monitorDeviceName(monitor) == savedMonitorName) return monitor;
    }
  }
  return desktop_.primaryMonitor();
}

void App::moveToMonitor(MonitorHandle monitor) {
  // A monitor whose information cannot be read has no name to remember and no work area to
  // cover; choosing it would only overwrite the remembered monitor with nothing.
  WString name = desktop_.monitorDeviceName(monitor);
  if (name.empty()) return;
  savedMonitorName = std::move(name);
  // The choice in memory now outranks whatever the file held when the run began.
  screenLoaded = true;
  writeWhole(screenFile(dataDir), toNarrow(savedMonitorName));
  placeWindow();
}

void App::moveToNextMonitor() {
  const std::vector<MonitorHandle> monitors = desktop_.listMonitors();
  if (monitors.size() < 2) return;
  const MonitorHandle current = currentMonitor();
  const auto found = std::find(monitors.begin(), monitors.end(), current);
  // After the last one, and from a monitor not in the list, the first one is next. Monitors that
  // cannot be identified are passed over, or the walk would stop on them.
  const std::size_t count = monitors.size();
  const bool listed = found != monitors.end();
  const std::size_t from = listed ? static_cast<std::size_t>(found - monitors.begin()) : count - 1;
  const std::size_t candidates = listed ? count - 1 : count;
  for (std::size_t step = 1; step <= candidates; ++step) {
    const MonitorHandle next = monitors[(from + step) % count];
    if (!desktop_.monitorDeviceName(next).empty()) {
      moveToMonitor(next);
      return;
    }
  }
}
