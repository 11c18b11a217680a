// The Linux shell asks for its own manifest and keeps a self-extracting ".run" installer,
// which needs the execute bit; nobody else may run, read or change it.
#include "update/UpdatePlatform.h"

#include <system_error>

const char* updateManifestPath() { return "/desk-update-linux.json"; }

const char* installerSuffix() { return ".run"; }

bool makeInstallerRunnable(const std::filesystem::path& installer) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::permissions(installer, fs::perms::owner_all, fs::perm_options::replace, ec);
  return !ec;
}
