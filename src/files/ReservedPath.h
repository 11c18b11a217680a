#pragma once
// A save name held from the moment it is chosen until the job that chose it ends, so saves
// running at the same time never pick the same final path or the same "final path.part".
// Holds are process-wide; any thread may take or drop one.
#include <cstdint>
#include <filesystem>

#include "common/text.h"
#include "files/FolderModel.h"

class ReservedPath {
 public:
  ReservedPath() = default;
  ~ReservedPath();
  ReservedPath(ReservedPath&& other) noexcept;
  ReservedPath& operator=(ReservedPath&& other) noexcept;
  ReservedPath(const ReservedPath&) = delete;
  ReservedPath& operator=(const ReservedPath&) = delete;

  // Empty when no free name could be found.
  bool empty() const { return path_.empty(); }
  const std::filesystem::path& path() const { return path_; }
  // The suffix number of path(): 0 for the plain cleaned name, n for "stem (n).ext".
  std::uint64_t number() const { return number_; }

  // The next free name after this one in the same folder (this one stays held).
  ReservedPath next() const;
  void release();

 private:
  friend ReservedPath reserveFreePath(const std::filesystem::path&, WStringView, std::uint64_t, FolderModel&);
  FolderModel* folders_ = nullptr;
  std::filesystem::path folder_;
  WString name_;
  std::uint64_t number_ = 0;
  std::filesystem::path path_;
};

// Numbering goes on past 999 rather than ever choosing a taken name; only after this many
// candidates does the search give up (an empty reservation: the save fails).
inline constexpr std::uint64_t kLastSaveNumber = 1000000;

// folder/name when free, else folder/"stem (n).ext" for the first free n >= max(1, from).
// Free means: neither the name nor the name + ".part" exists in `folders` (see FolderModel)
// and neither is held by a reservation. `name` must already be clean (cleanFileName).
ReservedPath reserveFreePath(const std::filesystem::path& folder, WStringView name, std::uint64_t from = 0,
                             FolderModel& folders = diskFolders());

// The candidate for number n: the name itself for 0, else "stem (n)" + extension, the extension
// being everything from the last "." unless that dot is the first character.
WString numberedName(WStringView name, std::uint64_t n);

// Tests: how many final paths are held right now, and whether one is.
std::size_t reservedPathCount();
bool isPathReserved(const std::filesystem::path& path);
