#pragma once
// An application window beneath the shell in the Wayland tests (wayland/press_logger.cpp), native
// or through XWayland by GDK_BACKEND, and the presses it logged.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ChildProcess.h"

// "mapped" once it is on screen, then one "press X Y" line per button press.
class PressLogger {
 public:
  PressLogger(const std::vector<std::string>& env, const std::string& backend, const std::string& log) : log_(log) {
    std::vector<std::string> childEnv = env;
    childEnv.push_back("GDK_BACKEND=" + backend);
    child_.start({DESK_PRESS_LOGGER_EXE, backend}, childEnv, log_);
  }
  bool mapped() const { return lines().find("mapped") != std::string::npos; }
  std::string lines() const {
    std::ifstream in(log_);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::size_t presses() const {
    const std::string text = lines();
    std::size_t count = 0;
    for (std::size_t at = text.find("press "); at != std::string::npos; at = text.find("press ", at + 1)) ++count;
    return count;
  }

 private:
  std::string log_;
  ChildProcess child_;
};
