#include "DemoDesk.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The viewable windows, as big as a dialog at least, that a process owns by the _NET_WM_PID
// GTK sets; the biggest first.
void windowsOfPid(Display* dpy, Window window, unsigned long pid, std::vector<std::pair<int, Window>>& found) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  XWindowAttributes attributes{};
  const bool ours = XGetWindowProperty(dpy, window, XInternAtom(dpy, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                                       &type, &format, &count, &after, &data) == Success &&
                    data && count == 1 && *reinterpret_cast<unsigned long*>(data) == pid;
  if (data) XFree(data);
  if (ours && XGetWindowAttributes(dpy, window, &attributes) && attributes.map_state == IsViewable &&
      attributes.width >= 200) {
    found.emplace_back(attributes.width * attributes.height, window);
  }
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int n = 0;
  if (XQueryTree(dpy, window, &root, &parent, &children, &n)) {
    for (unsigned int i = 0; i < n; ++i) windowsOfPid(dpy, children[i], pid, found);
    if (children) XFree(children);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
}

std::optional<ScreenPoint> windowOrigin(const std::string& display, pid_t pid,
                                        std::vector<std::pair<int, Window>>* shown = nullptr) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) return std::nullopt;
  std::optional<ScreenPoint> origin;
  const Window root = DefaultRootWindow(dpy);
  std::vector<std::pair<int, Window>> windows;
  windowsOfPid(dpy, root, static_cast<unsigned long>(pid), windows);
  if (shown) *shown = windows;
  Window child = 0;
  ScreenPoint p;
  if (!windows.empty() && XTranslateCoordinates(dpy, windows[0].second, root, 0, 0, &p.x, &p.y, &child)) origin = p;
  XCloseDisplay(dpy);
  return origin;
}

}  // namespace

DemoDesk::DemoDesk(ShellHarness& harness, std::string display) : harness_(harness), display_(std::move(display)) {}

DemoDesk::~DemoDesk() {
  // A shell the demo installer started again is nobody's child here.
  const std::string restarted = readText(work() / "shell.pid");
  if (!restarted.empty()) ::kill(std::stoi(restarted), SIGTERM);
}

bool DemoDesk::start() {
  const std::filesystem::path source = DESK_SOURCE_DIR;
  if (!server_.start({DESK_SERVER_EXE, "--site", (source / "demo").string(), "--root", work().string(), "--key",
                      (source / "tests/keys/TEST-ONLY-release-key.pem").string(), "--inject",
                      (source / "tests/linux/demo_driver.js").string()},
                     {}, (work() / "server.log").string())) {
    return false;
  }
  waitUntil([&] { return readText(work() / "server.log").find("port=") != std::string::npos; }, 10000);
  const std::string log = readText(work() / "server.log");
  const auto at = log.find("port=");
  if (at == std::string::npos) return false;
  port_ = std::stoi(log.substr(at + 5));
  const std::vector<std::string> env = {"TAMSEL_DEMO_WORK=" + work().string(),
                                        "TAMSEL_DEMO_SHELL=" + ShellHarness::shellProgram(),
                                        "TAMSEL_DEMO_ORIGIN=" + origin()};
  if (!shell().start({ShellHarness::shellProgram(), "--server=" + origin()}, harness_.environment(env),
                     (harness_.home().path() / "shell.log").string())) {
    return false;
  }
  return waitUntil([&] { return pagesLoaded() > 0; }, 30000);
}

std::vector<Json> DemoDesk::records(const std::string& kind) const {
  std::vector<Json> out;
  std::ifstream in(work() / "server.log");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("record ", 0) != 0) continue;
    Json record = parseJson(line.substr(7));
    if (record.is_object() && jsonString(record, "kind") == kind) out.push_back(record["data"]);
  }
  return out;
}

