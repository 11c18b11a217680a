#pragma once
// What choosing a save name asks of the file system: whether anything is at a path, and to
// make a folder with its parents. The disk answers in the product; the fuzz targets answer
// from memory, so that they try thousands of names a second without touching the disk.
#include <filesystem>

class FolderModel {
 public:
  virtual ~FolderModel() = default;
  // Anything at all there, a dangling link included. A lookup that fails for any other reason
  // than "not there" counts as nothing there: the final move refuses to replace anyway.
  virtual bool exists(const std::filesystem::path& path) = 0;
  // Creates the folder and its missing parents; true when it is a folder afterwards.
  virtual bool makeFolders(const std::filesystem::path& folder) = 0;
};

// The file system itself; stateless, any thread.
FolderModel& diskFolders();
