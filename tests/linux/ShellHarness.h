#pragma once
// Runs the real shell against the desk test server in a private X session, with a home of its
// own (XDG folders, a runtime folder, a recorder as the default web browser), and reads back
// what the test page recorded.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "XProbe.h"
#include "XSession.h"
#include "common/json.h"
#include "support/DeskServer.h"
#include "support/TempDir.h"

// Polls until the condition holds or the time is up; the bound keeps a broken run finite.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
bool hasLine(const std::vector<std::string>& lines, const std::string& line);

class ShellHarness {
 public:
  explicit ShellHarness(const std::vector<std::string>& sessionEnv) : sessionEnv_(sessionEnv) { prepareHome(); }

  const TempDir& home() const { return home_; }
  DeskServer& server() { return server_; }
  std::vector<std::string> environment(const std::vector<std::string>& extra = {}) const;
  static std::string shellProgram();

  // Starts the shell with --server=<the test server>; then waits for the page's "ready".
  bool start(ChildProcess& shell, const std::vector<std::string>& extraEnv = {});
  // Starts the shell without waiting, with these arguments (default: --server=<the test
  // server>), its output in the named file of the home.
  bool launch(ChildProcess& shell, std::vector<std::string> args = {}, const std::vector<std::string>& extraEnv = {},
              const std::string& logName = "shell.log");
  // What a shell started here wrote to standard output and error.
  std::string output(const std::string& logName = "shell.log") const;
  bool startShell(const std::vector<std::string>& extraEnv = {}) { return start(shell_, extraEnv); }
  ChildProcess& shell() { return shell_; }

  std::vector<Json> records(const std::string& kind) const;
  std::size_t count(const std::string& kind) const { return records(kind).size(); }
  // Callbacks the shell ran in the page, by name, with their arguments.
  std::vector<Json> callbacks(const std::string& name) const;
  // Runs script in the page (through the page's command poll) and returns its record.
  std::optional<Json> command(const std::string& script, int timeoutMs = 8000);
  // Addresses the recorder (the default web browser here) was asked to open, and the working
  // folder it was started in for each.
  std::vector<std::string> opened() const { return lines("opened.txt"); }
  std::vector<std::string> openedIn() const { return lines("opened-in.txt"); }

 private:
  void prepareHome();
  std::vector<std::string> lines(const char* file) const;
  std::vector<std::string> sessionEnv_;
  TempDir home_{"shellhome"};
  DeskServer server_;
  ChildProcess shell_;
  int commandId_ = 0;
};

// A test with the X session shared by the whole suite; skips when Xvfb is not installed.
class X11DesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;

  static XSession* session();
  std::unique_ptr<ShellHarness> harness;
  std::unique_ptr<XProbe> probe;
};
