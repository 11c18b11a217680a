#pragma once
// The saving rules' view of the file system, held in memory: a set of paths that exist. A made
// folder adds itself and its parents; anything else "exists" only when a target puts it there.
#include <filesystem>
#include <set>

#include "files/FolderModel.h"

class MemoryFolders final : public FolderModel {
 public:
  bool exists(const std::filesystem::path& path) override { return entries_.count(path.lexically_normal()) != 0; }
  bool makeFolders(const std::filesystem::path& folder) override {
    for (std::filesystem::path p = folder.lexically_normal(); !p.empty(); p = p.parent_path()) {
      if (!entries_.insert(p).second || p == p.parent_path()) break;
    }
    return true;
  }
  void add(const std::filesystem::path& path) { entries_.insert(path.lexically_normal()); }
  void clear() { entries_.clear(); }

 private:
  std::set<std::filesystem::path> entries_;
};
