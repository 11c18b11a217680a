#pragma once
// The Windows program under Wine for the behaviour tests: one private X server and one Wine
// prefix (with its own wine server) per test program, and per test a fresh program folder with
// tamsel-desk.exe and, unless left out, the stand-in WebView2Loader.dll beside it.
//
// The stand-in records every call into calls.log and reads commands.txt (see
// standin/StandIn.h); desk-probe.exe reads the window, message boxes and menus from inside the
// prefix. Addresses handed to the browser reach a recorder registered as Wine's browser.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "XSession.h"
#include "common/json.h"
#include "support/TempDir.h"

class WineSession {
 public:
  // Empty when the session can run; otherwise why the tests skip.
  static std::string missing();
  WineSession();
  ~WineSession();

  bool ok() const { return ok_; }
  const std::filesystem::path& prefix() const { return prefix_; }
  std::vector<std::string> environment() const;
  // Runs a Windows program of the prefix to its end; its standard output (and its exit code).
  std::string run(const std::vector<std::string>& argv, int timeoutMs = 20000,
                  std::optional<int>* code = nullptr) const;
  // The addresses the shell handed to the browser, in order.
  std::vector<std::string> browsed() const;
  // The user's folders inside the prefix.
  std::filesystem::path userFolder(const std::string& name) const;

 private:
  bool ok_ = false;
  TempDir dir_{"wine"};
  std::filesystem::path prefix_;
  std::unique_ptr<XSession> x_;
  ChildProcess server_;
};

struct ShellOptions {
  bool loader = true;           // the stand-in beside the program
  std::string fail;             // DESK_STANDIN_FAIL
  std::vector<std::string> args;
};

// A file of the win64 build.
std::filesystem::path win64File(const std::string& relative);
// A file's bytes; empty when it cannot be read.
std::string slurp(const std::filesystem::path& file);

class WineShell {
 public:
  explicit WineShell(WineSession& session);
  ~WineShell();

  // A copy of the build's program, with the stand-in (or the loader named) beside it.
  bool start(const ShellOptions& options = {}, const std::filesystem::path& loader = {});
  // A program where it lies, an installed one.
  bool startAt(const std::filesystem::path& program, const ShellOptions& options = {});
  ChildProcess& process() { return process_; }
  std::optional<int> wait(int timeoutMs) { return process_.wait(timeoutMs); }

  // One command for the stand-in (tab-separated fields).
  void command(const std::vector<std::string>& fields);
  std::vector<std::string> calls() const;
  // Calls that begin with prefix, in order.
  std::vector<std::string> calls(const std::string& prefix) const;
  std::string standardError() const;

  // desk-probe's answer as JSON (null when it printed nothing usable).
  Json probe(const std::vector<std::string>& args) const;
  bool pointer(int x, int y) const;  // moves the X pointer with xdotool
  // The Windows path of a file in this test's folder.
  std::string windowsPath(const std::filesystem::path& file) const;
  const std::filesystem::path& folder() const { return dir_.path(); }

 private:
  WineSession& session_;
  TempDir dir_{"shell"};
  ChildProcess process_;
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs);
