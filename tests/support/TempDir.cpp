#include "support/TempDir.h"

#include "support/PlatformFacts.h"

#include <atomic>
#include <chrono>
#include <random>

TempDir::TempDir(const std::string& tag) {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    auto name = "desk-" + tag + "-" + std::to_string(rd()) + "-" + std::to_string(counter++);
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) {
      path_ = base / name;
      return;
    }
  }
}

TempDir::~TempDir() { removeTree(path_); }
