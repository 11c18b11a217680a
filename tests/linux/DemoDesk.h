#pragma once
// The demo desk (demo/ served by tools/desk-server) for the desktop tests: a shell in the test
// session runs it, the test clicks it with xdotool and reads the outcome from the page through
// a small script the server adds to it (tests/linux/demo_driver.js).
#include <optional>
#include <string>
#include <vector>

#include "ShellHarness.h"

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

class DemoDesk {
 public:
  DemoDesk(ShellHarness& harness, std::string display);
  ~DemoDesk();

  const std::filesystem::path& work() const { return work_.path(); }
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Starts the demo server, then the shell against it, and waits for the page.
  bool start();
  ChildProcess& shell() { return harness_.shell(); }
  pid_t shellPid() const;
  // The shell's window and its dialogs, the biggest first.
  std::vector<unsigned long> windowsShown() const;
  std::size_t pagesLoaded() const { return records("ready").size(); }

  // Runs a script in the page; the value it (or the promise it gives) ends with.
  std::optional<Json> eval(const std::string& script, int timeoutMs = 8000);
  bool waitFor(const std::string& condition, int timeoutMs = 10000);
  std::string text(const std::string& selector);
  // The screen position of the middle of the element `element` (a script giving it).
  std::optional<ScreenPoint> centerOf(const std::string& element);
  // Clicks the middle of the element (a script giving it) once the shell lets the page have the
  // mouse there, and again should the page not see the click (unless `confirm` is false).
  bool click(const std::string& selector, bool confirm = true);
  bool clickOn(const std::string& element, bool confirm = true);
  // Opens the panel, if it is not open, on that tab ("status", "files", "lan", "update").
  bool openTab(const std::string& tab);
  // Offers a file through the LAN tab's file chooser, typing its path there.
  bool chooseFile(const std::filesystem::path& file);
  // Clicks the field and types the text into it with the keyboard.
  bool typeInto(const std::string& selector, const std::string& text);
  bool xdotool(const std::vector<std::string>& args);

 private:
  std::vector<Json> records(const std::string& kind) const;
  ShellHarness& harness_;
  std::string display_;
  TempDir work_{"demo"};
  ChildProcess server_;
  int port_ = 0;
  int commandId_ = 0;
};
