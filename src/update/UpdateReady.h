#pragma once
// A verified installer, carried from the update worker to the main thread.
#include <filesystem>
#include <string>

struct UpdateReady {
  std::filesystem::path path;
  std::string version;
};