std::optional<Json> DemoDesk::eval(const std::string& script, int timeoutMs) {
  const int id = ++commandId_;
  {
    std::ofstream out(work() / "_cmd.new", std::ios::binary);
    out << jsonDump(Json{{"id", id}, {"js", script}});
  }
  std::filesystem::rename(work() / "_cmd.new", work() / "_cmd");
  std::optional<Json> result;
  waitUntil(
      [&] {
        for (const auto& r : records("cmd")) {
          if (r.value("id", 0) == id) {
            if (r.value("ok", false)) result = r.value("result", Json());
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return result;
}

pid_t DemoDesk::shellPid() const {
  // After an update the shell is the one the demo installer started again.
  const std::string restarted = readText(work() / "shell.pid");
  return restarted.empty() ? harness_.shell().pid() : std::stoi(restarted);
}

std::vector<unsigned long> DemoDesk::windowsShown() const {
  std::vector<std::pair<int, Window>> shown;
  windowOrigin(display_, shellPid(), &shown);
  std::vector<unsigned long> windows;
  for (const auto& w : shown) windows.push_back(w.second);
  return windows;
}

bool DemoDesk::waitFor(const std::string& condition, int timeoutMs) {
  return waitUntil([&] { return eval("!!(" + condition + ")", 3000) == Json(true); }, timeoutMs);
}

std::string DemoDesk::text(const std::string& selector) {
  const auto value = eval("(document.querySelector('" + selector + "') || {}).textContent || ''");
  return value && value->is_string() ? value->get<std::string>() : std::string();
}

std::optional<ScreenPoint> DemoDesk::centerOf(const std::string& element) {
  const auto rect = eval("(function (e) { if (!e) return null; e.scrollIntoView({ block: 'nearest' });"
                         " const r = e.getBoundingClientRect();"
                         " return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)]; })(" +
                         element + ")");
  const auto origin = windowOrigin(display_, shellPid());
  if (!rect || !rect->is_array() || !origin) return std::nullopt;
  return ScreenPoint{origin->x + (*rect)[0].get<int>(), origin->y + (*rect)[1].get<int>()};
}

bool DemoDesk::xdotool(const std::vector<std::string>& args) { return ::xdotool(display_, args); }

bool DemoDesk::clickOn(const std::string& element, bool confirm) {
  const std::string reached = "(function (e) { const t = window.demoDriverClicked; return !!t && e.contains(t); })(" +
                              element + ")";
  // A loaded machine can lose a click now and then; a person would click again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const auto at = centerOf(element);
    if (!at || !eval("window.demoDriverClicked = null; 1")) return false;
    // The shell takes the mouse over a shape at its next pointer tick; the page sees the pointer
    // only when it moves after that, as a person's hand would.
    int wiggle = 0;
    waitUntil(
        [&] {
          xdotool({"mousemove", std::to_string(at->x + (wiggle++ % 2)), std::to_string(at->y)});
          return eval(element + ".matches(':hover')", 2000) == Json(true);
        },
        4000);
    if (!xdotool({"click", "1"})) return false;
    if (!confirm || waitFor(reached, 2000)) return true;
  }
  return false;
}

bool DemoDesk::click(const std::string& selector, bool confirm) {
  return clickOn("document.querySelector('" + selector + "')", confirm);
}

bool DemoDesk::typeInto(const std::string& selector, const std::string& text) {
  const std::string field = "document.querySelector('" + selector + "')";
  // A loaded machine can lose a click or a key now and then; a person would try again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!click(selector) || !waitFor("document.activeElement === " + field, 2000)) continue;
    xdotool({"key", "ctrl+a", "BackSpace"});
    xdotool({"type", "--delay", "15", text});
    if (waitUntil([&] { return eval(field + ".value") == Json(text); }, 2000)) return true;
  }
  return false;
}

bool DemoDesk::chooseFile(const std::filesystem::path& file) {
  if (!click("#drop .button") || !waitUntil([&] { return windowsShown().size() == 2; }, 10000)) return false;
  // Typed into its location field, again should the dialog have missed the first keys.
  for (int attempt = 0; attempt < 3 && windowsShown().size() == 2; ++attempt) {
    xdotool({"windowactivate", "--sync", std::to_string(windowsShown()[1])});
    xdotool({"key", "ctrl+l", "ctrl+a"});
    xdotool({"type", "--delay", "20", file.string()});
    xdotool({"key", "Return"});
    waitUntil([&] { return windowsShown().size() == 1; }, 3000);
  }
  return windowsShown().size() == 1;
}

bool DemoDesk::openTab(const std::string& tab) {
  const std::string open = "!document.getElementById('panel').hidden";
  if (eval(open) != Json(true) && (!click("#companion") || !waitFor(open))) return false;
  return click("#tabs [data-tab=" + tab + "]");
}
