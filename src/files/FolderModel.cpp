#include "files/FolderModel.h"

#include "files/FilePlatform.h"

namespace {

class DiskFolders final : public FolderModel {
 public:
  bool exists(const std::filesystem::path& path) override { return pathExists(path); }
  bool makeFolders(const std::filesystem::path& folder) override { return createFolders(folder); }
};

}  // namespace

FolderModel& diskFolders() {
  static DiskFolders disk;
  return disk;
}
