#pragma once
// The record of one finished save (server fetch or LAN reception), carried to the main thread
// as a file-done event and consumed there by App::onFileDone.
#include <filesystem>
#include <string>

#include "common/text.h"
#include "files/ReservedPath.h"

struct FileJob {
  std::string id;    // the page's identifier, returned unchanged
  std::string how;   // "open" or "save"
  WString url;       // the download address (empty for LAN saves)
  std::filesystem::path path;  // the final path chosen
  bool ok = false;
  bool resume = false;  // a failed LAN transfer that can be resumed
  // Holds `path` (and its ".part") against other saves until this record is freed.
  ReservedPath reservation;
};
