#pragma once
// The saving rules' view of the file system, held in memory: a set of paths that exist, compared
// as written (the saving rules build every path from the received folder and clean names, so
// there is nothing to normalise). A made folder adds itself and its parents.
#include <filesystem>
#include <set>
#include <string>

#include "files/FolderModel.h"

class MemoryFolders final : public FolderModel {
 public:
  bool exists(const std::filesystem::path& path) override { return entries_.count(path.native()) != 0; }
  bool makeFolders(const std::filesystem::path& folder) override {
    Native p = folder.native();
    while (!p.empty() && entries_.insert(p).second) {
      const std::size_t slash = p.find_last_of(std::filesystem::path::preferred_separator);
      if (slash == Native::npos || slash == 0) break;
      p.resize(slash);
    }
    return true;
  }
  void add(const std::filesystem::path& path) { entries_.insert(path.native()); }
  void clear() { entries_.clear(); }

 private:
  using Native = std::filesystem::path::string_type;
  std::set<Native> entries_;
};
