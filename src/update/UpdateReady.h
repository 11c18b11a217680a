#pragma once
// A verified installer, carried from the update worker to the main thread (WM_UPDATE_READY).
#include <filesystem>
#include <string>

#include "common/messages.h"

struct UpdateReady final : MessagePayload {
  std::filesystem::path path;
  std::string version;
};
