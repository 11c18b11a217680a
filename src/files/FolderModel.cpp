#include "files/FolderModel.h"

#include <system_error>

#include "files/FilePlatform.h"

namespace {

class DiskFolders final : public FolderModel {
 public:
  bool exists(const std::filesystem::path& path) override {
    std::error_code ec;
    const auto type = std::filesystem::symlink_status(path, ec).type();
    return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
  }
  bool makeFolders(const std::filesystem::path& folder) override { return createFolders(folder); }
};

}  // namespace

FolderModel& diskFolders() {
  static DiskFolders disk;
  return disk;
}
